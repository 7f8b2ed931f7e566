#include "os/sim/desktop_state.h"

namespace ombrelin::os::sim {

DesktopState::DesktopState(const DesktopDescription& description)
    : configuration_{description.monitors, description.screen},
      changes_(description.display_changes),
      swap_buttons_(description.swap_buttons),
      cursor_{description.cursor.x, description.cursor.y} {}

std::vector<SimulatedMonitor> DesktopState::monitors() const {
  const std::lock_guard lock(mutex_);
  return configuration_.monitors;
}

ScreenSize DesktopState::screen() const {
  const std::lock_guard lock(mutex_);
  return configuration_.screen_size();
}

bool DesktopState::change_display() {
  const std::lock_guard lock(mutex_);
  if (changes_applied_ >= changes_.size()) {
    return false;
  }
  configuration_ = changes_[changes_applied_++];
  return true;
}

bool DesktopState::secure_desktop() const {
  const std::lock_guard lock(mutex_);
  return secure_desktop_;
}

void DesktopState::set_secure_desktop(bool in_front) {
  const std::lock_guard lock(mutex_);
  secure_desktop_ = in_front;
}

bool DesktopState::swap_buttons() const {
  const std::lock_guard lock(mutex_);
  return swap_buttons_;
}

void DesktopState::set_swap_buttons(bool swapped) {
  const std::lock_guard lock(mutex_);
  swap_buttons_ = swapped;
}

CursorPoint DesktopState::cursor() const {
  const std::lock_guard lock(mutex_);
  return cursor_;
}

void DesktopState::set_cursor(CursorPoint point) {
  const std::lock_guard lock(mutex_);
  cursor_ = point;
}

void DesktopState::hook_installed() {
  const std::lock_guard lock(mutex_);
  ++hooks_;
}

void DesktopState::hook_removed() {
  const std::lock_guard lock(mutex_);
  if (--hooks_ == 0) {
    injected_.clear();
  }
}

void DesktopState::push_injected(const LowLevelInput& input) {
  const std::lock_guard lock(mutex_);
  if (hooks_ > 0) {
    injected_.push_back(input);
  }
}

std::vector<LowLevelInput> DesktopState::take_injected() {
  const std::lock_guard lock(mutex_);
  std::vector<LowLevelInput> taken(injected_.begin(), injected_.end());
  injected_.clear();
  return taken;
}

}  // namespace ombrelin::os::sim
