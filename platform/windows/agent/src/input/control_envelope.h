#pragma once

#include <cstdint>
#include <expected>

#include "input/control_context.h"
#include "ombrelin/protocol/input_envelope.h"

namespace ombrelin::input {

enum class EnvelopeOutcome : std::uint8_t { kInjected, kPeerPaused, kPeerResumed, kPeerStopped };

enum class EnvelopeFailure : std::uint8_t {
  kNoSession,     // the gate is no longer active
  kExpired,       // the lease ran out; the gate has been ended
  kRuleFailed,    // the envelope breaks an input rule
  kTooOld,        // below the replay window
  kReplayed,      // sequence number seen before
  kUnsupported,   // a kind this host does not act on
  kPaused,        // input is paused
  kAdapterFailed  // the adapter could not inject it
};

// Checks one envelope against the session (gate, lease at `now_s`, input rules,
// replay window) and carries it out: injection, a peer pause or resume, or a
// peer stop (which ends the gate; the caller then stops the session). The replay
// window takes the sequence number before the kind is looked at, so an envelope
// refused for its kind or for the pause has still used it up.
[[nodiscard]] std::expected<EnvelopeOutcome, EnvelopeFailure> apply_envelope(
    ControlSession& session, ControlHooks& hooks, const protocol::InputEnvelope& envelope,
    std::uint64_t now_s);

}  // namespace ombrelin::input
