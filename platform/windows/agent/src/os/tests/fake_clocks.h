#pragma once

// Clocks for unit tests: they read whatever the test set, so tests move time
// instead of sleeping.

#include <chrono>

#include "os/monotonic_clock.h"
#include "os/wall_clock.h"

namespace ombrelin::os::testing {

class FakeWallClock final : public WallClock {
 public:
  explicit FakeWallClock(SystemTime time = {}) : time_(time) {}
  void set(SystemTime time) { time_ = time; }
  // A time after the epoch, in whole seconds.
  void set_seconds(std::uint64_t seconds) { time_ = SystemTime{false, seconds, 0}; }
  [[nodiscard]] SystemTime now() const override { return time_; }

 private:
  SystemTime time_;
};

class FakeMonotonicClock final : public MonotonicClock {
 public:
  [[nodiscard]] std::chrono::steady_clock::time_point now() const override { return now_; }
  void advance(std::chrono::steady_clock::duration step) { now_ += step; }

 private:
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1)};
};

}  // namespace ombrelin::os::testing
