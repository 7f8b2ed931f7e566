#include "display/display_enumeration.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "display/tests/fake_display_api.h"

namespace ombrelin::display {

void PrintTo(const DisplayRecord& r, std::ostream* out) {
  *out << r.id << " '" << r.name << "' " << r.left << "," << r.top << " " << r.width << "x"
       << r.height << " rotation " << r.rotation << " scale " << r.scale << " " << r.refresh_rate
       << " Hz primary " << r.primary;
}

namespace {

using test_support::Call;
using test_support::failure_message;
using test_support::FakeDisplayApi;
using test_support::FakeMonitor;
using test_support::kDisplay1;
using test_support::named_path;

constexpr char kDisplay2[] = "\\\\.\\DISPLAY2";
using Change = std::function<void(FakeMonitor&)>;

// One 1920 x 1080 primary monitor at 60 Hz, changed as the test needs.
FakeDisplayApi one_monitor(const Change& change = [](FakeMonitor&) {}) {
  FakeDisplayApi api;
  change(api.monitors.emplace_back());
  return api;
}

TEST(EnumerateDisplaysTest, ReportsThePrimaryMonitor) {
  FakeDisplayApi api = one_monitor([](FakeMonitor& monitor) { monitor.scale = 150; });
  api.paths = {named_path(kDisplay1, "Office Display")};

  EXPECT_EQ(enumerate_displays(api).value(),
            (std::vector{DisplayRecord{kDisplay1, kDisplay1, "Office Display", 0, 0, 1920, 1080, 0,
                                       1.5f, 60, true}}));
  EXPECT_EQ(api.calls,
            (std::vector{Call::kEnumerate, Call::kDeviceName, Call::kMode, Call::kPlacement,
                         Call::kOrientation, Call::kScale, Call::kConfigSizes, Call::kPaths,
                         Call::kSourceName, Call::kTargetName, Call::kMode}));
}

TEST(EnumerateDisplaysTest, FailsWhenMonitorsCannotBeListed) {
  FakeDisplayApi api = one_monitor();
  api.fails = Call::kEnumerate;
  EXPECT_EQ(enumerate_displays(api).error(),
            DisplayError::operation_failed("A Windows API call failed: " +
                                           failure_message(Call::kEnumerate)));
}

struct LimitCase {
  const char* label;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t scale;
  std::optional<DisplayError> error;
};

class LimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LimitTest, RefusesModesAndScalesOutOfRange) {
  const LimitCase& limit = GetParam();
  FakeDisplayApi api = one_monitor([&](FakeMonitor& monitor) {
    monitor.mode.width = limit.width;
    monitor.mode.height = limit.height;
    monitor.scale = limit.scale;
  });
  const auto records = enumerate_displays(api);
  EXPECT_EQ(records.has_value(), !limit.error);
  if (limit.error && !records) {
    EXPECT_EQ(records.error(), *limit.error);
  }
}

const DisplayError kTooLarge = DisplayError::display_too_large();
const DisplayError kBadScale =
    DisplayError::operation_failed("Windows returned an invalid monitor scale factor");

INSTANTIATE_TEST_SUITE_P(
    Limits, LimitTest,
    ::testing::Values(LimitCase{"Smallest", 1, 1, 100, std::nullopt},
                      LimitCase{"WidestAtMostPixels", 16384, 2048, 100, std::nullopt},
                      LimitCase{"TallestAtMostPixels", 2048, 16384, 100, std::nullopt},
                      LimitCase{"OneRowTooMany", 16384, 2049, 100, kTooLarge},
                      LimitCase{"TooWide", 16385, 1, 100, kTooLarge},
                      LimitCase{"TooTall", 1, 16385, 100, kTooLarge},
                      LimitCase{"NoWidth", 0, 1080, 100, kTooLarge},
                      LimitCase{"NoHeight", 1920, 0, 100, kTooLarge},
                      LimitCase{"ScaleOnePercent", 1920, 1080, 1, std::nullopt},
                      LimitCase{"ScaleTenfold", 1920, 1080, 1000, std::nullopt},
                      LimitCase{"ScaleZero", 1920, 1080, 0, kBadScale},
                      LimitCase{"ScaleAboveTenfold", 1920, 1080, 1001, kBadScale}),
    [](const auto& test) { return std::string(test.param.label); });

struct ModeCase {
  std::uint32_t frequency;
  os::DisplayOrientation orientation;
  float refresh_rate;
  float rotation;
};

class ModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeTest, ReportsRefreshRateAndRotation) {
  const ModeCase& mode = GetParam();
  FakeDisplayApi api = one_monitor([&](FakeMonitor& monitor) {
    monitor.mode.frequency = mode.frequency;
    monitor.orientation = mode.orientation;
  });
  const DisplayRecord record = enumerate_displays(api).value().at(0);
  EXPECT_EQ(record.refresh_rate, mode.refresh_rate);
  EXPECT_EQ(record.rotation, mode.rotation);
}

constexpr std::uint32_t kOrientationField = os::kModeFieldDisplayOrientation;
constexpr std::uint32_t kSizeFields = 0x001C0000;  // width, height and frequency

// 0 and 1 Hz are the hardware default; the orientation counts only when flagged.
INSTANTIATE_TEST_SUITE_P(
    Modes, ModeTest,
    ::testing::Values(ModeCase{0, {kOrientationField, os::kOrientationDefault}, 0, 0},
                      ModeCase{1, {kOrientationField, os::kOrientation90}, 0, 90},
                      ModeCase{2, {kOrientationField, os::kOrientation180}, 2, 180},
                      ModeCase{60, {kOrientationField | kSizeFields, os::kOrientation270}, 60, 270},
                      ModeCase{144, {kSizeFields, os::kOrientation90}, 144, 0}));

struct NameCase {
  const char* label;
  std::vector<test_support::FakePath> paths;
  std::optional<Call> fails;
  std::string name;
};

class FriendlyNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FriendlyNameTest, NamesTheMonitor) {
  FakeDisplayApi api = one_monitor();
  api.paths = GetParam().paths;
  api.fails = GetParam().fails;
  EXPECT_EQ(enumerate_displays(api).value().at(0).name, GetParam().name);
}

test_support::FakePath edited(test_support::FakePath path,
                              const std::function<void(test_support::FakePath&)>& edit) {
  edit(path);
  return path;
}
void no_source(test_support::FakePath& path) { path.source_name.reset(); }
void no_target(test_support::FakePath& path) { path.target_name.reset(); }
void other_adapter(test_support::FakePath& path) { path.ids.target_adapter = os::AdapterId{2, 0}; }
void not_text(test_support::FakePath& path) {
  path.target_name = std::unexpected(os::InvalidText{"lone surrogate"});
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FriendlyNameTest,
    ::testing::Values(
        NameCase{"SizesFail", {named_path(kDisplay1, "A")}, Call::kConfigSizes, kDisplay1},
        NameCase{"QueryFails", {named_path(kDisplay1, "A")}, Call::kPaths, kDisplay1},
        NameCase{"OtherSource", {named_path(kDisplay2, "A")}, std::nullopt, kDisplay1},
        NameCase{
            "SourceComparedExactly", {named_path("\\\\.\\display1", "A")}, std::nullopt, kDisplay1},
        NameCase{"SourceFailsThenMatch",
                 {edited(named_path(kDisplay1, "A", 0), no_source), named_path(kDisplay1, "B", 1)},
                 std::nullopt,
                 "B"},
        NameCase{"TargetFailsThenMatch",
                 {edited(named_path(kDisplay1, "A", 0), no_target), named_path(kDisplay1, "B", 1)},
                 std::nullopt,
                 "B"},
        NameCase{"FirstMatchWins",
                 {named_path(kDisplay2, "A", 0), named_path(kDisplay1, "B", 1),
                  named_path(kDisplay1, "C", 2)},
                 std::nullopt,
                 "B"},
        NameCase{"TargetNotText",
                 {edited(named_path(kDisplay1, "A"), not_text)},
                 std::nullopt,
                 kDisplay1},
        NameCase{"TargetEmpty", {named_path(kDisplay1, "")}, std::nullopt, kDisplay1},
        NameCase{"TargetOnAnotherAdapter",
                 {edited(named_path(kDisplay1, "A"), other_adapter)},
                 std::nullopt,
                 "A"}),
    [](const auto& test) { return std::string(test.param.label); });

struct FailureCase {
  const char* label;
  Change change;
  std::string message;
};

class FailingCallTest : public ::testing::TestWithParam<FailureCase> {};

// The second monitor fails, so the first one's record is dropped too.
TEST_P(FailingCallTest, FailsTheWholeEnumeration) {
  FakeDisplayApi api;
  api.monitors.resize(2);
  api.monitors[1].device = kDisplay2;
  GetParam().change(api.monitors[1]);
  EXPECT_EQ(enumerate_displays(api).error(), DisplayError::operation_failed(GetParam().message));
}

FailureCase failing(const char* label, Call call, std::string message) {
  return {label, [call](FakeMonitor& monitor) { monitor.fails = call; }, std::move(message)};
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FailingCallTest,
    ::testing::Values(
        failing("MonitorInfoEx", Call::kDeviceName, "Failed to get monitor information."),
        FailureCase{"DeviceNameNotText",
                    [](FakeMonitor& monitor) {
                      monitor.device = std::unexpected(os::InvalidText{"lone surrogate"});
                    },
                    "Failed to convert a Windows string: lone surrogate"},
        failing("DisplaySettings", Call::kMode, "Failed to get the monitor's display settings."),
        FailureCase{"RefreshRateRead",
                    [](FakeMonitor& monitor) { monitor.second_mode_fails = true; },
                    "Failed to get the monitor's display settings."},
        failing("MonitorInfo", Call::kPlacement, failure_message(Call::kPlacement)),
        failing("SettingsEx", Call::kOrientation, failure_message(Call::kOrientation)),
        failing("Scale", Call::kScale, failure_message(Call::kScale))),
    [](const auto& test) { return std::string(test.param.label); });

}  // namespace
}  // namespace ombrelin::display
