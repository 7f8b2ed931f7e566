#include "session/session_gate.h"

#include "ombrelin/protocol/unicode_text.h"

namespace ombrelin::session {

bool SessionGate::take_request(GateRequest request) {
  if (phase_ != GatePhase::kIdle && phase_ != GatePhase::kEnded) {
    return false;
  }
  if (protocol::trim_unicode_white_space(request.requester_name).empty() ||
      request.requester_name.size() > kMaxRequesterNameBytes || request.lease_expires_at_s == 0) {
    return false;
  }
  active_grant_.reset();
  pending_request_ = std::move(request);
  paused_by_local_user_ = false;
  paused_by_remote_side_ = false;
  phase_ = GatePhase::kPending;
  return true;
}

bool SessionGate::approve(protocol::PermissionMask requested, std::uint64_t now_s) {
  if (phase_ != GatePhase::kPending || !pending_request_) {
    return false;
  }
  if (now_s >= pending_request_->lease_expires_at_s) {
    pending_request_.reset();
    phase_ = GatePhase::kEnded;
    return false;
  }
  if ((requested & ~pending_request_->allowed_permissions) != 0) {
    return false;
  }
  GateRequest& request = *pending_request_;
  active_grant_ = ActiveGrant{std::move(request.requester_name),
                              request.session_id,
                              request.requester_device_id,
                              request.requester_identity_fingerprint,
                              1,
                              request.lease_expires_at_s,
                              requested};
  pending_request_.reset();
  phase_ = GatePhase::kActive;
  return true;
}

void SessionGate::end() {
  active_grant_.reset();
  pending_request_.reset();
  paused_by_remote_side_ = true;
  phase_ = GatePhase::kEnded;
}

}  // namespace ombrelin::session
