#include "input/pointer_mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace ombrelin::input {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct MapCase {
  std::int32_t left;
  std::int32_t top;
  std::uint32_t width;
  std::uint32_t height;
  float x;
  float y;
  PixelPoint pixel;
};

class MapAbsolutePointTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapAbsolutePointTest, Maps) {
  display::DisplayRecord display;
  display.left = GetParam().left;
  display.top = GetParam().top;
  display.width = GetParam().width;
  display.height = GetParam().height;
  EXPECT_EQ(map_absolute_point(display, GetParam().x, GetParam().y), GetParam().pixel);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MapAbsolutePointTest,
    ::testing::Values(MapCase{0, 0, 1920, 1080, 0, 0, {0, 0}},
                      MapCase{0, 0, 1920, 1080, 1, 1, {1919, 1079}},
                      // 959.5 and 539.5 round away from zero.
                      MapCase{0, 0, 1920, 1080, 0.5f, 0.5f, {960, 540}},
                      MapCase{-1920, 200, 1920, 1080, 1, 0, {-1, 200}},
                      MapCase{100, 100, 0, 1, 1, 1, {100, 100}},
                      MapCase{kMax - 10, kMin, 100, 100, 1, 0, {kMax, kMin}},
                      MapCase{5, 7, 1920, 1080, std::nanf(""), std::nanf(""), {5, 7}}));

struct ClampCase {
  std::int32_t left;
  std::int32_t top;
  std::uint32_t width;
  std::uint32_t height;
  PixelPoint pixel;
  PixelPoint clamped;
};

class ClampToDisplayTest : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ClampToDisplayTest, KeepsThePixelOnTheDisplay) {
  display::DisplayRecord display;
  display.left = GetParam().left;
  display.top = GetParam().top;
  display.width = GetParam().width;
  display.height = GetParam().height;
  EXPECT_EQ(clamp_to_display(GetParam().pixel, display), GetParam().clamped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClampToDisplayTest,
    ::testing::Values(ClampCase{0, 0, 1920, 1080, {960, 540}, {960, 540}},
                      ClampCase{0, 0, 1920, 1080, {1919, 1079}, {1919, 1079}},
                      ClampCase{0, 0, 1920, 1080, {1920, 1080}, {1919, 1079}},
                      ClampCase{0, 0, 1920, 1080, {-1, -5000}, {0, 0}},
                      ClampCase{0, 0, 1920, 1080, {kMax, kMin}, {1919, 0}},
                      ClampCase{-1920, 200, 1920, 1080, {0, 0}, {-1, 200}},
                      ClampCase{100, 100, 0, 0, {50, 150}, {100, 100}},
                      ClampCase{kMax - 10, kMin, 100, 100, {kMin, kMax}, {kMax - 10, kMin + 99}},
                      ClampCase{kMax - 10, 0, 100, 1, {kMax, 7}, {kMax, 0}}));

TEST(RoundSaturatedTest, RoundsHalvesAwayAndSaturates) {
  const float infinity = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    std::int32_t rounded;
  } cases[] = {{0.5f, 1},         {-0.5f, -1},       {2.5f, 3},
               {-2.5f, -3},       {2.4999998f, 2},   {2147483520.f, 2147483520},
               {3e9f, kMax},      {infinity, kMax},  {-3e9f, kMin},
               {-infinity, kMin}, {std::nanf(""), 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(round_saturated(c.value), c.rounded) << c.value;
  }
}

struct NormaliseCase {
  std::int32_t pixel;
  std::int32_t extent;
  std::optional<std::int32_t> coordinate;
};

class NormaliseTest : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseTest, Normalises) {
  EXPECT_EQ(normalise_absolute(GetParam().pixel, GetParam().extent), GetParam().coordinate);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormaliseTest,
    ::testing::Values(NormaliseCase{960, 1920, 32785}, NormaliseCase{540, 1080, 32798},
                      // 32767.5: halves go away from zero.
                      NormaliseCase{1, 3, 32768}, NormaliseCase{1, 2, 65535},
                      // Pixels off the primary screen land on its nearest edge.
                      NormaliseCase{-1, 1920, 0}, NormaliseCase{-1, 3, 0},
                      NormaliseCase{1920, 1920, 65535}, NormaliseCase{3839, 1920, 65535},
                      NormaliseCase{kMax, 2, 65535}, NormaliseCase{kMin, 2, 0},
                      NormaliseCase{0, 1, std::nullopt}, NormaliseCase{0, 0, std::nullopt},
                      NormaliseCase{0, -1920, std::nullopt}));

class ScreenEdgesTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ScreenEdgesTest, FirstAndLastPixelSpanTheRange) {
  EXPECT_EQ(normalise_absolute(0, GetParam()), 0);
  EXPECT_EQ(normalise_absolute(GetParam() - 1, GetParam()), kAbsoluteSpan);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScreenEdgesTest,
                         ::testing::Values(2, 3, 1080, 1366, 3840, 65536, 100000, kMax));

}  // namespace
}  // namespace ombrelin::input
