#pragma once

// The self-contained ticket verifier: canonical form, key, signature, then the
// field rules. It trusts nothing its caller checked before.

#include <cstdint>
#include <expected>
#include <span>
#include <string_view>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/ed25519_strict.h"
#include "ombrelin/protocol/permissions.h"
#include "ombrelin/protocol/protocol_error.h"
#include "ombrelin/protocol/session_ticket.h"
#include "ombrelin/protocol/signed_session_ticket.h"
#include "ombrelin/protocol/ticket_rules.h"

namespace ombrelin::protocol {

// Separates ticket signatures from every other use of a signing key.
inline constexpr std::string_view kTicketSigningDomain = "ombrelin-connect/session-ticket/v1";

struct VerifiedTicket {
  SessionTicket ticket;
  PermissionMask permissions = 0;
  Sha256Digest payload_digest{};  // SHA-256 of the payload exactly as received
};

// The exact bytes a ticket signature covers: the domain, one 0x00, the payload.
[[nodiscard]] Bytes ticket_signing_message(std::span<const std::uint8_t> payload);

[[nodiscard]] std::expected<VerifiedTicket, ProtocolError> verify_session_ticket(
    const SignedSessionTicket& envelope, std::string_view key_id,
    const Ed25519PublicKey& public_key, const TicketExpectations& expected);

}  // namespace ombrelin::protocol
