#pragma once

#include <cstdint>
#include <optional>

namespace ombrelin::input {

// What the control path remembers between the messages of one session. Fresh
// when a session starts; a refresh keeps it, so "seq" values and event sequence
// numbers are never reused within a session.
struct ControlSequenceState {
  std::optional<std::uint32_t> last_seq;  // the last accepted message "seq"
  std::uint64_t event_counter = 0;        // the last event sequence number handed out
  // The pointer buttons the remote party last reported down (bit 0 primary to
  // bit 4 forward). Every release of all held input must reset it, or the next
  // pointer message would not press the buttons again.
  std::uint8_t buttons = 0;

  bool operator==(const ControlSequenceState&) const = default;
};

}  // namespace ombrelin::input
