#include "input/control_envelope.h"

#include <variant>

#include "input/replay_window.h"
#include "ombrelin/protocol/input_rules.h"

namespace ombrelin::input {
namespace {

namespace input_event = protocol::input_event;
using Result = std::expected<ControlEffect, EnvelopeFailure>;

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

Result apply_envelope(const ControlGrant& grant, ControlState& state, InputAdapter& adapter,
                      const protocol::InputEnvelope& envelope, std::uint64_t now_s) {
  if (!grant.active) {
    return std::unexpected(EnvelopeFailure::kNoSession);
  }
  if (now_s >= grant.lease_expires_at_s) {
    return std::unexpected(EnvelopeFailure::kExpired);
  }
  if (!protocol::validate_input_envelope(envelope, grant.session_id, grant.permission_epoch,
                                         grant.permissions)) {
    return std::unexpected(EnvelopeFailure::kRuleFailed);
  }
  if (const auto accepted = accept_event_sequence(state.replay_window, envelope.sequence);
      !accepted) {
    return std::unexpected(accepted.error() == ReplayRefusal::kTooOld ? EnvelopeFailure::kTooOld
                                                                      : EnvelopeFailure::kReplayed);
  }

  // The rules guarantee an event.
  const protocol::InputEvent& event = *envelope.event;
  if (const auto* pause = std::get_if<input_event::PeerPause>(&event)) {
    return pause->paused ? ControlEffect::kPeerPaused : ControlEffect::kPeerResumed;
  }
  if (std::holds_alternative<input_event::PeerStop>(event)) {
    return ControlEffect::kPeerStopped;
  }
  if (std::holds_alternative<input_event::PermissionUpdate>(event)) {
    return std::unexpected(EnvelopeFailure::kUnsupported);
  }
  if (grant.paused && is_desktop_input(event)) {
    return std::unexpected(EnvelopeFailure::kPaused);
  }
  if (grant.held_back && is_desktop_input(event)) {
    return std::unexpected(EnvelopeFailure::kHeldBack);
  }
  if (!adapter.apply_event(event)) {
    return std::unexpected(EnvelopeFailure::kAdapterFailed);
  }
  return ControlEffect::kNone;
}

}  // namespace ombrelin::input
