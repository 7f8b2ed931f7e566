#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/permissions.h"
#include "ombrelin/protocol/text_codecs.h"

namespace ombrelin::session {

enum class GatePhase : std::uint8_t { kIdle = 0, kPending = 1, kActive = 2, kEnded = 3 };

// A verified request waiting for the local user's approval.
struct GateRequest {
  std::string requester_name;
  protocol::Uuid session_id{};
  protocol::Uuid requester_device_id{};
  protocol::Sha256Digest requester_identity_fingerprint{};
  std::uint64_t lease_expires_at_s = 0;
  protocol::PermissionMask allowed_permissions = 0;
};

// An approved request: what the remote party may do, and until when.
struct ActiveGrant {
  std::string requester_name;
  protocol::Uuid session_id{};
  protocol::Uuid requester_device_id{};
  protocol::Sha256Digest requester_identity_fingerprint{};
  std::uint64_t permission_epoch = 0;
  std::uint64_t lease_expires_at_s = 0;
  protocol::PermissionMask granted_permissions = 0;
};

// Who paused remote input. Each lifts only its own pause: the remote side (the
// page, the peer, or a refused event) cannot lift the local user's, so input is
// paused while either holds.
enum class PauseSource : std::uint8_t { kLocalUser, kRemoteSide };

// The small state machine inside a session: a request is taken, then approved
// against the clock into an active grant, until the gate ends. Main thread only.
class SessionGate {
 public:
  static constexpr std::size_t kMaxRequesterNameBytes = 128;

  // Takes a request when idle or ended; a blank or over-long requester name or a
  // zero lease is refused. False leaves the gate unchanged.
  [[nodiscard]] bool take_request(GateRequest request);

  // Approves the pending request for `requested` permissions at `now_s`. A lease
  // already over ends the gate; permissions beyond those allowed leave it pending.
  [[nodiscard]] bool approve(protocol::PermissionMask requested, std::uint64_t now_s);

  // Discards grant and request, pauses (as the remote side) and ends.
  void end();

  [[nodiscard]] GatePhase phase() const noexcept { return phase_; }
  // Whether input is paused, by either side.
  [[nodiscard]] bool paused() const noexcept {
    return paused_by_local_user_ || paused_by_remote_side_;
  }
  [[nodiscard]] bool paused_by(PauseSource source) const noexcept {
    return source == PauseSource::kLocalUser ? paused_by_local_user_ : paused_by_remote_side_;
  }
  void set_paused(PauseSource source, bool paused) noexcept {
    (source == PauseSource::kLocalUser ? paused_by_local_user_ : paused_by_remote_side_) = paused;
  }
  [[nodiscard]] const std::optional<ActiveGrant>& active_grant() const noexcept {
    return active_grant_;
  }

 private:
  std::optional<ActiveGrant> active_grant_;
  std::optional<GateRequest> pending_request_;
  bool paused_by_local_user_ = false;
  bool paused_by_remote_side_ = false;
  GatePhase phase_ = GatePhase::kIdle;
};

}  // namespace ombrelin::session
