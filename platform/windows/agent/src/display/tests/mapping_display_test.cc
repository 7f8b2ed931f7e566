#include "display/mapping_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/tests/fake_display_api.h"

namespace ombrelin::display {
namespace {

using test_support::Call;
using Choice = std::expected<std::string, MappingDisplayError>;  // the chosen display's id

struct ChoiceCase {
  const char* label;
  std::vector<bool> primary;  // monitors \\.\DISPLAY1, \\.\DISPLAY2, ...
  std::optional<Call> fails;  // for the last monitor; kEnumerate: for the listing
  Choice chosen;
};

class ChooseMappingDisplayTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseMappingDisplayTest, TakesTheFirstPrimaryDisplay) {
  test_support::FakeDisplayApi api;
  for (const bool primary : GetParam().primary) {
    auto& monitor = api.monitors.emplace_back();
    monitor.device = "\\\\.\\DISPLAY" + std::to_string(api.monitors.size());
    monitor.placement.flags = primary ? os::kMonitorFlagPrimary : 0;
  }
  if (GetParam().fails == Call::kEnumerate) {
    api.fails = Call::kEnumerate;
  } else if (GetParam().fails) {
    api.monitors.back().fails = GetParam().fails;
  }

  const auto chosen = choose_mapping_display(api);

  EXPECT_EQ(chosen ? Choice(chosen->id) : std::unexpected(chosen.error()), GetParam().chosen);
}

constexpr auto kNoPrimary = std::unexpected(MappingDisplayError::kNoPrimaryDisplay);
constexpr auto kEnumerationFailed = std::unexpected(MappingDisplayError::kEnumerationFailed);

INSTANTIATE_TEST_SUITE_P(
    Lists, ChooseMappingDisplayTest,
    ::testing::Values(
        ChoiceCase{"OnlyPrimary", {true}, std::nullopt, "\\\\.\\DISPLAY1"},
        ChoiceCase{"FirstOfTwoPrimaries", {false, true, true}, std::nullopt, "\\\\.\\DISPLAY2"},
        ChoiceCase{"NoPrimary", {false, false}, std::nullopt, kNoPrimary},
        ChoiceCase{"NoMonitors", {}, std::nullopt, kNoPrimary},
        ChoiceCase{"EnumerationFails", {true}, Call::kEnumerate, kEnumerationFailed},
        ChoiceCase{"LaterMonitorFails", {true, false}, Call::kScale, kEnumerationFailed}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(InputMappingTextTest, NamesTheDisplayOnlyWhenInputIsAllowed) {
  DisplayRecord display;
  display.id = display.device_name = "\\\\.\\DISPLAY1";
  display.name = "Office Display";
  EXPECT_EQ(input_mapping_text(true, display), "Office Display");
  EXPECT_EQ(input_mapping_text(false, display), "No operating-system input");
}

}  // namespace
}  // namespace ombrelin::display
