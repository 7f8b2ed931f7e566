#pragma once

#include <array>
#include <cstdint>
#include <expected>

namespace ombrelin::input {

// The sequence numbers of input events already accepted for the current grant:
// the highest one and a 128-bit bitmap of those just below it (bit k: highest - k).
struct EventReplayWindow {
  bool any_accepted = false;
  std::uint64_t highest = 0;
  std::array<std::uint64_t, 2> bitmap{};
};

enum class ReplayRefusal : std::uint8_t {
  kTooOld,    // more than 127 below the highest accepted sequence number
  kReplayed,  // accepted before
};

// Records `sequence` as accepted in the window of the last 128 sequence
// numbers, or refuses one that is too old or already seen. A jump of 128 or more
// forgets everything below the new highest.
[[nodiscard]] std::expected<void, ReplayRefusal> accept_event_sequence(EventReplayWindow& window,
                                                                       std::uint64_t sequence);

}  // namespace ombrelin::input
