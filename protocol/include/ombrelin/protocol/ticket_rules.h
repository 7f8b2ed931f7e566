#pragma once

// The value rules of a decoded ticket. Pure functions: the caller passes the clock
// and the identities the ticket is compared with.

#include <cstdint>
#include <expected>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/permissions.h"
#include "ombrelin/protocol/protocol_error.h"
#include "ombrelin/protocol/session_ticket.h"
#include "ombrelin/protocol/text_codecs.h"

namespace ombrelin::protocol {

inline constexpr std::uint32_t kProtocolMajor = 1;
inline constexpr std::uint64_t kMaxTicketLifetimeSeconds = 120;
inline constexpr std::uint64_t kMaxClockSkewSeconds = 30;

// What a ticket must name.
struct TicketExpectations {
  Uuid session_id{};
  Uuid requester_device_id{};
  Uuid target_device_id{};
  Sha256Digest requester_identity_fingerprint{};
  Sha256Digest target_identity_fingerprint{};
  std::uint64_t now_unix_s = 0;
  std::uint32_t protocol_major = kProtocolMajor;
};

// One binding's form and identity; `label` names the binding in a kMismatch.
[[nodiscard]] std::expected<void, ProtocolError> validate_device_binding(
    const DeviceBinding& binding, const Uuid& expected_device_id,
    const Sha256Digest& expected_fingerprint, FieldLabel label);

// Every field rule, first failure wins; on success the ticket's permission mask.
[[nodiscard]] std::expected<PermissionMask, ProtocolError> validate_ticket_fields(
    const SessionTicket& ticket, const TicketExpectations& expected);

}  // namespace ombrelin::protocol
