#include "input/control_envelope.h"

#include <variant>

#include "input/control_replay_window.h"
#include "ombrelin/protocol/input_rules.h"

namespace ombrelin::input {
namespace {

namespace input_event = protocol::input_event;
using Result = std::expected<EnvelopeOutcome, EnvelopeFailure>;

// The kinds that act on the desktop and so stop while input is paused.
bool is_desktop_input(const protocol::InputEvent& event) {
  return std::holds_alternative<input_event::PointerMove>(event) ||
         std::holds_alternative<input_event::PointerButton>(event) ||
         std::holds_alternative<input_event::ScrollDelta>(event) ||
         std::holds_alternative<input_event::KeyboardKey>(event) ||
         std::holds_alternative<input_event::Touch>(event) ||
         std::holds_alternative<input_event::Pen>(event) ||
         std::holds_alternative<input_event::Gamepad>(event);
}

}  // namespace

Result apply_envelope(ControlSession& session, ControlHooks& hooks,
                      const protocol::InputEnvelope& envelope, std::uint64_t now_s) {
  session::SessionGate& gate = session.gate;
  const auto& grant = gate.active_grant();
  if (gate.phase() != session::GatePhase::kActive || !grant) {
    return std::unexpected(EnvelopeFailure::kNoSession);
  }
  if (now_s >= grant->lease_expires_at_s) {
    hooks.end_gate();
    return std::unexpected(EnvelopeFailure::kExpired);
  }
  if (!protocol::validate_input_envelope(envelope, session.session_id, grant->permission_epoch,
                                         grant->granted_permissions)) {
    return std::unexpected(EnvelopeFailure::kRuleFailed);
  }
  if (const auto accepted = accept_event_sequence(gate.replay_window(), envelope.sequence);
      !accepted) {
    return std::unexpected(accepted.error() == ReplayRefusal::kTooOld ? EnvelopeFailure::kTooOld
                                                                      : EnvelopeFailure::kReplayed);
  }

  // The rules guarantee an event.
  const protocol::InputEvent& event = *envelope.event;
  if (const auto* pause = std::get_if<input_event::PeerPause>(&event)) {
    gate.set_paused(pause->paused);
    return pause->paused ? EnvelopeOutcome::kPeerPaused : EnvelopeOutcome::kPeerResumed;
  }
  if (std::holds_alternative<input_event::PeerStop>(event)) {
    hooks.end_gate();
    return EnvelopeOutcome::kPeerStopped;
  }
  if (std::holds_alternative<input_event::PermissionUpdate>(event)) {
    return std::unexpected(EnvelopeFailure::kUnsupported);
  }
  if (gate.paused() && is_desktop_input(event)) {
    return std::unexpected(EnvelopeFailure::kPaused);
  }
  if (!session.adapter.apply_event(event)) {
    return std::unexpected(EnvelopeFailure::kAdapterFailed);
  }
  return EnvelopeOutcome::kInjected;
}

}  // namespace ombrelin::input
