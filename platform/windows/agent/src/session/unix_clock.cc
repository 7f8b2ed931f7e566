#include "session/unix_clock.h"

#include <limits>

namespace ombrelin::session {

std::expected<UnixTime, CommandError> read_unix_clock(const os::WallClock& clock) {
  const os::SystemTime now = clock.now();
  if (now.before_epoch) {
    return std::unexpected(CommandError::kClockInvalid);
  }
  std::uint64_t milliseconds = 0;
  if (__builtin_mul_overflow(now.seconds, std::uint64_t{1000}, &milliseconds) ||
      __builtin_add_overflow(milliseconds, std::uint64_t{now.nanoseconds / 1'000'000},
                             &milliseconds)) {
    return std::unexpected(CommandError::kClockOutOfBound);
  }
  return UnixTime{milliseconds, milliseconds / 1000};
}

std::uint64_t lease_check_seconds(const os::WallClock& clock) {
  const auto now = read_unix_clock(clock);
  return now ? now->seconds : std::numeric_limits<std::uint64_t>::max();
}

}  // namespace ombrelin::session
