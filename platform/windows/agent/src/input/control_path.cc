#include "input/control_path.h"

#include <variant>

#include "input/control_conversion.h"
#include "input/control_envelope.h"
#include "input/control_serialization.h"

namespace ombrelin::input {
namespace {

using session::CommandError;
using Result = std::expected<void, CommandError>;

// Releases first so that nothing stays held whatever follows; the pause only
// applies to a gate still active (an expired one was ended and paused already).
void pause_after_failure(ControlSession& session, ControlHooks& hooks) {
  release_session_input(session.adapter, session.sequence);
  if (session.gate.phase() == session::GatePhase::kActive) {
    session.gate.set_paused(true);
  }
  hooks.show_paused(true);
}

}  // namespace

void release_session_input(InputAdapter& adapter, ControlSequenceState& sequence) {
  static_cast<void>(adapter.release_all());
  sequence.buttons = 0;
}

Result handle_control(const ControlContext& context, std::string_view session_id,
                      const native_protocol::ControlMessage& message) {
  const auto canonical = serialize_control_message(message);
  if (!canonical) {
    return std::unexpected(CommandError::kControlInvalid);
  }
  if (canonical->size() > kMaxControlMessageBytes) {
    return std::unexpected(CommandError::kControlTooLarge);
  }
  if (context.session == nullptr) {
    return std::unexpected(CommandError::kNoActiveSession);
  }
  ControlSession& session = *context.session;
  if (session_id != session.session_id_text) {
    return std::unexpected(CommandError::kControlSessionMismatch);
  }
  if (!session.rate_window.admit(context.monotonic_clock.now())) {
    return std::unexpected(CommandError::kControlRateLimited);
  }

  const auto envelopes =
      convert_control_message(session.sequence, message, session.session_id, session.display_id);
  if (!envelopes) {
    return std::unexpected(CommandError::kControlEventInvalid);
  }
  if (std::holds_alternative<native_protocol::control::ReleaseAll>(message)) {
    release_session_input(session.adapter, session.sequence);
    return {};
  }
  const auto now = context.hooks.read_wall_clock();
  if (!now) {
    return std::unexpected(now.error());
  }

  for (const protocol::InputEnvelope& envelope : *envelopes) {
    const auto outcome = apply_envelope(session, context.hooks, envelope, now->seconds);
    if (!outcome) {
      pause_after_failure(session, context.hooks);
      return std::unexpected(CommandError::kInputRejected);
    }
    switch (*outcome) {
      case EnvelopeOutcome::kInjected:
        break;
      case EnvelopeOutcome::kPeerPaused:
        release_session_input(session.adapter, session.sequence);
        break;
      case EnvelopeOutcome::kPeerResumed:
        // The local user may have paused; the indicator must not go on showing
        // a pause that the peer has lifted.
        context.hooks.show_paused(false);
        break;
      case EnvelopeOutcome::kPeerStopped:
        context.hooks.stop_session();  // `session` is gone from here on
        return {};
    }
  }
  return {};
}

}  // namespace ombrelin::input
