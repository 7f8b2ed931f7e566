#pragma once

#include <array>
#include <chrono>
#include <cstddef>

namespace ombrelin::input {

// The instants of the control messages admitted during the last second, oldest
// first. A session starts with an empty window and keeps it across a refresh.
class ControlRateWindow {
 public:
  static constexpr std::size_t kMaxMessagesPerSecond = 240;

  // Forgets the entries at least one second older than `now`, then admits and
  // records `now` unless the window is still full. An entry later than `now`
  // counts as no time elapsed, so a clock that steps back cannot open the window.
  [[nodiscard]] bool admit(std::chrono::steady_clock::time_point now);

  [[nodiscard]] std::size_t size() const noexcept { return size_; }

 private:
  // A ring buffer: the window never holds more than the limit.
  std::array<std::chrono::steady_clock::time_point, kMaxMessagesPerSecond> instants_{};
  std::size_t oldest_ = 0;
  std::size_t size_ = 0;
};

}  // namespace ombrelin::input
