#include "os/sim/desktop_description.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace ombrelin::os::sim {
namespace {

void expect_standard_monitor(const SimulatedMonitor& monitor) {
  EXPECT_EQ(monitor.device, "\\\\.\\DISPLAY1");
  EXPECT_EQ(monitor.friendly_name, "Simulated Display");
  EXPECT_EQ(monitor.left, 0);
  EXPECT_EQ(monitor.top, 0);
  EXPECT_EQ(monitor.width, 1920u);
  EXPECT_EQ(monitor.height, 1080u);
  EXPECT_EQ(monitor.orientation, 0u);
  EXPECT_EQ(monitor.frequency, 60u);
  EXPECT_EQ(monitor.scale, 100u);
  EXPECT_TRUE(monitor.primary);
  EXPECT_FALSE(monitor.fails.has_value());
}

TEST(DesktopDescription, EmptyObjectIsTheStandardDesktop) {
  const auto description = parse_desktop_description(" {} \n");
  ASSERT_TRUE(description.has_value());
  ASSERT_EQ(description->monitors.size(), 1u);
  expect_standard_monitor(description->monitors[0]);
  EXPECT_FALSE(description->enum_fails);
  EXPECT_FALSE(description->display_config_fails);
  EXPECT_FALSE(description->screen.has_value());
  EXPECT_EQ(description->cursor.x, 0);
  EXPECT_EQ(description->cursor.y, 0);
  EXPECT_TRUE(description->consent.empty());
  EXPECT_FALSE(description->hotkey_taken);
  EXPECT_FALSE(description->random_fails);
  EXPECT_FALSE(description->send_input_fails_after.has_value());
  EXPECT_FALSE(description->cursor_fails);
  EXPECT_EQ(description->indicator_start_delay_ms, 0u);
  EXPECT_FALSE(description->indicator_fails.has_value());
  EXPECT_EQ(description->clock_offset_ms, 0);
  EXPECT_EQ(description->screen_size().cx, 1920);
  EXPECT_EQ(description->screen_size().cy, 1080);
  ASSERT_EQ(DesktopDescription::standard().monitors.size(), 1u);
  expect_standard_monitor(DesktopDescription::standard().monitors[0]);
}

TEST(DesktopDescription, ReadsEveryMember) {
  const auto description = parse_desktop_description(R"({
    "monitors": [
      {"device": "\\\\.\\DISPLAY2", "friendlyName": null, "left": -2560, "top": -2147483648,
       "width": 2560, "height": 1440, "orientation": 3, "frequency": 144, "scale": 150,
       "primary": false, "fails": "settingsEx"},
      {"device": "D3", "left": 2147483647, "top": 0, "width": 0, "height": 0,
       "orientation": 0, "frequency": 0, "scale": 0, "primary": true}
    ],
    "enumFails": true, "displayConfigFails": true,
    "screen": {"cx": 800, "cy": 600}, "cursor": {"x": -5, "y": 7},
    "consent": ["yes", "no", "error", "yes"],
    "hotkeyTaken": true, "randomFails": true, "sendInputFailsAfter": 18446744073709551615,
    "cursorFails": true, "indicatorStartDelayMs": 4294967295, "indicatorFails": "stop-button",
    "clockOffsetMs": -9223372036854775808
  })");
  ASSERT_TRUE(description.has_value());
  ASSERT_EQ(description->monitors.size(), 2u);
  const auto& first = description->monitors[0];
  EXPECT_EQ(first.device, "\\\\.\\DISPLAY2");
  EXPECT_FALSE(first.friendly_name.has_value());
  EXPECT_EQ(first.left, -2560);
  EXPECT_EQ(first.top, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(first.width, 2560u);
  EXPECT_EQ(first.height, 1440u);
  EXPECT_EQ(first.orientation, 3u);
  EXPECT_EQ(first.frequency, 144u);
  EXPECT_EQ(first.scale, 150u);
  EXPECT_FALSE(first.primary);
  EXPECT_EQ(first.fails, MonitorFailure::kSettingsEx);
  const auto& second = description->monitors[1];
  EXPECT_EQ(second.device, "D3");
  EXPECT_FALSE(second.friendly_name.has_value());
  EXPECT_EQ(second.left, std::numeric_limits<std::int32_t>::max());
  EXPECT_TRUE(second.primary);
  EXPECT_FALSE(second.fails.has_value());
  EXPECT_TRUE(description->enum_fails);
  EXPECT_TRUE(description->display_config_fails);
  EXPECT_EQ(description->screen_size().cx, 800);
  EXPECT_EQ(description->screen_size().cy, 600);
  EXPECT_EQ(description->cursor.x, -5);
  EXPECT_EQ(description->cursor.y, 7);
  EXPECT_EQ(description->consent, (std::vector{ConsentAnswer::kYes, ConsentAnswer::kNo,
                                               ConsentAnswer::kError, ConsentAnswer::kYes}));
  EXPECT_TRUE(description->hotkey_taken);
  EXPECT_TRUE(description->random_fails);
  EXPECT_EQ(description->send_input_fails_after, std::numeric_limits<std::uint64_t>::max());
  EXPECT_TRUE(description->cursor_fails);
  EXPECT_EQ(description->indicator_start_delay_ms, 4294967295u);
  EXPECT_EQ(description->indicator_fails, IndicatorFailure::kStopButton);
  EXPECT_EQ(description->clock_offset_ms, std::numeric_limits<std::int64_t>::min());
}

TEST(DesktopDescription, ReadsEachFailureName) {
  const std::pair<const char*, MonitorFailure> monitor_failures[] = {
      {"monitorInfoEx", MonitorFailure::kMonitorInfoEx},
      {"displaySettings", MonitorFailure::kDisplaySettings},
      {"monitorInfo", MonitorFailure::kMonitorInfo},
      {"settingsEx", MonitorFailure::kSettingsEx},
      {"scale", MonitorFailure::kScale}};
  for (const auto& [text, failure] : monitor_failures) {
    const auto description = parse_desktop_description(
        R"({"monitors":[{"device":"d","left":0,"top":0,"width":1,"height":1,"orientation":0,)"
        R"("frequency":1,"scale":1,"primary":true,"fails":")" +
        std::string(text) + R"("}]})");
    ASSERT_TRUE(description.has_value()) << text;
    EXPECT_EQ(description->monitors[0].fails, failure);
  }
  const std::pair<const char*, IndicatorFailure> indicator_failures[] = {
      {"thread", IndicatorFailure::kThread},
      {"module", IndicatorFailure::kModule},
      {"cursor", IndicatorFailure::kCursor},
      {"class", IndicatorFailure::kClass},
      {"main-window", IndicatorFailure::kMainWindow},
      {"label", IndicatorFailure::kLabel},
      {"status-label", IndicatorFailure::kStatusLabel},
      {"pause-button", IndicatorFailure::kPauseButton},
      {"stop-button", IndicatorFailure::kStopButton}};
  for (const auto& [text, failure] : indicator_failures) {
    const auto description =
        parse_desktop_description(R"({"indicatorFails":")" + std::string(text) + R"("})");
    ASSERT_TRUE(description.has_value()) << text;
    EXPECT_EQ(description->indicator_fails, failure);
  }
}

TEST(DesktopDescription, NullIsAllowedOnlyWhereItMeansNone) {
  const auto description = parse_desktop_description(R"({"sendInputFailsAfter":null})");
  ASSERT_TRUE(description.has_value());
  EXPECT_FALSE(description->send_input_fails_after.has_value());
}

struct ScreenCase {
  std::string name;
  std::string json;
  std::int32_t cx;
  std::int32_t cy;
};

class DesktopScreenSize : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(DesktopScreenSize, DefaultsToThePrimaryMonitor) {
  const auto description = parse_desktop_description(GetParam().json);
  ASSERT_TRUE(description.has_value());
  EXPECT_EQ(description->screen_size().cx, GetParam().cx);
  EXPECT_EQ(description->screen_size().cy, GetParam().cy);
}

std::string monitor(int width, bool primary) {
  return R"({"device":"d","left":0,"top":0,"width":)" + std::to_string(width) + R"(,"height":)" +
         std::to_string(width / 2) + R"(,"orientation":0,"frequency":60,"scale":100,"primary":)" +
         (primary ? "true" : "false") + "}";
}

INSTANTIATE_TEST_SUITE_P(
    Screens, DesktopScreenSize,
    ::testing::Values(
        ScreenCase{"NoMonitors", R"({"monitors":[]})", 0, 0},
        ScreenCase{"NoPrimary", R"({"monitors":[)" + monitor(1000, false) + "]}", 0, 0},
        ScreenCase{"SecondIsPrimary",
                   R"({"monitors":[)" + monitor(1000, false) + "," + monitor(3000, true) + "]}",
                   3000, 1500},
        ScreenCase{"ExplicitScreenWins",
                   R"({"monitors":[)" + monitor(1000, true) + R"(],"screen":{"cx":0,"cy":1}})", 0,
                   1},
        ScreenCase{"ExplicitScreenWithoutMonitors",
                   R"({"monitors":[],"screen":{"cx":2147483647,"cy":5}})", 2147483647, 5}),
    [](const auto& test) { return test.param.name; });

class DesktopDescriptionRefuses : public ::testing::TestWithParam<std::string> {};

TEST_P(DesktopDescriptionRefuses, InvalidFiles) {
  EXPECT_FALSE(parse_desktop_description(GetParam()).has_value()) << GetParam();
}

// A valid monitor with `member` replaced or added (`member` is "name":value).
std::string monitor_with(std::string_view member) {
  std::string object = monitor(100, true);
  const std::string name(member.substr(0, member.find(':')));
  if (const auto at = object.find(name + ":"); at != std::string::npos) {
    const auto end = object.find_first_of(",}", at);
    object.replace(at, end - at, member);
  } else {
    object.insert(object.size() - 1, "," + std::string(member));
  }
  return R"({"monitors":[)" + object + "]}";
}

std::string monitor_without(std::string_view name) {
  std::string object = monitor(100, true);
  const auto at = object.find("\"" + std::string(name) + "\":");
  const auto end = object.find(',', at);
  object.erase(at, end - at + 1);
  return R"({"monitors":[)" + object + "]}";
}

INSTANTIATE_TEST_SUITE_P(
    Files, DesktopDescriptionRefuses,
    ::testing::Values(
        // Not one JSON object.
        "", "[]", "null", "{} {}", "{}x", "{\"enumFails\":tru}",
        // Unknown members, at the top and nested.
        R"({"monitor":[]})", R"({"EnumFails":true})", monitor_with(R"("dpi":96)"),
        R"({"screen":{"cx":1,"cy":1,"cz":1}})", R"({"cursor":{"x":1,"y":1,"z":1}})",
        R"({"enumFails":true,"enumFails":true})",
        // Wrong JSON types.
        R"({"monitors":{}})", R"({"monitors":null})", R"({"monitors":[1]})", R"({"enumFails":1})",
        R"({"hotkeyTaken":"true"})", R"({"randomFails":null})", R"({"screen":[1,1]})",
        R"({"screen":null})", R"({"cursor":{"x":"1","y":1}})", R"({"consent":"yes"})",
        R"({"consent":[true]})", R"({"consent":[null]})", R"({"indicatorStartDelayMs":"5"})",
        R"({"clockOffsetMs":true})", monitor_with(R"("device":7)"), monitor_with(R"("primary":1)"),
        monitor_with(R"("friendlyName":5)"),
        // Integers must be JSON integers.
        R"({"indicatorStartDelayMs":1.0})", R"({"sendInputFailsAfter":2.0})",
        R"({"clockOffsetMs":0.0})", R"({"cursor":{"x":1.0,"y":1}})", monitor_with(R"("width":1.0)"),
        // Ranges.
        R"({"indicatorStartDelayMs":-1})", R"({"indicatorStartDelayMs":4294967296})",
        R"({"sendInputFailsAfter":-1})", R"({"screen":{"cx":-1,"cy":1}})",
        R"({"screen":{"cx":1,"cy":2147483648}})", R"({"cursor":{"x":1,"y":2147483648}})",
        R"({"cursor":{"x":-2147483649,"y":1}})", R"({"clockOffsetMs":9223372036854775808})",
        monitor_with(R"("width":-1)"), monitor_with(R"("height":-1)"),
        monitor_with(R"("orientation":4)"), monitor_with(R"("left":2147483648)"),
        monitor_with(R"("top":-2147483649)"), monitor_with(R"("frequency":-60)"),
        monitor_with(R"("scale":-100)"),
        // Unknown choices.
        R"({"consent":["Yes"]})", R"({"consent":["maybe"]})", R"({"indicatorFails":"window"})",
        R"({"indicatorFails":"Thread"})", monitor_with(R"("fails":"enum")"),
        // Null where none is meant.
        R"({"indicatorFails":null})", R"({"clockOffsetMs":null})", R"({"cursorFails":null})",
        monitor_with(R"("fails":null)"), monitor_with(R"("device":null)"),
        monitor_with(R"("width":null)"),
        // Missing monitor members (all but friendlyName and fails are required).
        monitor_without("device"), monitor_without("left"), monitor_without("top"),
        monitor_without("width"), monitor_without("height"), monitor_without("orientation"),
        monitor_without("frequency"), monitor_without("scale"), R"({"screen":{"cx":1}})",
        R"({"cursor":{"y":1}})"));

TEST(DesktopDescription, MissingPrimaryIsRefused) {
  std::string object = monitor(100, true);
  object.erase(object.find(",\"primary\""), std::string(",\"primary\":true").size());
  EXPECT_FALSE(parse_desktop_description(R"({"monitors":[)" + object + "]}").has_value());
}

}  // namespace
}  // namespace ombrelin::os::sim
