#pragma once

// The whole check of a session-start request: request fields, key metadata, signed
// ticket, strict signature, binding to this host, time window and the page's
// permission list. It keeps no state; refusing a reused ticket is the session
// gate's business, on the digest the grant carries.

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/host_binding.h"
#include "ombrelin/protocol/permissions.h"
#include "ombrelin/protocol/text_codecs.h"

namespace ombrelin::protocol {

// The ticketKey member as received; its values are checked here, not by the schema.
struct TicketKeyText {
  std::string_view key_id;
  std::string_view algorithm;   // must be "Ed25519"
  std::string_view public_key;  // canonical base64url of 32 bytes
  std::string_view encoding;    // must be "raw-base64url"
};

// The members of a session-start command, as the schema decoded them. The views
// must outlive the call; nothing is kept afterwards.
struct SessionStartRequest {
  std::string_view session_id;                   // sessionId, canonical UUID text
  std::string_view requester_name;               // requesterName, untrimmed
  std::span<const PermissionIndex> permissions;  // permissions, as positions 0..15
  std::uint64_t lease_expires_at_ms = 0;         // leaseExpiresAt
  std::string_view signed_ticket;                // signedTicket, canonical base64url
  TicketKeyText ticket_key;                      // ticketKey
};

// Why a session start was refused. The numbers are the failure codes the
// command dispatcher maps to its fixed messages.
enum class SessionStartFailure : std::uint8_t {
  kRequestInvalid = 1,       // request fields or key metadata
  kTicketInvalid = 2,        // signed ticket, key text or any verifier failure
  kPublicKeyLength = 3,      // the key text decodes to other than 32 bytes
  kPermissionsMismatch = 4,  // the page's permission list against the ticket
};

// A verified session start. The first six members form the request record the
// session gate admits.
struct SessionGrant {
  std::string requester_name;
  Uuid session_id{};
  Uuid requester_device_id{};
  Sha256Digest requester_identity_fingerprint{};
  std::uint64_t lease_expires_at_unix_s = 0;  // the lease rounded up to whole seconds
  PermissionMask allowed_permissions = 0;
  std::vector<PermissionIndex> granted_permissions;  // in ticket order
  std::string session_id_text;
  std::string display_id;
  std::string requester_fingerprint_text;  // 64 lowercase hexadecimal digits
  Sha256Digest ticket_payload_digest{};
  PermissionMask requested_permissions = 0;

  friend bool operator==(const SessionGrant&, const SessionGrant&) = default;
};

inline constexpr std::uint64_t kMaxLeaseAheadMs = 330000;
inline constexpr std::size_t kRequesterNameLimit = 128;

// Checks a session start at the time `now_ms` (milliseconds since the Unix epoch).
[[nodiscard]] std::expected<SessionGrant, SessionStartFailure> check_session_start(
    const SessionStartRequest& request, const HostBinding& host, std::uint64_t now_ms);

}  // namespace ombrelin::protocol
