#pragma once

#include <cstdint>
#include <expected>

#include "input/control_grant.h"
#include "input/control_path.h"
#include "input/control_state.h"
#include "input/input_adapter.h"
#include "ombrelin/protocol/input_envelope.h"

namespace ombrelin::input {

enum class EnvelopeFailure : std::uint8_t {
  kNoSession,     // the gate is no longer active
  kExpired,       // the lease ran out
  kRuleFailed,    // the envelope breaks an input rule
  kTooOld,        // below the replay window
  kReplayed,      // sequence number seen before
  kUnsupported,   // a kind this host does not act on
  kPaused,        // input is paused
  kHeldBack,      // the local user is using the computer
  kAdapterFailed  // the adapter could not inject it
};

// Checks one envelope against the grant (active, lease at `now_s`, input rules,
// replay window) and carries it out: an injection, or the peer pause, resume or
// stop for the session to apply. The replay window takes the sequence number
// before the kind is looked at, so an envelope refused for its kind or for the
// pause has still used it up.
[[nodiscard]] std::expected<ControlEffect, EnvelopeFailure> apply_envelope(
    const ControlGrant& grant, ControlState& state, InputAdapter& adapter,
    const protocol::InputEnvelope& envelope, std::uint64_t now_s);

}  // namespace ombrelin::input
