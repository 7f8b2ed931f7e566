#pragma once

#include <cstdint>
#include <expected>

#include "session/session_gate.h"

namespace ombrelin::input {

enum class ReplayRefusal : std::uint8_t {
  kTooOld,    // more than 127 below the highest accepted sequence number
  kReplayed,  // accepted before
};

// Records `sequence` as accepted in the gate's window of the last 128 sequence
// numbers, or refuses one that is too old or already seen. A jump of 128 or more
// forgets everything below the new highest.
[[nodiscard]] std::expected<void, ReplayRefusal> accept_event_sequence(
    session::EventReplayWindow& window, std::uint64_t sequence);

}  // namespace ombrelin::input
