#include "session/local_time_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "os/tests/fake_clocks.h"

namespace ombrelin::session {
namespace {

struct LocalTimeCase {
  std::string name;
  std::uint64_t unix_seconds;
  std::int32_t offset_minutes;
  std::string shown;
};

void PrintTo(const LocalTimeCase& test, std::ostream* out) { *out << test.name; }

class LocalTime : public ::testing::TestWithParam<LocalTimeCase> {};

TEST_P(LocalTime, ShowsDateTimeAndOffset) {
  EXPECT_EQ(format_local_time(GetParam().unix_seconds, GetParam().offset_minutes),
            GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Instants, LocalTime,
    ::testing::Values(
        LocalTimeCase{"Utc", 1'700'000'000, 0, "2023-11-14 22:13:20 (UTC+00:00)"},
        LocalTimeCase{"AheadOfUtc", 1'796'736'725, 60, "2026-12-08 14:32:05 (UTC+01:00)"},
        LocalTimeCase{"BehindUtc", 1'700'000'000, -300, "2023-11-14 17:13:20 (UTC-05:00)"},
        LocalTimeCase{"HalfHours", 1'700'000'000, -570, "2023-11-14 12:43:20 (UTC-09:30)"},
        LocalTimeCase{"IntoTheNextDay", 1'700'000'000, 330, "2023-11-15 03:43:20 (UTC+05:30)"},
        LocalTimeCase{"IntoTheNextYear", 1'798'759'800, 60, "2027-01-01 00:30:00 (UTC+01:00)"},
        LocalTimeCase{"BackBeforeTheEpoch", 0, -1, "1969-12-31 23:59:00 (UTC-00:01)"},
        LocalTimeCase{"ALeapDayAhead", 1'709'161'200, 120, "2024-02-29 01:00:00 (UTC+02:00)"},
        LocalTimeCase{"ALeapDayBehind", 1'709'253'000, -60, "2024-02-29 23:30:00 (UTC-01:00)"},
        LocalTimeCase{"ALeapCentury", 951'778'800, 120, "2000-02-29 01:00:00 (UTC+02:00)"},
        LocalTimeCase{"NoLeapCentury", 4'107'538'800, 120, "2100-03-01 01:00:00 (UTC+02:00)"},
        LocalTimeCase{"LargestOffsets", 1'700'000'000, 1439, "2023-11-15 22:12:20 (UTC+23:59)"},
        LocalTimeCase{"LargestOffsetsBehind", 1'700'000'000, -1439,
                      "2023-11-13 22:14:20 (UTC-23:59)"},
        LocalTimeCase{"FiveDigitYears", 253'402'300'799, 1, "10000-01-01 00:00:59 (UTC+00:01)"}),
    [](const auto& test) { return test.param.name; });

TEST(LocalTime, TheEndOfTimeStillReads) {
  const std::string shown = format_local_time(std::numeric_limits<std::uint64_t>::max(), 1439);
  EXPECT_TRUE(shown.ends_with(" (UTC+23:59)")) << shown;
  EXPECT_EQ(shown.find_first_not_of("0123456789"), shown.find('-')) << shown;
}

TEST(LocalTime, TakesTheClocksOffsetOrSaysUtc) {
  os::testing::FakeWallClock clock;
  clock.set_utc_offset(-420);
  EXPECT_EQ(local_time_text(clock, 1'700'000'000), "2023-11-14 15:13:20 (UTC-07:00)");
  // A time zone that cannot be read: the time in UTC, labelled as such.
  clock.set_utc_offset(std::nullopt);
  EXPECT_EQ(local_time_text(clock, 1'700'000'000), "2023-11-14 22:13:20 (UTC+00:00)");
}

}  // namespace
}  // namespace ombrelin::session
