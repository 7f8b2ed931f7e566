#include "input/control_rate_window.h"

namespace ombrelin::input {

bool ControlRateWindow::admit(std::chrono::steady_clock::time_point now) {
  constexpr auto kWindow = std::chrono::seconds(1);
  while (size_ > 0) {
    const auto oldest = instants_[oldest_];
    const auto elapsed = now > oldest ? now - oldest : std::chrono::steady_clock::duration::zero();
    if (elapsed < kWindow) {
      break;
    }
    oldest_ = (oldest_ + 1) % kMaxMessagesPerSecond;
    --size_;
  }
  if (size_ >= kMaxMessagesPerSecond) {
    return false;
  }
  instants_[(oldest_ + size_) % kMaxMessagesPerSecond] = now;
  ++size_;
  return true;
}

}  // namespace ombrelin::input
