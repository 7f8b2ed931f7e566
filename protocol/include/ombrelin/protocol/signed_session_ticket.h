#pragma once

// The byte envelope of a signed ticket: the payload bytes exactly as signed and the
// Ed25519 signature over them. Like the payload it has one accepted encoding.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/protocol_error.h"

namespace ombrelin::protocol {

inline constexpr std::size_t kSignedTicketLimit = 4096;

struct SignedSessionTicket {
  Bytes ticket;     // 1: the encoded SessionTicket
  Bytes signature;  // 2: 64 bytes

  friend bool operator==(const SignedSessionTicket&, const SignedSessionTicket&) = default;
};

// Reads the envelope by the protobuf wire rules alone (kDecode on failure).
[[nodiscard]] std::expected<SignedSessionTicket, ProtocolError> decode_signed_session_ticket(
    std::span<const std::uint8_t> bytes);

// ticket then signature, each only when non-empty.
[[nodiscard]] Bytes encode_signed_session_ticket(const SignedSessionTicket& envelope);

// The protobuf size of the envelope, computed without encoding it.
[[nodiscard]] std::size_t signed_session_ticket_size(const SignedSessionTicket& envelope) noexcept;

// Size limit, wire decoding and canonical comparison: kTooLarge ("signed ticket"),
// kDecode or kNonCanonical.
[[nodiscard]] std::expected<SignedSessionTicket, ProtocolError>
decode_canonical_signed_session_ticket(std::span<const std::uint8_t> bytes);

}  // namespace ombrelin::protocol
