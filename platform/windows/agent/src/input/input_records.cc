#include "input/input_records.h"

#include <algorithm>
#include <array>
#include <limits>

namespace ombrelin::input {
namespace {

struct ButtonFlags {
  std::uint32_t down;
  std::uint32_t up;
  std::int32_t data;
};

// Indexed by MouseButton.
constexpr std::array<ButtonFlags, 5> kButtonFlags = {{
    {os::kMouseLeftDown, os::kMouseLeftUp, 0},
    {os::kMouseRightDown, os::kMouseRightUp, 0},
    {os::kMouseMiddleDown, os::kMouseMiddleUp, 0},
    {os::kMouseXDown, os::kMouseXUp, os::kXButton1},
    {os::kMouseXDown, os::kMouseXUp, os::kXButton2},
}};

std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

bool is_extended_key(std::uint16_t vk) {
  // Without the flag Windows would take the arrows and the navigation block for
  // the numeric pad's keys, and right Control and Alt for the left ones.
  return (vk >= 0x21 && vk <= 0x28) ||  // PageUp, PageDown, End, Home, arrows
         (vk >= 0x2C && vk <= 0x2E) ||  // PrintScreen, Insert, Delete
         vk == 0x6F ||                  // numeric pad divide
         vk == 0x90 ||                  // NumLock
         vk == 0xA3 || vk == 0xA5;      // right Control, right Alt
}

os::MouseRecord absolute_move_record(std::int32_t dx, std::int32_t dy) {
  return os::MouseRecord{.dx = dx,
                         .dy = dy,
                         .mouse_data = 0,
                         .flags = os::kMouseMove | os::kMouseAbsolute,
                         .time = 0,
                         .extra_info = kInjectedExtraInfo};
}

os::MouseRecord button_record(MouseButton button, bool press) {
  const ButtonFlags& flags = kButtonFlags.at(static_cast<std::size_t>(button));
  return os::MouseRecord{.dx = 0,
                         .dy = 0,
                         .mouse_data = flags.data,
                         .flags = press ? flags.down : flags.up,
                         .time = 0,
                         .extra_info = kInjectedExtraInfo};
}

MouseButton physical_button(RemoteButton button, bool swapped) {
  switch (button) {
    case RemoteButton::kPrimary:
      return swapped ? MouseButton::kRight : MouseButton::kLeft;
    case RemoteButton::kSecondary:
      return swapped ? MouseButton::kLeft : MouseButton::kRight;
    case RemoteButton::kMiddle:
      return MouseButton::kMiddle;
    case RemoteButton::kBack:
      return MouseButton::kBack;
    case RemoteButton::kForward:
      return MouseButton::kForward;
  }
  return MouseButton::kMiddle;
}

os::MouseRecord wheel_record(WheelAxis axis, std::int32_t steps) {
  // A positive vertical wheel delta scrolls up, a positive horizontal one right.
  const std::int64_t delta = std::int64_t{steps} * os::kWheelDelta;
  const bool vertical = axis == WheelAxis::kVertical;
  return os::MouseRecord{.dx = 0,
                         .dy = 0,
                         .mouse_data = saturate(vertical ? -delta : delta),
                         .flags = vertical ? os::kMouseWheel : os::kMouseHorizontalWheel,
                         .time = 0,
                         .extra_info = kInjectedExtraInfo};
}

os::KeyboardRecord key_record(std::uint16_t virtual_key, std::uint32_t scan, bool press) {
  std::uint32_t flags = is_extended_key(virtual_key) ? os::kKeyExtended : 0;
  if (!press) {
    flags |= os::kKeyUp;
  }
  // A WORD field: scan codes fit in 16 bits, the prefix byte included.
  return os::KeyboardRecord{.vk = virtual_key,
                            .scan = static_cast<std::uint16_t>(scan),
                            .flags = flags,
                            .time = 0,
                            .extra_info = kInjectedExtraInfo};
}

}  // namespace ombrelin::input
