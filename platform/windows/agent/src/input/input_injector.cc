#include "input/input_injector.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

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

// Keys that sit on the E0-prefixed part of the keyboard: without the flag,
// Windows would take the arrows and the navigation block for the numeric pad's
// keys, and right Control for left.
bool is_extended_key(std::uint16_t vk) {
  return (vk >= 0x21 && vk <= 0x28) ||  // PageUp, PageDown, End, Home, arrows
         (vk >= 0x2C && vk <= 0x2E) ||  // PrintScreen, Insert, Delete
         vk == 0x6F ||                  // numeric pad divide
         vk == 0x90 ||                  // NumLock
         vk == 0xA3 || vk == 0xA5;      // right Control, right Alt
}

template <typename T>
void add_once(std::vector<T>& list, T value) {
  if (std::ranges::find(list, value) == list.end()) {
    list.push_back(value);
  }
}

std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::string_view injector_message(InjectorError error) {
  switch (error) {
    case InjectorError::kNotAllSent:
      return "not all input events were sent. they may have been blocked by UIPI";
    case InjectorError::kNoScreenSize:
      return "could not get the dimensions of the screen";
    case InjectorError::kNoCursorPosition:
      return "could not get the current mouse location";
  }
  return "not all input events were sent. they may have been blocked by UIPI";
}

InputInjector::~InputInjector() {
  for (const std::uint16_t vk : std::exchange(pressed_keys_, {})) {
    (void)key(vk, false);
  }
  for (const MouseButton held : std::exchange(pressed_buttons_, {})) {
    (void)button(held, false);
  }
}

std::expected<void, InjectorError> InputInjector::move_to(PixelPoint pixel) {
  // Read at every move: the resolution may change during a session.
  const auto dx = normalise_absolute(pixel.x, api_.screen_metric(os::ScreenMetric::kWidth));
  const auto dy = normalise_absolute(pixel.y, api_.screen_metric(os::ScreenMetric::kHeight));
  if (!dx || !dy) {
    return std::unexpected(InjectorError::kNoScreenSize);
  }
  return send(os::MouseRecord{.dx = *dx,
                              .dy = *dy,
                              .mouse_data = 0,
                              .flags = os::kMouseMove | os::kMouseAbsolute,
                              .time = 0,
                              .extra_info = kInjectedExtraInfo});
}

// Sent as an absolute move, so that mouse acceleration does not scale the delta.
std::expected<void, InjectorError> InputInjector::move_by(std::int32_t dx, std::int32_t dy) {
  const auto cursor = api_.cursor_position();
  if (!cursor) {
    return std::unexpected(InjectorError::kNoCursorPosition);
  }
  return move_to(PixelPoint{add_saturated(cursor->x, dx), add_saturated(cursor->y, dy)});
}

std::expected<void, InjectorError> InputInjector::button(MouseButton button, bool press) {
  const ButtonFlags& flags = kButtonFlags.at(static_cast<std::size_t>(button));
  auto sent = send(os::MouseRecord{.dx = 0,
                                   .dy = 0,
                                   .mouse_data = flags.data,
                                   .flags = press ? flags.down : flags.up,
                                   .time = 0,
                                   .extra_info = kInjectedExtraInfo});
  if (sent) {
    if (press) {
      add_once(pressed_buttons_, button);
    } else {
      std::erase(pressed_buttons_, button);
    }
  }
  return sent;
}

std::expected<void, InjectorError> InputInjector::wheel(WheelAxis axis, std::int32_t steps) {
  // A positive vertical wheel delta scrolls up, a positive horizontal one right.
  const std::int64_t delta = std::int64_t{steps} * os::kWheelDelta;
  const bool vertical = axis == WheelAxis::kVertical;
  return send(os::MouseRecord{.dx = 0,
                              .dy = 0,
                              .mouse_data = saturate(vertical ? -delta : delta),
                              .flags = vertical ? os::kMouseWheel : os::kMouseHorizontalWheel,
                              .time = 0,
                              .extra_info = kInjectedExtraInfo});
}

std::expected<void, InjectorError> InputInjector::key(std::uint16_t virtual_key, bool press) {
  std::uint32_t flags = is_extended_key(virtual_key) ? os::kKeyExtended : 0;
  if (!press) {
    flags |= os::kKeyUp;
  }
  // WORD field: scan codes fit in 16 bits, the prefix byte included.
  auto sent =
      send(os::KeyboardRecord{.vk = virtual_key,
                              .scan = static_cast<std::uint16_t>(api_.scan_code(virtual_key)),
                              .flags = flags,
                              .time = 0,
                              .extra_info = kInjectedExtraInfo});
  if (sent) {
    if (press) {
      add_once(pressed_keys_, virtual_key);
    } else {
      std::erase(pressed_keys_, virtual_key);
    }
  }
  return sent;
}

std::expected<void, InjectorError> InputInjector::send(const os::InputRecord& record) {
  if (api_.send_input(std::span(&record, 1)) != 1) {
    return std::unexpected(InjectorError::kNotAllSent);
  }
  return {};
}

}  // namespace ombrelin::input
