#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "os/input_api.h"
#include "os/low_level_input.h"
#include "os/sim/desktop_description.h"

namespace ombrelin::os::sim {

// What of the simulated desktop changes while the agent runs: the display
// configuration (the described display changes, one action at a time), the
// secure desktop in front or not, the local user's swapped mouse buttons, and
// the cursor. Its input calls, display calls
// and window system run on several threads and share it. Thread-safe.
class DesktopState {
 public:
  explicit DesktopState(const DesktopDescription& description);
  DesktopState(const DesktopState&) = delete;
  DesktopState& operator=(const DesktopState&) = delete;

  [[nodiscard]] std::vector<SimulatedMonitor> monitors() const;
  // What GetSystemMetrics reports for the screen.
  [[nodiscard]] ScreenSize screen() const;
  // Applies the next described display change; false when none is left.
  bool change_display();

  // While the secure desktop (the lock screen, a UAC prompt) is in front,
  // SendInput inserts nothing.
  [[nodiscard]] bool secure_desktop() const;
  void set_secure_desktop(bool in_front);

  // GetSystemMetrics(SM_SWAPBUTTON): the left and right buttons swapped.
  [[nodiscard]] bool swap_buttons() const;
  void set_swap_buttons(bool swapped);

  [[nodiscard]] CursorPoint cursor() const;
  void set_cursor(CursorPoint point);

  // Input that SendInput inserted, on its way to the low-level hooks. Kept only
  // while a hook is installed, so nothing piles up when nobody watches.
  void hook_installed();
  void hook_removed();
  void push_injected(const LowLevelInput& input);
  [[nodiscard]] std::vector<LowLevelInput> take_injected();

 private:
  mutable std::mutex mutex_;
  DisplayConfiguration configuration_;
  std::vector<DisplayConfiguration> changes_;
  std::size_t changes_applied_ = 0;
  bool secure_desktop_ = false;
  bool swap_buttons_ = false;
  CursorPoint cursor_;
  std::size_t hooks_ = 0;
  std::deque<LowLevelInput> injected_;
};

}  // namespace ombrelin::os::sim
