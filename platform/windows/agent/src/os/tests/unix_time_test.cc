#include "os/unix_time.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "os/tests/fake_clocks.h"

namespace ombrelin::os {
namespace {

using testing::FakeWallClock;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
// The last whole second whose milliseconds still fit: kMax is 18446744073709551.615 s.
constexpr std::uint64_t kLastSecond = kMax / 1000;

struct ClockCase {
  std::string name;
  SystemTime time;
  std::optional<UnixTime> expected;  // none: out of bound
};

class UnixTimeReading : public ::testing::TestWithParam<ClockCase> {};

TEST_P(UnixTimeReading, CountsMillisecondsAndSeconds) {
  const FakeWallClock clock(GetParam().time);
  const auto now = read_unix_time(clock);
  if (!GetParam().expected) {
    ASSERT_FALSE(now.has_value());
    EXPECT_EQ(now.error(), UnixTimeError::kOutOfBound);
    EXPECT_EQ(lease_check_seconds(clock), kMax);
    return;
  }
  ASSERT_TRUE(now.has_value());
  EXPECT_EQ(now->milliseconds, GetParam().expected->milliseconds);
  EXPECT_EQ(now->seconds, GetParam().expected->seconds);
  EXPECT_EQ(lease_check_seconds(clock), GetParam().expected->seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Times, UnixTimeReading,
    ::testing::Values(
        ClockCase{"Epoch", {false, 0, 0}, UnixTime{0, 0}},
        ClockCase{"JustUnderOneMillisecond", {false, 0, 999'999}, UnixTime{0, 0}},
        ClockCase{"JustUnderOneSecond", {false, 0, 999'999'999}, UnixTime{999, 0}},
        ClockCase{"Today",
                  {false, 1'700'000'000, 123'456'789},
                  UnixTime{1'700'000'000'123, 1'700'000'000}},
        ClockCase{
            "LastMillisecond", {false, kLastSecond, 615'000'000}, UnixTime{kMax, kLastSecond}},
        ClockCase{"OneMillisecondBeyond", {false, kLastSecond, 616'000'000}, std::nullopt},
        ClockCase{"SecondsBeyond", {false, kLastSecond + 1, 0}, std::nullopt},
        ClockCase{"SecondsAtMax", {false, kMax, 0}, std::nullopt}),
    [](const auto& test) { return test.param.name; });

TEST(UnixTimeBeforeEpoch, IsInvalidAndEndsEveryLease) {
  const FakeWallClock clock(SystemTime{true, 5, 0});
  const auto now = read_unix_time(clock);
  ASSERT_FALSE(now.has_value());
  EXPECT_EQ(now.error(), UnixTimeError::kBeforeEpoch);
  EXPECT_EQ(lease_check_seconds(clock), kMax);
}

}  // namespace
}  // namespace ombrelin::os
