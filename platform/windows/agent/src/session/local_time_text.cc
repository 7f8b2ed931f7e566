#include "session/local_time_text.h"

#include <cstdlib>

namespace ombrelin::session {
namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

struct CivilDate {
  std::int64_t year;
  std::int64_t month;  // 1 to 12
  std::int64_t day;    // 1 to 31
};

// The proleptic Gregorian date `days` after 1970-01-01. Years are counted from
// March, so that the leap day ends a year, in eras of 400 years (146097 days).
CivilDate civil_date(std::int64_t days) {
  constexpr std::int64_t kDaysPerEra = 146'097;
  const std::int64_t shifted = days + 719'468;  // from 0000-03-01
  const std::int64_t era = (shifted >= 0 ? shifted : shifted - (kDaysPerEra - 1)) / kDaysPerEra;
  const std::int64_t day_of_era = shifted - era * kDaysPerEra;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / (kDaysPerEra - 1)) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
  const std::int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  return {era * 400 + year_of_era + (month <= 2 ? 1 : 0), month, day};
}

void append_padded(std::string& text, std::int64_t value, std::size_t digits) {
  const std::string number = std::to_string(value);
  if (number.size() < digits) {
    text.append(digits - number.size(), '0');
  }
  text += number;
}

}  // namespace

std::string format_local_time(std::uint64_t unix_seconds, std::int32_t utc_offset_minutes) {
  // Whole days and the second of the day apart, so that no instant overflows.
  std::int64_t days = static_cast<std::int64_t>(unix_seconds / kSecondsPerDay);
  std::int64_t second = static_cast<std::int64_t>(unix_seconds % kSecondsPerDay) +
                        std::int64_t{utc_offset_minutes} * 60;
  days += second / kSecondsPerDay;
  second %= kSecondsPerDay;
  if (second < 0) {
    second += kSecondsPerDay;
    --days;
  }
  const CivilDate date = civil_date(days);
  const std::int64_t offset = std::abs(std::int64_t{utc_offset_minutes});

  std::string text;
  append_padded(text, date.year, 4);
  text += '-';
  append_padded(text, date.month, 2);
  text += '-';
  append_padded(text, date.day, 2);
  text += ' ';
  append_padded(text, second / 3600, 2);
  text += ':';
  append_padded(text, second / 60 % 60, 2);
  text += ':';
  append_padded(text, second % 60, 2);
  text += utc_offset_minutes < 0 ? " (UTC-" : " (UTC+";
  append_padded(text, offset / 60, 2);
  text += ':';
  append_padded(text, offset % 60, 2);
  text += ')';
  return text;
}

std::string local_time_text(const os::WallClock& clock, std::uint64_t unix_seconds) {
  return format_local_time(unix_seconds, clock.utc_offset_minutes_at(unix_seconds).value_or(0));
}

}  // namespace ombrelin::session
