#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "input/control_grant.h"
#include "input/control_state.h"
#include "input/input_adapter.h"
#include "native_protocol/messages.h"
#include "os/monotonic_clock.h"
#include "os/wall_clock.h"

namespace ombrelin::input {

// Whether the message names the active session: none exists, another one, or
// this one. The session decides it, the control path only orders the answers.
enum class SessionMatch : std::uint8_t { kNoSession, kOtherSession, kActiveSession };

// The parts of the active session one control message works on.
struct ControlTarget {
  const ControlGrant& grant;
  ControlState& state;
  InputAdapter& adapter;
};

// What the session must do after a message that went through.
enum class ControlEffect : std::uint8_t {
  kNone,
  kPeerPaused,   // pause input and release everything held
  kPeerResumed,  // lift the peer's pause
  kPeerStopped,  // end the gate and stop the session
};

// Why a message was refused. The first eight, and kLocalUserActive, change
// nothing in the session; kEventRejected and kLeaseExpired come from applying an
// event, after which the session releases everything held and pauses input
// (kLeaseExpired: the lease ran out, so the session's gate must end first).
enum class ControlRefusal : std::uint8_t {
  kInvalid,          // cannot be written canonically (size check)
  kTooLarge,         // its canonical form is over 2048 bytes
  kNoSession,        // no session exists
  kSessionMismatch,  // it names another session
  kRateLimited,      // 240 messages were admitted in the last second
  kEventInvalid,     // conversion refused it (version, sequence, range, key name)
  kClockInvalid,     // the wall clock is before 1970
  kClockOutOfBound,  // the wall clock is beyond 64-bit milliseconds
  kEventRejected,    // an event was refused: rule, replay, pause or injection
  kLeaseExpired,     // the lease had run out when an event was applied
  kLocalUserActive,  // desktop input held back while the local user is using the computer
};

// One control message, computed against `target` (none when no session exists):
// canonical size, session, rate, conversion, then each resulting event in order.
// A release-all message releases everything held and is done; every other
// message reads the wall clock once, after conversion. The first refused event
// stops the message; the events before it stay applied.
[[nodiscard]] std::expected<ControlEffect, ControlRefusal> run_control(
    std::optional<ControlTarget> target, SessionMatch match,
    const native_protocol::ControlMessage& message, const os::MonotonicClock& monotonic_clock,
    const os::WallClock& wall_clock);

// Lets go of everything the adapter holds (its own failure changes nothing for
// the caller) and forgets the pointer buttons the remote party held.
void release_held_input(InputAdapter& adapter, ControlState& state);

}  // namespace ombrelin::input
