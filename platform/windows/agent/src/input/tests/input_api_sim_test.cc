// The input adapter over the simulated desktop: the journal lines an outside
// test reads, the simulated cursor and keyboard layout.

#include "os/sim/input_api_sim.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "input/key_table.h"
#include "input/pointer_mapping.h"
#include "input/windows_input_adapter.h"
#include "os/sim/desktop_description.h"
#include "os/sim/journal.h"

namespace ombrelin::input {
namespace {

namespace event = protocol::input_event;
using os::sim::DesktopDescription;

display::DisplayRecord primary_display() {
  display::DisplayRecord display;
  display.width = 1920;
  display.height = 1080;
  display.primary = true;
  return display;
}

// A simulated desktop described by `json`, journalling into a temporary file.
class SimulatedInput {
 public:
  explicit SimulatedInput(const std::string& json)
      : description_(os::sim::parse_desktop_description(json).value()) {
    const int fd = ::mkstemp(path_.data());
    EXPECT_GE(fd, 0);
    journal_ = std::make_unique<os::sim::Journal>(os::sim::UniqueFd(fd));
    api_ = os::sim::make_simulated_input_api(description_, *journal_);
    adapter_ = start_input_adapter(*api_, primary_display()).value();
  }
  SimulatedInput(const SimulatedInput&) = delete;
  SimulatedInput& operator=(const SimulatedInput&) = delete;
  ~SimulatedInput() { ::unlink(path_.c_str()); }

  os::InputApi& api() { return *api_; }
  InputAdapter& adapter() { return *adapter_; }

  std::vector<std::string> journal_lines() const {
    std::ifstream in(path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line);
    }
    return lines;
  }

 private:
  std::string path_ = ::testing::TempDir() + "input_sim_test_XXXXXX";
  DesktopDescription description_;
  std::unique_ptr<os::sim::Journal> journal_;
  std::unique_ptr<os::InputApi> api_;
  std::unique_ptr<InputAdapter> adapter_;
};

TEST(SimulatedInputTest, JournalsEachCallAndMovesTheCursor) {
  SimulatedInput desktop(R"({"cursor": {"x": 5, "y": 6}})");
  auto& adapter = desktop.adapter();
  EXPECT_EQ(desktop.api().cursor_position(), (os::CursorPoint{5, 6}));
  EXPECT_TRUE(adapter.apply_event(event::PointerMove{"", event::kAbsolutePointer, 1, 1}));
  EXPECT_EQ(desktop.api().cursor_position(), (os::CursorPoint{1919, 1079}));
  EXPECT_TRUE(adapter.apply_event(event::PointerMove{"", event::kRelativePointer, -919, -79}));
  EXPECT_EQ(desktop.api().cursor_position(), (os::CursorPoint{1000, 1000}));
  EXPECT_TRUE(adapter.apply_event(event::ScrollDelta{2, -1}));
  EXPECT_TRUE(adapter.apply_event(event::KeyboardKey{
      usage_for_key_name("ArrowLeft").value(), compute_modifier_byte(8, "ArrowLeft", true), true}));
  const std::string prefix = R"({"call":"SendInput","type":)";
  const std::string suffix = R"(,"time":0,"extraInfo":100,"inserted":1})";
  EXPECT_EQ(desktop.journal_lines(),
            (std::vector<std::string>{
                prefix + R"("mouse","dx":65535,"dy":65535,"mouseData":0,"flags":32769)" + suffix,
                prefix + R"("mouse","dx":34151,"dy":60737,"mouseData":0,"flags":32769)" + suffix,
                prefix + R"("mouse","dx":0,"dy":0,"mouseData":-240,"flags":2048)" + suffix,
                prefix + R"("mouse","dx":0,"dy":0,"mouseData":-120,"flags":4096)" + suffix,
                prefix + R"("keyboard","vk":160,"scan":42,"flags":0)" + suffix,
                prefix + R"("keyboard","vk":37,"scan":57419,"flags":1)" + suffix}));
}

TEST(SimulatedInputTest, SendInputFailsAfterTheDescribedCount) {
  SimulatedInput desktop(R"({"sendInputFailsAfter": 1})");
  EXPECT_TRUE(desktop.adapter().apply_event(event::PointerButton{1, true}));
  EXPECT_EQ(display::to_string(desktop.adapter().release_all().error()),
            "Windows adapter operation failed: not all input events were sent. they may have "
            "been blocked by UIPI");
  EXPECT_EQ(desktop.journal_lines().at(1),
            R"({"call":"SendInput","type":"mouse","dx":0,"dy":0,"mouseData":0,"flags":4,)"
            R"("time":0,"extraInfo":100,"inserted":0})");
}

TEST(SimulatedInputTest, NoPrimaryMonitorMeansNoScreenAndCursorCanFail) {
  SimulatedInput desktop(R"({"monitors": [], "cursorFails": true})");
  EXPECT_EQ(desktop.api().screen_metric(os::ScreenMetric::kHeight), 0);
  EXPECT_FALSE(desktop.api().cursor_position());
}

TEST(SimulatedInputTest, UsKeyboardLayout) {
  SimulatedInput desktop("{}");
  const struct {
    std::uint16_t vk;
    std::uint32_t scan;
  } cases[] = {{'Q', 0x10},    {'M', 0x32},    {'0', 0x0B},    {0x7B, 0x58}, {0x20, 0x39},
               {0x22, 0xE051}, {0x26, 0xE048}, {0x5B, 0xE05B}, {0x12, 0x38}, {0x2D, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(desktop.api().scan_code(c.vk), c.scan) << c.vk;
  }
}

// The simulated cursor inverts the agent's normalisation exactly.
class SimulatedCursorTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(SimulatedCursorTest, LandsOnTheNormalisedPixel) {
  const std::int32_t extent = GetParam();
  SimulatedInput desktop(R"({"screen": {"cx": )" + std::to_string(extent) + R"(, "cy": )" +
                         std::to_string(extent) + "}}");
  for (const std::int32_t pixel : {0, 1, extent / 3, extent / 2, extent - 2, extent - 1}) {
    const auto coordinate = normalise_absolute(pixel, extent).value();
    const os::InputRecord record =
        os::MouseRecord{coordinate, coordinate, 0, os::kMouseMove | os::kMouseAbsolute, 0, 100};
    ASSERT_EQ(desktop.api().send_input(std::span(&record, 1)), 1u);
    EXPECT_EQ(desktop.api().cursor_position(), (os::CursorPoint{pixel, pixel})) << pixel;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimulatedCursorTest,
                         ::testing::Values(2, 3, 768, 1080, 1366, 1920, 3840, 16384, 65536));

}  // namespace
}  // namespace ombrelin::input
