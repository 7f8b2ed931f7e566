#include "session/unix_clock.h"

namespace ombrelin::session {

CommandError clock_error(os::UnixTimeError error) noexcept {
  return error == os::UnixTimeError::kBeforeEpoch ? CommandError::kClockInvalid
                                                  : CommandError::kClockOutOfBound;
}

std::expected<os::UnixTime, CommandError> read_unix_clock(const os::WallClock& clock) {
  const auto now = os::read_unix_time(clock);
  if (!now) {
    return std::unexpected(clock_error(now.error()));
  }
  return *now;
}

}  // namespace ombrelin::session
