#pragma once

// The signed statement inside a ticket: who may control this computer, with which
// permissions, for which session and for how long. Our own codec for its protobuf
// form. Only the one canonical encoding is accepted, so a signed payload has exactly
// one byte form and decoding it can never disagree with what the signer meant.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/protocol_error.h"

namespace ombrelin::protocol {

inline constexpr std::size_t kTicketPayloadLimit = 4096;

struct DeviceBinding {
  Bytes device_id;                        // 1: 16 bytes
  Bytes identity_key_fingerprint_sha256;  // 2: 32 bytes

  friend bool operator==(const DeviceBinding&, const DeviceBinding&) = default;
};

// A field that never occurred holds its protobuf default; a binding is absent only
// when its field never occurred (an empty embedded message makes it present).
struct SessionTicket {
  Bytes session_id;                         // 1
  std::optional<DeviceBinding> requester;   // 2
  std::optional<DeviceBinding> target;      // 3
  std::int32_t role = 0;                    // 4
  std::vector<std::int32_t> permissions;    // 5, wire values
  std::vector<std::string> entitlements;    // 6
  std::string display_id;                   // 7
  std::int32_t approval_mode = 0;           // 8
  std::uint64_t issued_at_unix_s = 0;       // 9
  std::uint64_t expires_at_unix_s = 0;      // 10
  Bytes nonce;                              // 11
  std::uint32_t protocol_major = 0;         // 12
  std::string signing_key_id;               // 13
  Bytes requester_dtls_fingerprint_sha256;  // 14
  Bytes target_dtls_fingerprint_sha256;     // 15

  friend bool operator==(const SessionTicket&, const SessionTicket&) = default;
};

// Reads the payload by the protobuf wire rules alone: unknown fields are skipped,
// a repeated singular field keeps its last value and a repeated binding merges.
// Fails with kDecode, whose text names the message and field where reading stopped.
[[nodiscard]] std::expected<SessionTicket, ProtocolError> decode_session_ticket(
    std::span<const std::uint8_t> payload);

// The only form we accept: fields in ascending order, defaults left out,
// permissions packed, minimal varints.
[[nodiscard]] Bytes encode_session_ticket(const SessionTicket& ticket);

// Size limit, wire decoding and canonical comparison: kTooLarge ("ticket payload"),
// kDecode or kNonCanonical.
[[nodiscard]] std::expected<SessionTicket, ProtocolError> decode_canonical_session_ticket(
    std::span<const std::uint8_t> payload);

}  // namespace ombrelin::protocol
