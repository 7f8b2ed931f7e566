#include "session/session_host.h"

#include <algorithm>

#include "display/mapping_display.h"
#include "session/session_start.h"

namespace ombrelin::session {
namespace {

// How long the end of the run waits for indicator threads to finish closing.
constexpr std::chrono::milliseconds kIndicatorCloseLimit{1000};

// The hold for the local user lasts until SessionHost ends it, which it does
// right before it asks for the grant.
input::ControlGrant control_grant(const ActiveSession& session) {
  input::ControlGrant grant{.session_id = session.session_id,
                            .display_id = session.display_id,
                            .paused = session.gate.paused(),
                            .held_back = session.local_input_until.has_value()};
  const auto& active = session.gate.active_grant();
  if (session.gate.phase() == GatePhase::kActive && active) {
    grant.active = true;
    grant.permission_epoch = active->permission_epoch;
    grant.permissions = active->granted_permissions;
    grant.lease_expires_at_s = active->lease_expires_at_s;
  }
  return grant;
}

}  // namespace

input::SessionMatch SessionHost::match_session(std::string_view session_id) const {
  if (!session_) {
    return input::SessionMatch::kNoSession;
  }
  return session_id == session_->session_id_text ? input::SessionMatch::kActiveSession
                                                 : input::SessionMatch::kOtherSession;
}

std::expected<void, CommandError> SessionHost::start_or_refresh_session(
    const protocol::SessionGrant& grant, std::uint64_t now_s) {
  if (session_) {
    return refresh_session(grant, now_s);
  }
  auto started = start_session(services_, grant, now_s, ++sessions_started_);
  if (!started) {
    // A thread that missed its report closes its own window; the run's end
    // still waits for it like any other.
    if (started.error().closing_indicator) {
      keep_closing_indicator(std::move(*started.error().closing_indicator));
    }
    return std::unexpected(started.error().error);
  }
  session_.emplace(std::move(*started));
  return {};
}

std::expected<void, CommandError> SessionHost::refresh_session(const protocol::SessionGrant& grant,
                                                               std::uint64_t now_s) {
  const auto& active = session_->gate.active_grant();
  if (!active) {
    return std::unexpected(CommandError::kGateUnavailable);
  }
  if (grant.session_id != session_->session_id ||
      grant.requester_device_id != active->requester_device_id ||
      grant.requester_identity_fingerprint != active->requester_identity_fingerprint ||
      grant.requested_permissions != active->granted_permissions ||
      grant.display_id != session_->display_id) {
    return std::unexpected(CommandError::kDifferentRequesterOrGrant);
  }
  if (grant.ticket_payload_digest == session_->last_ticket_digest) {
    return std::unexpected(CommandError::kRefreshTicketReused);
  }
  SessionGate gate;
  if (!gate.take_request(gate_request(grant))) {
    return std::unexpected(CommandError::kRefreshRequestRejected);
  }
  if (!gate.approve(grant.requested_permissions, now_s)) {
    return std::unexpected(CommandError::kRefreshGrantRejected);
  }
  // Input paused stays paused across a refresh, by whoever paused it; the
  // indicator still shows the paused state, so it keeps agreeing with the gate.
  for (const PauseSource source : {PauseSource::kLocalUser, PauseSource::kRemoteSide}) {
    gate.set_paused(source, session_->gate.paused_by(source));
  }
  session_->gate = std::move(gate);
  session_->control.replay_window = {};
  session_->last_ticket_digest = grant.ticket_payload_digest;
  return {};
}

void SessionHost::stop_session() {
  if (!session_) {
    return;
  }
  ActiveSession stopped = std::move(*session_);
  session_.reset();
  stopped.gate.end();
  if (!stopped.adapter->release_all()) {
    releasing_adapters_.push_back(std::move(stopped.adapter));
  }
  stopped.control.sequence.buttons = 0;
  stopped.indicator.close();
  if (auto thread = stopped.indicator.take_thread()) {
    keep_closing_indicator(std::move(*thread));
  }
}

void SessionHost::retry_refused_releases() {
  std::erase_if(releasing_adapters_, [](const std::unique_ptr<input::InputAdapter>& adapter) {
    return adapter->release_all().has_value();
  });
}

void SessionHost::keep_closing_indicator(os::StartedThread thread) {
  // Those that have ended are let go, so a long run does not collect threads.
  std::erase_if(closing_indicators_, [](os::StartedThread& closing) {
    return closing.wait_for_end(std::chrono::milliseconds(0));
  });
  closing_indicators_.push_back(std::move(thread));
}

SessionHost::~SessionHost() {
  stop_session();
  const auto deadline = std::chrono::steady_clock::now() + kIndicatorCloseLimit;
  for (os::StartedThread& thread : closing_indicators_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    (void)thread.wait_for_end(std::max(left, std::chrono::milliseconds(0)));
  }
}

std::expected<void, CommandError> SessionHost::set_session_paused(
    std::optional<std::string_view> session_id, bool paused) {
  if (!session_) {
    return std::unexpected(CommandError::kNoActiveSession);
  }
  if (session_id && match_session(*session_id) != input::SessionMatch::kActiveSession) {
    return std::unexpected(CommandError::kPauseSessionMismatch);
  }
  if (session_->gate.phase() != GatePhase::kActive) {
    return std::unexpected(CommandError::kPauseStateUnchanged);
  }
  apply_pause(PauseSource::kRemoteSide, paused);
  return {};
}

void SessionHost::apply_pause(PauseSource source, bool paused) {
  session_->gate.set_paused(source, paused);
  if (paused) {
    input::release_held_input(*session_->adapter, session_->control);
  }
  session_->indicator.show_paused(session_->gate.paused());
}

void SessionHost::release_and_pause() {
  // Releases first so that nothing stays held whatever follows. Input that was
  // not paused is paused for the remote side to resume; a pause that already
  // holds stays whose it was, so an event refused during the local user's pause
  // leaves that pause for the local user alone to lift. An ended gate is paused.
  input::release_held_input(*session_->adapter, session_->control);
  if (session_->gate.phase() == GatePhase::kActive && !session_->gate.paused()) {
    session_->gate.set_paused(PauseSource::kRemoteSide, true);
  }
  session_->indicator.show_paused(session_->gate.paused());
}

std::expected<void, input::ControlRefusal> SessionHost::handle_control(
    std::string_view session_id, const native_protocol::ControlMessage& message) {
  // A hold that has just run out ends here, so that the indicator's text and
  // what the remote side is told never disagree.
  end_local_hold_back_when_over();
  std::optional<input::ControlGrant> grant;
  std::optional<input::ControlTarget> target;
  if (session_) {
    grant = control_grant(*session_);
    target.emplace(input::ControlTarget{*grant, session_->control, *session_->adapter});
  }
  const auto outcome = input::run_control(target, match_session(session_id), message,
                                          services_.monotonic_clock, services_.wall_clock);
  if (!outcome) {
    apply_control_refusal(outcome.error());
    return std::unexpected(outcome.error());
  }
  apply_control_effect(*outcome);
  return {};
}

void SessionHost::apply_control_effect(input::ControlEffect effect) {
  switch (effect) {
    case input::ControlEffect::kNone:
      return;
    case input::ControlEffect::kPeerPaused:
      apply_pause(PauseSource::kRemoteSide, true);
      return;
    case input::ControlEffect::kPeerResumed:
      // Lifts the remote side's pause only: a pause of the local user holds.
      apply_pause(PauseSource::kRemoteSide, false);
      return;
    case input::ControlEffect::kPeerStopped:
      session_->gate.end();
      stop_session();
      return;
  }
}

void SessionHost::apply_control_refusal(input::ControlRefusal refusal) {
  switch (refusal) {
    case input::ControlRefusal::kLeaseExpired:
      session_->gate.end();
      break;
    case input::ControlRefusal::kEventRejected:
      break;
    default:
      return;  // refused before any event was applied: nothing to undo
  }
  release_and_pause();
}

void SessionHost::on_indicator_event(IndicatorNotice notice) {
  if (!session_ || notice.session != session_->number) {
    return;
  }
  if (notice.event == IndicatorEvent::kStop) {
    stop_session();
    return;
  }
  if (notice.event == IndicatorEvent::kLocalInput) {
    hold_back_for_local_user();
    return;
  }
  if (notice.event == IndicatorEvent::kDisplayChanged) {
    on_display_change();
    return;
  }
  if (session_->gate.phase() == GatePhase::kActive) {
    apply_pause(PauseSource::kLocalUser, notice.event == IndicatorEvent::kPause);
  }
}

void SessionHost::hold_back_for_local_user() {
  const bool shown = session_->local_input_until.has_value();
  session_->local_input_until = services_.monotonic_clock.now() + kLocalInputHoldBack;
  input::release_held_input(*session_->adapter, session_->control);
  if (!shown) {
    session_->indicator.show_local_activity(true);
  }
}

void SessionHost::end_local_hold_back_when_over() {
  if (session_ && session_->local_input_until &&
      services_.monotonic_clock.now() >= *session_->local_input_until) {
    session_->local_input_until.reset();
    session_->indicator.show_local_activity(false);
  }
}

void SessionHost::on_display_change() {
  // Whatever the remote party was aiming at may have moved: nothing goes on
  // until the remote side has seen the new layout and resumes.
  if (session_->gate.phase() == GatePhase::kActive) {
    apply_pause(PauseSource::kRemoteSide, true);
  } else {
    input::release_held_input(*session_->adapter, session_->control);
  }
  // Input stays on the display the local user approved: the same device, and
  // only while it is the primary one. When that cannot be told, the session ends.
  const auto primary = display::choose_mapping_display(services_.displays);
  if (!primary || primary->device_name != session_->display_device) {
    stop_session();
    return;
  }
  session_->adapter->set_bounds(*primary);
}

void SessionHost::stop_if_lease_expired(std::uint64_t now_s) {
  if (!session_) {
    return;
  }
  const auto& grant = session_->gate.active_grant();
  if (grant && now_s >= grant->lease_expires_at_s) {
    stop_session();
  }
}

}  // namespace ombrelin::session
