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

#include "os/sim/desktop_description.h"
#include "os/sim/journal.h"

namespace ombrelin::os::sim {
namespace {

constexpr std::uint32_t kAbsoluteMove = kMouseMove | kMouseAbsolute;

MouseRecord mouse(std::int32_t dx, std::int32_t dy, std::int32_t data, std::uint32_t flags) {
  return MouseRecord{dx, dy, data, flags, 0, 100};
}

KeyboardRecord key(std::uint16_t vk, std::uint16_t scan, std::uint32_t flags) {
  return KeyboardRecord{vk, scan, flags, 0, 100};
}

// SendInput's absolute coordinate of a pixel, rounded half away from zero.
std::int32_t normalised(std::int32_t pixel, std::int32_t extent) {
  const std::int64_t span = extent - 1;
  return static_cast<std::int32_t>((std::int64_t{pixel} * 65535 + span / 2) / span);
}

// A simulated desktop described by `json`, journalling into a temporary file.
class SimulatedInput {
 public:
  explicit SimulatedInput(const std::string& json)
      : description_(parse_desktop_description(json).value()) {
    const int fd = ::mkstemp(path_.data());
    EXPECT_GE(fd, 0);
    journal_ = std::make_unique<Journal>(UniqueFd(fd));
    state_ = std::make_unique<DesktopState>(description_);
    api_ = make_simulated_input_api(description_, *state_, *journal_);
  }
  SimulatedInput(const SimulatedInput&) = delete;
  SimulatedInput& operator=(const SimulatedInput&) = delete;
  ~SimulatedInput() { ::unlink(path_.c_str()); }

  InputApi& api() { return *api_; }
  DesktopState& state() { return *state_; }
  std::uint32_t send(const InputRecord& record) { return api_->send_input(std::span(&record, 1)); }

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
  std::unique_ptr<Journal> journal_;
  std::unique_ptr<DesktopState> state_;
  std::unique_ptr<InputApi> api_;
};

TEST(SimulatedInputTest, JournalsEachCallAndMovesTheCursor) {
  SimulatedInput desktop(R"({"cursor": {"x": 5, "y": 6}})");
  EXPECT_EQ(desktop.api().cursor_position(), (CursorPoint{5, 6}));
  EXPECT_EQ(desktop.send(mouse(65535, 65535, 0, kAbsoluteMove)), 1U);
  EXPECT_EQ(desktop.api().cursor_position(), (CursorPoint{1919, 1079}));
  EXPECT_EQ(desktop.send(mouse(34151, 60737, 0, kAbsoluteMove)), 1U);
  EXPECT_EQ(desktop.api().cursor_position(), (CursorPoint{1000, 1000}));
  // Neither a wheel nor a key moves the cursor.
  EXPECT_EQ(desktop.send(mouse(0, 0, -240, kMouseWheel)), 1U);
  EXPECT_EQ(desktop.send(key(0x25, 0xE04B, kKeyExtended)), 1U);
  EXPECT_EQ(desktop.api().cursor_position(), (CursorPoint{1000, 1000}));
  const std::string prefix = R"({"call":"SendInput","type":)";
  const std::string suffix = R"(,"time":0,"extraInfo":100,"inserted":1})";
  EXPECT_EQ(desktop.journal_lines(),
            (std::vector<std::string>{
                prefix + R"("mouse","dx":65535,"dy":65535,"mouseData":0,"flags":32769)" + suffix,
                prefix + R"("mouse","dx":34151,"dy":60737,"mouseData":0,"flags":32769)" + suffix,
                prefix + R"("mouse","dx":0,"dy":0,"mouseData":-240,"flags":2048)" + suffix,
                prefix + R"("keyboard","vk":37,"scan":57419,"flags":1)" + suffix}));
}

TEST(SimulatedInputTest, SendInputFailsAfterTheDescribedCount) {
  SimulatedInput desktop(R"({"sendInputFailsAfter": 1})");
  EXPECT_EQ(desktop.send(mouse(0, 0, 0, kMouseLeftDown)), 1U);
  EXPECT_EQ(desktop.send(mouse(0, 0, 0, kMouseLeftUp)), 0U);
  EXPECT_EQ(desktop.journal_lines().at(1),
            R"({"call":"SendInput","type":"mouse","dx":0,"dy":0,"mouseData":0,"flags":4,)"
            R"("time":0,"extraInfo":100,"inserted":0})");
}

TEST(SimulatedInputTest, NoPrimaryMonitorMeansNoScreenAndCursorCanFail) {
  SimulatedInput desktop(R"({"monitors": [], "cursorFails": true})");
  EXPECT_EQ(desktop.api().screen_metric(ScreenMetric::kHeight), 0);
  EXPECT_FALSE(desktop.api().cursor_position());
}

// The local user's swapped buttons, from the desktop file and as the local user
// changes them; the screen metrics follow a display change.
TEST(SimulatedInputTest, MetricsFollowTheDesktopState) {
  SimulatedInput desktop(
      R"({"swapButtons": true, "displayChanges": [{"monitors": [], "screen": {"cx": 800, "cy": 600}}]})");
  EXPECT_EQ(desktop.api().screen_metric(ScreenMetric::kSwapButton), 1);
  desktop.state().set_swap_buttons(false);
  EXPECT_EQ(desktop.api().screen_metric(ScreenMetric::kSwapButton), 0);
  EXPECT_EQ(desktop.api().screen_metric(ScreenMetric::kWidth), 1920);
  EXPECT_TRUE(desktop.state().change_display());
  EXPECT_EQ(desktop.api().screen_metric(ScreenMetric::kWidth), 800);
  EXPECT_EQ(desktop.api().screen_metric(ScreenMetric::kHeight), 600);
  EXPECT_FALSE(desktop.state().change_display());
  EXPECT_EQ(desktop.api().screen_metric(ScreenMetric::kWidth), 800);
}

TEST(SimulatedInputTest, UsKeyboardLayout) {
  SimulatedInput desktop("{}");
  const struct {
    std::uint16_t vk;
    std::uint32_t scan;
  } cases[] = {{'Q', 0x10},    {'M', 0x32},    {'0', 0x0B},    {0x7B, 0x58}, {0x20, 0x39},
               {0x22, 0xE051}, {0x26, 0xE048}, {0x5B, 0xE05B}, {0x12, 0x38}, {0x2D, 0},
               {0xA4, 0x38},   {0xA5, 0xE038}, {0x5C, 0xE05C}};
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
    const std::int32_t coordinate = normalised(pixel, extent);
    ASSERT_EQ(desktop.send(mouse(coordinate, coordinate, 0, kAbsoluteMove)), 1U);
    EXPECT_EQ(desktop.api().cursor_position(), (CursorPoint{pixel, pixel})) << pixel;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimulatedCursorTest,
                         ::testing::Values(2, 3, 768, 1080, 1366, 1920, 3840, 16384, 65536));

}  // namespace
}  // namespace ombrelin::os::sim
