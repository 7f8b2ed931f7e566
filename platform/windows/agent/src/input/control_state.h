#pragma once

#include "input/control_rate_window.h"
#include "input/control_sequence_state.h"
#include "input/replay_window.h"

namespace ombrelin::input {

// What the control path keeps between the messages of one session. A session
// starts with a fresh state; a refresh keeps the rate window and the sequence
// state but empties the replay window, which belongs to one grant.
struct ControlState {
  ControlRateWindow rate_window;
  ControlSequenceState sequence;
  EventReplayWindow replay_window;
};

}  // namespace ombrelin::input
