#include "ombrelin/protocol/session_start.h"

#include <algorithm>
#include <utility>

#include "byte_rules.h"
#include "ombrelin/protocol/signed_session_ticket.h"
#include "ombrelin/protocol/ticket_verifier.h"
#include "ombrelin/protocol/unicode_text.h"

namespace ombrelin::protocol {
namespace {

using Failure = SessionStartFailure;

constexpr std::size_t kKeyIdLimit = 64;
constexpr std::size_t kMaxRequestedPermissions = 16;

std::unexpected<Failure> fail(Failure failure) { return std::unexpected(failure); }

// The name is shown to the local user in the consent box and the indicator but
// is not signed: it must not be able to reorder or hide the text around it.
bool valid_requester_name(std::string_view name) noexcept {
  return name.size() <= kRequesterNameLimit && !trim_unicode_white_space(name).empty() &&
         !contains_control_character(name) && !contains_format_character(name);
}

bool valid_lease(std::uint64_t lease_ms, std::uint64_t now_ms) noexcept {
  return now_ms < lease_ms && lease_ms <= saturating_add(now_ms, kMaxLeaseAheadMs);
}

template <std::size_t N>
std::array<std::uint8_t, N> to_array(const Bytes& bytes) noexcept {
  std::array<std::uint8_t, N> out{};
  std::copy_n(bytes.begin(), N, out.begin());
  return out;
}

}  // namespace

std::expected<SessionGrant, SessionStartFailure> check_session_start(
    const SessionStartRequest& request, const HostBinding& host, std::uint64_t now_ms) {
  // Cheap checks of the plain request fields come first, before any decoding.
  if (!valid_requester_name(request.requester_name)) {
    return fail(Failure::kRequestInvalid);
  }
  if (request.permissions.empty() || request.permissions.size() > kMaxRequestedPermissions) {
    return fail(Failure::kRequestInvalid);
  }
  if (!valid_lease(request.lease_expires_at_ms, now_ms)) {
    return fail(Failure::kRequestInvalid);
  }
  const TicketKeyText& key = request.ticket_key;
  if (key.algorithm != "Ed25519" || key.encoding != "raw-base64url") {
    return fail(Failure::kRequestInvalid);
  }
  if (!is_printable_ascii(key.key_id, kKeyIdLimit)) {
    return fail(Failure::kRequestInvalid);
  }
  const auto session_id = parse_uuid_text(request.session_id);
  if (!session_id) {
    return fail(Failure::kRequestInvalid);
  }

  const auto envelope_bytes = decode_base64url_canonical(request.signed_ticket, kSignedTicketLimit);
  if (!envelope_bytes) {
    return fail(Failure::kTicketInvalid);
  }
  const auto envelope = decode_canonical_signed_session_ticket(*envelope_bytes);
  if (!envelope) {
    return fail(Failure::kTicketInvalid);
  }
  // The first reading only supplies the requester binding the verifier expects.
  const auto first_reading = decode_canonical_session_ticket(envelope->ticket);
  if (!first_reading) {
    return fail(Failure::kTicketInvalid);
  }
  const auto& requester = first_reading->requester;
  if (!requester || requester->device_id.size() != 16 ||
      requester->identity_key_fingerprint_sha256.size() != 32) {
    return fail(Failure::kTicketInvalid);
  }
  const auto key_bytes = decode_base64url_canonical(key.public_key, 32);
  if (!key_bytes) {
    return fail(Failure::kTicketInvalid);
  }
  if (key_bytes->size() != 32) {
    return fail(Failure::kPublicKeyLength);
  }

  const TicketExpectations expected{
      .session_id = *session_id,
      .requester_device_id = to_array<16>(requester->device_id),
      .target_device_id = host.device_id,
      .requester_identity_fingerprint = to_array<32>(requester->identity_key_fingerprint_sha256),
      .target_identity_fingerprint = host.identity_fingerprint,
      .now_unix_s = now_ms / 1000,
      .protocol_major = kProtocolMajor,
  };
  auto verified = verify_session_ticket(*envelope, key.key_id, to_array<32>(*key_bytes), expected);
  if (!verified) {
    return fail(Failure::kTicketInvalid);
  }

  std::vector<PermissionIndex> granted;
  granted.reserve(verified->ticket.permissions.size());
  for (const std::int32_t value : verified->ticket.permissions) {
    if (value < 1 || value > static_cast<std::int32_t>(kPermissionCount)) {
      return fail(Failure::kTicketInvalid);
    }
    granted.push_back(static_cast<PermissionIndex>(value - 1));
  }
  if (!std::ranges::equal(request.permissions, granted)) {
    return fail(Failure::kPermissionsMismatch);
  }
  // Every session must show the screen; gamepad input is never allowed here.
  const auto holds = [&](TicketPermission p) {
    return std::ranges::find(granted, permission_index(p)) != granted.end();
  };
  if (!holds(TicketPermission::kViewScreen) || holds(TicketPermission::kSendGamepad)) {
    return fail(Failure::kPermissionsMismatch);
  }

  SessionTicket& ticket = verified->ticket;
  const Sha256Digest requester_print = expected.requester_identity_fingerprint;
  return SessionGrant{
      .requester_name = std::string(request.requester_name),
      .session_id = *session_id,
      .requester_device_id = expected.requester_device_id,
      .requester_identity_fingerprint = requester_print,
      .lease_expires_at_unix_s = saturating_add(request.lease_expires_at_ms, 999) / 1000,
      .allowed_permissions = verified->permissions,
      .granted_permissions = std::move(granted),
      .session_id_text = format_uuid_text(*session_id),
      .display_id = std::move(ticket.display_id),
      .requester_fingerprint_text = encode_lower_hex(requester_print),
      .ticket_payload_digest = verified->payload_digest,
      .requested_permissions = verified->permissions,
  };
}

}  // namespace ombrelin::protocol
