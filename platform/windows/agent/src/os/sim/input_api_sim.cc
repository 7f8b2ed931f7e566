#include "os/sim/input_api_sim.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

#include "os/sim/journal_line.h"

namespace ombrelin::os::sim {
namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
// The absolute coordinate of the screen's last pixel.
constexpr std::int64_t kAbsoluteSpan = 65535;

struct ScanCode {
  std::uint16_t vk;
  std::uint16_t scan;
};

// Set 1 scan codes of the US layout, 0xE0 in the high byte for extended keys.
constexpr auto kUsLayout = std::to_array<ScanCode>({
    {'Q', 0x10},    {'W', 0x11},    {'E', 0x12},    {'R', 0x13},    {'T', 0x14},    {'Y', 0x15},
    {'U', 0x16},    {'I', 0x17},    {'O', 0x18},    {'P', 0x19},    {'A', 0x1E},    {'S', 0x1F},
    {'D', 0x20},    {'F', 0x21},    {'G', 0x22},    {'H', 0x23},    {'J', 0x24},    {'K', 0x25},
    {'L', 0x26},    {'Z', 0x2C},    {'X', 0x2D},    {'C', 0x2E},    {'V', 0x2F},    {'B', 0x30},
    {'N', 0x31},    {'M', 0x32},    {'1', 0x02},    {'2', 0x03},    {'3', 0x04},    {'4', 0x05},
    {'5', 0x06},    {'6', 0x07},    {'7', 0x08},    {'8', 0x09},    {'9', 0x0A},    {'0', 0x0B},
    {0x70, 0x3B},   {0x71, 0x3C},   {0x72, 0x3D},   {0x73, 0x3E},   {0x74, 0x3F},   {0x75, 0x40},
    {0x76, 0x41},   {0x77, 0x42},   {0x78, 0x43},   {0x79, 0x44},   {0x7A, 0x57},   {0x7B, 0x58},
    {0x0D, 0x1C},   {0x1B, 0x01},   {0x08, 0x0E},   {0x09, 0x0F},   {0x20, 0x39},   {0x24, 0xE047},
    {0x21, 0xE049}, {0x2E, 0xE053}, {0x23, 0xE04F}, {0x22, 0xE051}, {0x27, 0xE04D}, {0x25, 0xE04B},
    {0x28, 0xE050}, {0x26, 0xE048}, {0xA2, 0x1D},   {0xA3, 0xE01D}, {0xA0, 0x2A},   {0xA1, 0x36},
    {0x12, 0x38},   {0x5B, 0xE05B}, {0xA4, 0x38},   {0xA5, 0xE038}, {0x5C, 0xE05C},
});

// The pixel an absolute coordinate stands for on a screen `extent` pixels wide:
// the inverse of the agent's normalisation, rounded half away from zero.
std::int32_t pixel_for(std::int32_t coordinate, std::int32_t extent) {
  const std::int64_t span = std::max<std::int64_t>(std::int64_t{extent} - 1, 0);
  const std::int64_t scaled = std::int64_t{coordinate} * span;
  const std::int64_t half = kAbsoluteSpan / 2;
  const std::int64_t pixel = (scaled + (scaled < 0 ? -half : half)) / kAbsoluteSpan;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      pixel, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

class SimulatedInputApi final : public InputApi {
 public:
  SimulatedInputApi(const DesktopDescription& description, DesktopState& state, Journal& journal)
      : journal_(journal),
        state_(state),
        cursor_fails_(description.cursor_fails),
        fails_after_(description.send_input_fails_after) {}

  // All records or none are inserted; none while the secure desktop is in
  // front. The agent sends one record per call, so the journal's one line per
  // record is one line per call.
  std::uint32_t send_input(std::span<const InputRecord> records) override {
    const bool blocked =
        records.empty() || (fails_after_ && successes_ >= *fails_after_) || state_.secure_desktop();
    const auto inserted = blocked ? 0 : static_cast<std::uint32_t>(records.size());
    if (!blocked) {
      ++successes_;
      std::ranges::for_each(records, [this](const InputRecord& record) {
        move_cursor(record);
        pass_to_hooks(record);
      });
    }
    for (const InputRecord& record : records) {
      journal_.record(std::visit([](const auto& typed) { return line_for(typed); }, record)
                          .number("inserted", inserted)
                          .finish());
    }
    return inserted;
  }

  std::uint32_t scan_code(std::uint16_t vk) override {
    const auto found = std::ranges::find(kUsLayout, vk, &ScanCode::vk);
    return found == kUsLayout.end() ? 0 : found->scan;
  }

  std::int32_t screen_metric(ScreenMetric metric) override {
    switch (metric) {
      case ScreenMetric::kWidth:
        return state_.screen().cx;
      case ScreenMetric::kHeight:
        return state_.screen().cy;
      case ScreenMetric::kSwapButton:
        return state_.swap_buttons() ? 1 : 0;
    }
    return 0;
  }

  std::expected<CursorPoint, OsError> cursor_position() override {
    if (cursor_fails_) {
      return std::unexpected(OsError{kErrorAccessDenied, "Access is denied."});
    }
    return state_.cursor();
  }

 private:
  static JournalLine line_for(const MouseRecord& record) {
    JournalLine line("SendInput");
    line.text("type", "mouse")
        .number("dx", record.dx)
        .number("dy", record.dy)
        .number("mouseData", record.mouse_data)
        .number("flags", record.flags)
        .number("time", record.time)
        .number("extraInfo", static_cast<std::int64_t>(record.extra_info));
    return line;
  }

  static JournalLine line_for(const KeyboardRecord& record) {
    JournalLine line("SendInput");
    line.text("type", "keyboard")
        .number("vk", record.vk)
        .number("scan", record.scan)
        .number("flags", record.flags)
        .number("time", record.time)
        .number("extraInfo", static_cast<std::int64_t>(record.extra_info));
    return line;
  }

  void move_cursor(const InputRecord& record) {
    const auto* mouse = std::get_if<MouseRecord>(&record);
    constexpr std::uint32_t kAbsoluteMove = kMouseMove | kMouseAbsolute;
    if (mouse != nullptr && (mouse->flags & kAbsoluteMove) == kAbsoluteMove) {
      const ScreenSize screen = state_.screen();
      state_.set_cursor(
          CursorPoint{pixel_for(mouse->dx, screen.cx), pixel_for(mouse->dy, screen.cy)});
    }
  }

  // What the low-level hooks see of an inserted record: injected input, the
  // buttons as the physical ones the record names.
  void pass_to_hooks(const InputRecord& record) {
    if (const auto* key = std::get_if<KeyboardRecord>(&record)) {
      const bool up = (key->flags & kKeyUp) != 0;
      state_.push_injected(
          key_input(up ? LowLevelKind::kKeyRelease : LowLevelKind::kKeyPress, key->vk, true));
      return;
    }
    const auto& mouse = std::get<MouseRecord>(record);
    const CursorPoint point = state_.cursor();
    const auto push = [&](LowLevelKind kind, LowLevelButton button) {
      state_.push_injected(mouse_input(kind, button, point, true));
    };
    if ((mouse.flags & kMouseMove) != 0) {
      push(LowLevelKind::kMove, LowLevelButton::kNone);
    }
    const LowLevelButton x_button =
        mouse.mouse_data == kXButton2 ? LowLevelButton::kX2 : LowLevelButton::kX1;
    const std::array<std::tuple<std::uint32_t, LowLevelKind, LowLevelButton>, 8> transitions{{
        {kMouseLeftDown, LowLevelKind::kButtonPress, LowLevelButton::kLeft},
        {kMouseLeftUp, LowLevelKind::kButtonRelease, LowLevelButton::kLeft},
        {kMouseRightDown, LowLevelKind::kButtonPress, LowLevelButton::kRight},
        {kMouseRightUp, LowLevelKind::kButtonRelease, LowLevelButton::kRight},
        {kMouseMiddleDown, LowLevelKind::kButtonPress, LowLevelButton::kMiddle},
        {kMouseMiddleUp, LowLevelKind::kButtonRelease, LowLevelButton::kMiddle},
        {kMouseXDown, LowLevelKind::kButtonPress, x_button},
        {kMouseXUp, LowLevelKind::kButtonRelease, x_button},
    }};
    for (const auto& [flag, kind, button] : transitions) {
      if ((mouse.flags & flag) != 0) {
        push(kind, button);
      }
    }
    if ((mouse.flags & (kMouseWheel | kMouseHorizontalWheel)) != 0) {
      push(LowLevelKind::kWheel, LowLevelButton::kNone);
    }
  }

  Journal& journal_;
  DesktopState& state_;
  bool cursor_fails_;
  std::optional<std::uint64_t> fails_after_;
  std::uint64_t successes_ = 0;
};

}  // namespace

std::unique_ptr<InputApi> make_simulated_input_api(const DesktopDescription& description,
                                                   DesktopState& state, Journal& journal) {
  return std::make_unique<SimulatedInputApi>(description, state, journal);
}

}  // namespace ombrelin::os::sim
