#pragma once

// Clocks for unit tests: they read whatever the test set, so tests move time
// instead of sleeping.

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>

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
  // Local time is this many minutes ahead of UTC at every instant; none: the
  // time zone cannot be read.
  void set_utc_offset(std::optional<std::int32_t> minutes) { utc_offset_minutes_ = minutes; }
  [[nodiscard]] std::expected<std::int32_t, OsError> utc_offset_minutes_at(
      std::uint64_t /*unix_seconds*/) const override {
    if (!utc_offset_minutes_) {
      return std::unexpected(OsError{1, "GetDynamicTimeZoneInformation"});
    }
    return *utc_offset_minutes_;
  }

 private:
  SystemTime time_;
  std::optional<std::int32_t> utc_offset_minutes_ = 0;
};

class FakeMonotonicClock final : public MonotonicClock {
 public:
  [[nodiscard]] std::chrono::steady_clock::time_point now() const override { return now_; }
  void advance(std::chrono::steady_clock::duration step) { now_ += step; }

 private:
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1)};
};

}  // namespace ombrelin::os::testing
