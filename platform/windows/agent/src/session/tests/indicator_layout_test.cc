#include "session/indicator_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/tests/fake_window_system.h"

namespace ombrelin::session {
namespace {

using testing::FakeWindowSystem;

constexpr std::string_view kLead = "ACTIVE \u2014 requester: ";
constexpr std::string_view kEllipsis = "\u2026";
constexpr std::string_view kExpires = "2026-12-08 14:32:05 (UTC+01:00)";
constexpr std::string_view kAllGrants =
    "VIEW_SCREEN, RECEIVE_AUDIO, SEND_POINTER, SEND_KEYBOARD, SEND_TOUCH, SEND_PEN, "
    "READ_CLIPBOARD, WRITE_CLIPBOARD, SEND_FILE, RECEIVE_FILE, CREATE_VIRTUAL_DISPLAY, "
    "SWITCH_MONITOR, REQUEST_REBOOT, LOCAL_RECORDING, REVERSE_SHARE";

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find("\r\n", start);
    lines.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) {
      return lines;
    }
    start = end + 2;
  }
}

std::string repeated(std::string_view piece, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += piece;
  }
  return text;
}

// Every character as wide as `character_width`, lines 16 high, broken at any
// character (the fake window system's font).
class Layout : public ::testing::Test {
 protected:
  std::expected<IndicatorLayout, os::OsError> lay_out(std::string_view name,
                                                      std::string_view grants = "VIEW_SCREEN") {
    return lay_out_indicator(name, grants, kExpires, measure_);
  }
  void set_character_width(std::int32_t width) { font_.character_width = width; }
  [[nodiscard]] std::int32_t width_of(std::string_view text) {
    return font_.measure_text(0, {}, text, 0, os::TextLayout::kOneLine)->width;
  }

  FakeWindowSystem font_;
  MeasureText measure_ = [this](std::string_view text, std::int32_t width, os::TextLayout how) {
    return font_.measure_text(0, {}, text, width, how);
  };
};

TEST_F(Layout, AShortLabelKeepsTheDesign) {
  const auto layout = lay_out("AT&T Support");
  ASSERT_TRUE(layout.has_value());
  const IndicatorLayout design = design_layout(layout->label);
  EXPECT_EQ(layout->label, format_indicator_label("AT&T Support", "VIEW_SCREEN", kExpires));
  EXPECT_EQ(layout->window, kDesignWindowSize);
  EXPECT_EQ(layout->label_box, (ControlBox{20, 20, 590, 92}));
  EXPECT_EQ(layout->status_box, design.status_box);
  EXPECT_EQ(layout->pause_box, design.pause_box);
  EXPECT_EQ(layout->stop_box, design.stop_box);
}

// The label is 590 wide: 84 characters of 7 fit one line, the lead takes 20.
struct NameCase {
  std::string test_name;
  std::int32_t character_width;
  std::string name;
  std::string shown;  // the name as the first line shows it
  bool fits = true;   // false: not even the ellipsis fits after the lead
};

void PrintTo(const NameCase& test, std::ostream* out) { *out << test.test_name; }

class RequesterNameLine : public Layout, public ::testing::WithParamInterface<NameCase> {};

TEST_P(RequesterNameLine, FitsItsLine) {
  set_character_width(GetParam().character_width);
  const auto layout = lay_out(GetParam().name);
  ASSERT_TRUE(layout.has_value());
  const std::vector<std::string> lines = lines_of(layout->label);
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[0], std::string(kLead) + GetParam().shown);
  if (GetParam().fits) {
    EXPECT_LE(width_of(lines[0]), layout->label_box.width);
  }
  EXPECT_EQ(lines[1], "Grants: VIEW_SCREEN");
  EXPECT_EQ(lines[2], "Expires: " + std::string(kExpires));
  EXPECT_EQ(lines[3], "Emergency Stop: Ctrl+Alt+Shift+F12");
}

INSTANTIATE_TEST_SUITE_P(
    Names, RequesterNameLine,
    ::testing::Values(
        NameCase{"Short", 7, " Field Support ", " Field Support "},
        NameCase{"ExactlyItsLine", 7, repeated("w", 64), repeated("w", 64)},
        NameCase{"OneTooMany", 7, repeated("w", 65), repeated("w", 63) + std::string(kEllipsis)},
        NameCase{"LongestWithoutSpaces", 7, repeated("w", 128),
                 repeated("w", 63) + std::string(kEllipsis)},
        NameCase{"LongWithSpaces", 7, repeated("Ann Lee ", 16),
                 repeated("Ann Lee ", 7) + "Ann Lee" + std::string(kEllipsis)},
        // Cut between characters, never inside one: 59 characters of 10 fit.
        NameCase{"MultiByteCharacters", 10, repeated("\u540d", 42),
                 repeated("\u540d", 38) + std::string(kEllipsis)},
        NameCase{"NoRoomForAnyOfIt", 40, "Field Support", std::string(kEllipsis), false}),
    [](const auto& test) { return test.param.test_name; });

TEST_F(Layout, ALabelTallerThanTheDesignMovesTheControlsDown) {
  const auto layout = lay_out(repeated("w", 128), kAllGrants);
  ASSERT_TRUE(layout.has_value());
  // "Grants: " and the fifteen names, 231 characters, take three lines of 84.
  constexpr std::int32_t kTaller = 6 * 16 - 92;
  const IndicatorLayout design = design_layout({});
  EXPECT_EQ(lines_of(layout->label)[1], "Grants: " + std::string(kAllGrants));
  EXPECT_EQ(layout->label_box, (ControlBox{20, 20, 590, 92 + kTaller}));
  EXPECT_EQ(layout->window, (os::TextSize{640, 230 + kTaller}));
  for (const auto& [moved, designed] : {std::pair{layout->status_box, design.status_box},
                                        std::pair{layout->pause_box, design.pause_box},
                                        std::pair{layout->stop_box, design.stop_box}}) {
    EXPECT_EQ(moved,
              (ControlBox{designed.x, designed.y + kTaller, designed.width, designed.height}));
  }
}

TEST_F(Layout, AWordWiderThanTheLabelWidensIt) {
  MeasureText wide_word = [this](std::string_view text, std::int32_t width, os::TextLayout how) {
    auto size = font_.measure_text(0, {}, text, width, how);
    if (how == os::TextLayout::kWordWrapped) {
      size->width = 700;  // as DrawTextW reports a word it could not break
    }
    return size;
  };
  const auto layout = lay_out_indicator("Field Support", "VIEW_SCREEN", kExpires, wide_word);
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->label_box, (ControlBox{20, 20, 700, 92}));
  EXPECT_EQ(layout->window, (os::TextSize{750, 230}));
}

TEST_F(Layout, ATextThatCannotBeMeasuredHasNoLayout) {
  for (const os::TextLayout failing : {os::TextLayout::kOneLine, os::TextLayout::kWordWrapped}) {
    MeasureText broken = [&](std::string_view text, std::int32_t width,
                             os::TextLayout how) -> std::expected<os::TextSize, os::OsError> {
      if (how == failing) {
        return std::unexpected(os::OsError{8, "DrawTextW"});
      }
      return font_.measure_text(0, {}, text, width, how);
    };
    EXPECT_FALSE(lay_out_indicator(repeated("w", 128), "VIEW_SCREEN", kExpires, broken))
        << static_cast<int>(failing);
  }
}

TEST(IndicatorLabel, ShowsRequesterGrantsExpiryAndTheShortcut) {
  EXPECT_EQ(format_indicator_label("  Ann ", "VIEW_SCREEN, SEND_POINTER", kExpires),
            "ACTIVE \u2014 requester:   Ann \r\n"
            "Grants: VIEW_SCREEN, SEND_POINTER\r\n"
            "Expires: 2026-12-08 14:32:05 (UTC+01:00)\r\n"
            "Emergency Stop: Ctrl+Alt+Shift+F12");
}

}  // namespace
}  // namespace ombrelin::session
