#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <variant>

#include "os/os_error.h"

namespace ombrelin::os {

// MOUSEINPUT.dwFlags bits.
inline constexpr std::uint32_t kMouseMove = 0x0001;
inline constexpr std::uint32_t kMouseLeftDown = 0x0002;
inline constexpr std::uint32_t kMouseLeftUp = 0x0004;
inline constexpr std::uint32_t kMouseRightDown = 0x0008;
inline constexpr std::uint32_t kMouseRightUp = 0x0010;
inline constexpr std::uint32_t kMouseMiddleDown = 0x0020;
inline constexpr std::uint32_t kMouseMiddleUp = 0x0040;
inline constexpr std::uint32_t kMouseXDown = 0x0080;
inline constexpr std::uint32_t kMouseXUp = 0x0100;
inline constexpr std::uint32_t kMouseWheel = 0x0800;
inline constexpr std::uint32_t kMouseHorizontalWheel = 0x1000;
inline constexpr std::uint32_t kMouseAbsolute = 0x8000;
// MOUSEINPUT.mouseData of an X button record.
inline constexpr std::int32_t kXButton1 = 1;
inline constexpr std::int32_t kXButton2 = 2;
// One wheel notch (WHEEL_DELTA).
inline constexpr std::int32_t kWheelDelta = 120;
// KEYBDINPUT.dwFlags bits.
inline constexpr std::uint32_t kKeyExtended = 0x0001;
inline constexpr std::uint32_t kKeyUp = 0x0002;

// One INPUT record of type INPUT_MOUSE.
struct MouseRecord {
  std::int32_t dx = 0;
  std::int32_t dy = 0;
  std::int32_t mouse_data = 0;  // a DWORD to Windows; wheel deltas are negative
  std::uint32_t flags = 0;
  std::uint32_t time = 0;
  std::uint64_t extra_info = 0;  // ULONG_PTR
  bool operator==(const MouseRecord&) const = default;
};

// One INPUT record of type INPUT_KEYBOARD.
struct KeyboardRecord {
  std::uint16_t vk = 0;
  std::uint16_t scan = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;
  std::uint64_t extra_info = 0;  // ULONG_PTR
  bool operator==(const KeyboardRecord&) const = default;
};

using InputRecord = std::variant<MouseRecord, KeyboardRecord>;

// GetSystemMetrics indexes.
enum class ScreenMetric : std::int32_t {
  kWidth = 0,        // SM_CXSCREEN
  kHeight = 1,       // SM_CYSCREEN
  kSwapButton = 23,  // SM_SWAPBUTTON: nonzero when the left and right buttons are swapped
};

struct CursorPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const CursorPoint&) const = default;
};

// The raw input calls of Windows, one member per call. Main thread only.
class InputApi {
 public:
  virtual ~InputApi() = default;

  // SendInput: how many of the records Windows inserted into the input stream.
  [[nodiscard]] virtual std::uint32_t send_input(std::span<const InputRecord> records) = 0;
  // MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX, the keyboard layout of the thread
  // that owns the foreground window), the layout looked up at every call: the
  // scan code with 0xE0 or 0xE1 in the high byte for extended keys, 0 when the
  // layout has no such key.
  [[nodiscard]] virtual std::uint32_t scan_code(std::uint16_t vk) = 0;
  // GetSystemMetrics: 0 when Windows cannot tell.
  [[nodiscard]] virtual std::int32_t screen_metric(ScreenMetric metric) = 0;
  // GetCursorPos.
  [[nodiscard]] virtual std::expected<CursorPoint, OsError> cursor_position() = 0;
};

}  // namespace ombrelin::os
