#include "ombrelin/protocol/ticket_rules.h"

#include <algorithm>
#include <tuple>

#include "byte_rules.h"

namespace ombrelin::protocol {
namespace {

using Result = std::expected<void, ProtocolError>;

constexpr std::size_t kDisplayIdLimit = 128;
constexpr std::size_t kKeyIdLimit = 64;
constexpr std::size_t kEntitlementCountLimit = 32;
constexpr std::size_t kEntitlementLimit = 64;

Result check_identifier(const Bytes& bytes, std::size_t length, FieldLabel label) {
  if (bytes.size() != length) {
    return std::unexpected(ProtocolError::wrong_length(length, bytes.size(), label));
  }
  if (is_all_zero(bytes)) {
    return std::unexpected(ProtocolError::invalid(label));
  }
  return {};
}

Result check_session_id(const SessionTicket& ticket, const Uuid& expected) {
  if (const auto r = check_identifier(ticket.session_id, expected.size(), FieldLabel::kSessionId);
      !r) {
    return r;
  }
  if (!std::ranges::equal(ticket.session_id, expected)) {
    return std::unexpected(ProtocolError::mismatch(FieldLabel::kSessionId));
  }
  return {};
}

Result check_enums(const SessionTicket& ticket) {
  if (ticket.role < 1 || ticket.role > 3) {
    return std::unexpected(ProtocolError::invalid(FieldLabel::kRole));
  }
  if (ticket.approval_mode < 1 || ticket.approval_mode > 2) {
    return std::unexpected(ProtocolError::invalid(FieldLabel::kApprovalMode));
  }
  return {};
}

Result check_window(const SessionTicket& ticket, std::uint64_t now) {
  const std::uint64_t issued = ticket.issued_at_unix_s;
  const std::uint64_t expires = ticket.expires_at_unix_s;
  if (expires <= issued || expires - issued > kMaxTicketLifetimeSeconds) {
    return std::unexpected(ProtocolError::of_kind(ProtocolErrorKind::kBadLifetime));
  }
  if (now >= expires) {
    return std::unexpected(ProtocolError::of_kind(ProtocolErrorKind::kExpired));
  }
  if (issued > saturating_add(now, kMaxClockSkewSeconds)) {
    return std::unexpected(ProtocolError::of_kind(ProtocolErrorKind::kNotYetValid));
  }
  return {};
}

Result check_entitlements(const std::vector<std::string>& entitlements) {
  if (entitlements.size() > kEntitlementCountLimit) {
    return std::unexpected(
        ProtocolError::too_long(kEntitlementCountLimit, FieldLabel::kEntitlements));
  }
  const std::string* previous = nullptr;
  for (const std::string& entry : entitlements) {
    if (!is_printable_ascii(entry, kEntitlementLimit)) {
      return std::unexpected(ProtocolError::invalid(FieldLabel::kEntitlement));
    }
    // Bytewise order, a proper prefix first: std::string compares exactly so for ASCII.
    if (previous != nullptr && !(*previous < entry)) {
      return std::unexpected(ProtocolError::invalid(FieldLabel::kEntitlementOrder));
    }
    previous = &entry;
  }
  return {};
}

}  // namespace

std::expected<void, ProtocolError> validate_device_binding(const DeviceBinding& binding,
                                                           const Uuid& expected_device_id,
                                                           const Sha256Digest& expected_fingerprint,
                                                           FieldLabel label) {
  const Bytes& device = binding.device_id;
  const Bytes& print = binding.identity_key_fingerprint_sha256;
  if (device.size() != expected_device_id.size()) {
    return std::unexpected(ProtocolError::wrong_length(expected_device_id.size(), device.size(),
                                                       FieldLabel::kDeviceId));
  }
  if (print.size() != expected_fingerprint.size()) {
    return std::unexpected(ProtocolError::wrong_length(expected_fingerprint.size(), print.size(),
                                                       FieldLabel::kIdentityKeyFingerprint));
  }
  if (!std::ranges::equal(device, expected_device_id) ||
      !std::ranges::equal(print, expected_fingerprint)) {
    return std::unexpected(ProtocolError::mismatch(label));
  }
  if (is_all_zero(device)) {
    return std::unexpected(ProtocolError::invalid(FieldLabel::kDeviceId));
  }
  if (is_all_zero(print)) {
    return std::unexpected(ProtocolError::invalid(FieldLabel::kIdentityKeyFingerprint));
  }
  return {};
}

std::expected<PermissionMask, ProtocolError> validate_ticket_fields(
    const SessionTicket& ticket, const TicketExpectations& expected) {
  if (const auto r = check_session_id(ticket, expected.session_id); !r) {
    return std::unexpected(r.error());
  }
  if (!ticket.requester) {
    return std::unexpected(ProtocolError::missing(FieldLabel::kRequester));
  }
  if (!ticket.target) {
    return std::unexpected(ProtocolError::missing(FieldLabel::kTarget));
  }
  if (const auto r =
          validate_device_binding(*ticket.requester, expected.requester_device_id,
                                  expected.requester_identity_fingerprint, FieldLabel::kRequester);
      !r) {
    return std::unexpected(r.error());
  }
  if (const auto r =
          validate_device_binding(*ticket.target, expected.target_device_id,
                                  expected.target_identity_fingerprint, FieldLabel::kTarget);
      !r) {
    return std::unexpected(r.error());
  }
  if (ticket.requester->device_id == ticket.target->device_id) {
    return std::unexpected(ProtocolError::invalid(FieldLabel::kRequesterTargetDevice));
  }
  if (const auto r = check_enums(ticket); !r) {
    return std::unexpected(r.error());
  }
  if (expected.protocol_major != kProtocolMajor ||
      ticket.protocol_major != expected.protocol_major) {
    return std::unexpected(ProtocolError::mismatch(FieldLabel::kProtocolMajor));
  }
  if (const auto r = check_window(ticket, expected.now_unix_s); !r) {
    return std::unexpected(r.error());
  }
  for (const auto& [bytes, length, label] :
       {std::tuple{&ticket.nonce, std::size_t{32}, FieldLabel::kNonce},
        std::tuple{&ticket.requester_dtls_fingerprint_sha256, std::size_t{32},
                   FieldLabel::kRequesterDtlsFingerprint},
        std::tuple{&ticket.target_dtls_fingerprint_sha256, std::size_t{32},
                   FieldLabel::kTargetDtlsFingerprint}}) {
    if (const auto r = check_identifier(*bytes, length, label); !r) {
      return std::unexpected(r.error());
    }
  }
  if (ticket.display_id.size() > kDisplayIdLimit) {
    return std::unexpected(ProtocolError::too_long(kDisplayIdLimit, FieldLabel::kDisplayId));
  }
  if (!is_printable_ascii(ticket.signing_key_id, kKeyIdLimit)) {
    return std::unexpected(ProtocolError::invalid(FieldLabel::kSigningKeyId));
  }
  if (const auto r = check_entitlements(ticket.entitlements); !r) {
    return std::unexpected(r.error());
  }
  const auto mask = build_permission_mask(ticket.permissions);
  if (!mask) {
    return std::unexpected(ProtocolError::permission(mask.error()));
  }
  return *mask;
}

}  // namespace ombrelin::protocol
