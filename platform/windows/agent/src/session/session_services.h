#pragma once

#include <functional>

#include "os/display_api.h"
#include "os/input_api.h"
#include "os/monotonic_clock.h"
#include "os/wall_clock.h"
#include "os/window_system.h"
#include "session/indicator_event.h"

namespace ombrelin::session {

// What sessions use of the operating system, and the sender through which every
// indicator reaches the main loop. Handed over once, when the host state is built.
struct SessionServices {
  os::WindowSystem& windows;
  os::DisplayApi& displays;
  os::InputApi& input;
  const os::WallClock& wall_clock;
  const os::MonotonicClock& monotonic_clock;
  IndicatorSender indicator_sender;
  // True once the page's input has ended: nobody waits for an answer any more.
  std::function<bool()> page_gone;
};

}  // namespace ombrelin::session
