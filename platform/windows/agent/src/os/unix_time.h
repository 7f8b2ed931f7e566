#pragma once

#include <cstdint>
#include <expected>
#include <limits>

#include "os/wall_clock.h"

namespace ombrelin::os {

// The wall clock as the protocol counts time: milliseconds and whole seconds
// since 1970-01-01 00:00:00 UTC.
struct UnixTime {
  std::uint64_t milliseconds = 0;
  std::uint64_t seconds = 0;  // milliseconds / 1000

  bool operator==(const UnixTime&) const = default;
};

enum class UnixTimeError : std::uint8_t {
  kBeforeEpoch,  // the clock is set before 1970
  kOutOfBound,   // the milliseconds do not fit in 64 bits
};

[[nodiscard]] inline std::expected<UnixTime, UnixTimeError> read_unix_time(const WallClock& clock) {
  const SystemTime now = clock.now();
  if (now.before_epoch) {
    return std::unexpected(UnixTimeError::kBeforeEpoch);
  }
  std::uint64_t milliseconds = 0;
  if (__builtin_mul_overflow(now.seconds, std::uint64_t{1000}, &milliseconds) ||
      __builtin_add_overflow(milliseconds, std::uint64_t{now.nanoseconds / 1'000'000},
                             &milliseconds)) {
    return std::unexpected(UnixTimeError::kOutOfBound);
  }
  return UnixTime{milliseconds, milliseconds / 1000};
}

// The seconds value for lease checks, which cannot fail: a clock that cannot be
// read as Unix time counts as the end of time, so every lease has run out.
[[nodiscard]] inline std::uint64_t lease_check_seconds(const WallClock& clock) {
  const auto now = read_unix_time(clock);
  return now ? now->seconds : std::numeric_limits<std::uint64_t>::max();
}

}  // namespace ombrelin::os
