#include "session/session_host.h"

namespace ombrelin::session {

void SessionHost::stop_session() { session_.reset(); }

std::expected<void, CommandError> SessionHost::set_session_paused(
    std::optional<std::string_view> session_id, bool paused) {
  if (!session_) {
    return std::unexpected(CommandError::kNoActiveSession);
  }
  if (session_id && *session_id != session_->session_id_text) {
    return std::unexpected(CommandError::kPauseSessionMismatch);
  }
  if (session_->phase != GatePhase::kActive) {
    return std::unexpected(CommandError::kPauseStateUnchanged);
  }
  session_->paused = paused;
  return {};
}

void SessionHost::on_indicator_event(IndicatorEvent event) {
  if (event == IndicatorEvent::kStop) {
    stop_session();
    return;
  }
  if (session_ && session_->phase == GatePhase::kActive) {
    session_->paused = event == IndicatorEvent::kPause;
  }
}

void SessionHost::stop_if_lease_expired(std::uint64_t now_seconds) {
  if (session_ && session_->lease_expires_at_s && now_seconds >= *session_->lease_expires_at_s) {
    stop_session();
  }
}

}  // namespace ombrelin::session
