#include "input/control_path.h"

#include <variant>

#include "input/control_conversion.h"
#include "input/control_envelope.h"
#include "input/control_serialization.h"
#include "os/unix_time.h"

namespace ombrelin::input {

void release_held_input(InputAdapter& adapter, ControlState& state) {
  static_cast<void>(adapter.release_all());
  state.sequence.buttons = 0;
}

std::expected<ControlEffect, ControlRefusal> run_control(
    std::optional<ControlTarget> target, SessionMatch match,
    const native_protocol::ControlMessage& message, const os::MonotonicClock& monotonic_clock,
    const os::WallClock& wall_clock) {
  const auto canonical = serialize_control_message(message);
  if (!canonical) {
    return std::unexpected(ControlRefusal::kInvalid);
  }
  if (canonical->size() > kMaxControlMessageBytes) {
    return std::unexpected(ControlRefusal::kTooLarge);
  }
  if (match == SessionMatch::kNoSession || !target) {
    return std::unexpected(ControlRefusal::kNoSession);
  }
  if (match == SessionMatch::kOtherSession) {
    return std::unexpected(ControlRefusal::kSessionMismatch);
  }
  ControlState& state = target->state;
  if (!state.rate_window.admit(monotonic_clock.now())) {
    return std::unexpected(ControlRefusal::kRateLimited);
  }

  const ControlGrant& grant = target->grant;
  const auto envelopes =
      convert_control_message(state.sequence, message, grant.session_id, grant.display_id);
  if (!envelopes) {
    return std::unexpected(ControlRefusal::kEventInvalid);
  }
  if (std::holds_alternative<native_protocol::control::ReleaseAll>(message)) {
    release_held_input(target->adapter, state);
    return ControlEffect::kNone;
  }
  const auto now = os::read_unix_time(wall_clock);
  if (!now) {
    return std::unexpected(now.error() == os::UnixTimeError::kBeforeEpoch
                               ? ControlRefusal::kClockInvalid
                               : ControlRefusal::kClockOutOfBound);
  }

  // A pause-input or stop message yields its one event; a pointer message yields
  // only injections. So a peer effect is always the message's last event.
  ControlEffect effect = ControlEffect::kNone;
  for (const protocol::InputEnvelope& envelope : *envelopes) {
    const auto outcome = apply_envelope(grant, state, target->adapter, envelope, now->seconds);
    if (!outcome) {
      switch (outcome.error()) {
        case EnvelopeFailure::kExpired:
          return std::unexpected(ControlRefusal::kLeaseExpired);
        case EnvelopeFailure::kHeldBack:
          return std::unexpected(ControlRefusal::kLocalUserActive);
        default:
          return std::unexpected(ControlRefusal::kEventRejected);
      }
    }
    effect = *outcome;
    if (effect == ControlEffect::kPeerStopped) {
      break;
    }
  }
  return effect;
}

}  // namespace ombrelin::input
