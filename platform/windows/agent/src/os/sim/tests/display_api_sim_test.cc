// The display enumeration over the simulated desktop, described as the
// process-level tests describe it.

#include "os/sim/display_api_sim.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "display/display_enumeration.h"
#include "os/sim/desktop_description.h"

namespace ombrelin::display {
namespace {

constexpr char kDisplay1[] = "\\\\.\\DISPLAY1";
constexpr char kDisplay2[] = "\\\\.\\DISPLAY2";

// Two monitors, then `extra` members of the desktop and of the primary monitor.
std::expected<std::vector<DisplayRecord>, DisplayError> enumerate_two(
    std::string_view desktop_extra = "", std::string_view primary_extra = "") {
  const std::string desktop = std::string(R"({"monitors": [
    {"device": "\\\\.\\DISPLAY2", "friendlyName": null, "left": -1080, "top": -200,
     "width": 1080, "height": 1920, "orientation": 1, "frequency": 1, "scale": 125,
     "primary": false},
    {"device": "\\\\.\\DISPLAY1", "friendlyName": "Office Display", "left": 0, "top": 0,
     "width": 2560, "height": 1440, "orientation": 0, "frequency": 144, "scale": 150,
     )") + std::string(primary_extra) +
                              R"("primary": true}])" + std::string(desktop_extra) + "}";
  const auto description = os::sim::parse_desktop_description(desktop);
  EXPECT_TRUE(description.has_value()) << desktop;
  const os::sim::DesktopDescription used = description.value_or(os::sim::DesktopDescription{});
  const os::sim::DesktopState state(used);
  const auto api = os::sim::make_simulated_display_api(used, state);
  return enumerate_displays(*api);
}

TEST(SimulatedDisplaysTest, StandardDesktopHasOneNamedPrimaryDisplay) {
  const auto standard = os::sim::DesktopDescription::standard();
  const os::sim::DesktopState state(standard);
  const auto api = os::sim::make_simulated_display_api(standard, state);
  EXPECT_EQ(enumerate_displays(*api).value(),
            (std::vector{DisplayRecord{kDisplay1, kDisplay1, "Simulated Display", 0, 0, 1920, 1080,
                                       0, 1, 60, true}}));
}

TEST(SimulatedDisplaysTest, ReportsMonitorsAsDescribed) {
  EXPECT_EQ(enumerate_two().value(),
            (std::vector{DisplayRecord{kDisplay2, kDisplay2, kDisplay2, -1080, -200, 1080, 1920, 90,
                                       1.25f, 0, false},
                         DisplayRecord{kDisplay1, kDisplay1, "Office Display", 0, 0, 2560, 1440, 0,
                                       1.5f, 144, true}}));
}

TEST(SimulatedDisplaysTest, UnreadableDisplayConfigurationLeavesDeviceNames) {
  EXPECT_EQ(enumerate_two(R"(, "displayConfigFails": true)").value().at(1).name, kDisplay1);
}

struct FailureCase {
  const char* fails;
  const char* message;  // empty: the system's message, whatever it says
};

class SimulatedFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SimulatedFailureTest, FailsTheEnumeration) {
  const auto records =
      enumerate_two("", std::string(R"("fails": ")") + GetParam().fails + R"(", )");
  ASSERT_FALSE(records.has_value());
  EXPECT_EQ(records.error().kind, DisplayError::Kind::kOperationFailed);
  EXPECT_EQ(records.error().message.empty(), false);
  if (*GetParam().message != '\0') {
    EXPECT_EQ(records.error().message, GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SimulatedFailureTest,
    ::testing::Values(FailureCase{"monitorInfoEx", "Failed to get monitor information."},
                      FailureCase{"displaySettings",
                                  "Failed to get the monitor's display settings."},
                      FailureCase{"monitorInfo", ""}, FailureCase{"settingsEx", ""},
                      FailureCase{"scale", ""}),
    [](const auto& test) { return std::string(test.param.fails); });

}  // namespace
}  // namespace ombrelin::display
