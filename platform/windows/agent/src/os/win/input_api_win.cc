// The input calls of user32, translated one to one.

#include "os/win/input_api_win.h"

#include <windows.h>

#include <vector>

#include "os/win/system_message_win.h"

namespace ombrelin::os::win {
namespace {

static_assert(sizeof(void*) != 8 || sizeof(INPUT) == 40, "SendInput takes 40-byte records on x64");
static_assert(kMouseMove == MOUSEEVENTF_MOVE && kMouseAbsolute == MOUSEEVENTF_ABSOLUTE);
static_assert(kMouseLeftDown == MOUSEEVENTF_LEFTDOWN && kMouseLeftUp == MOUSEEVENTF_LEFTUP);
static_assert(kMouseRightDown == MOUSEEVENTF_RIGHTDOWN && kMouseRightUp == MOUSEEVENTF_RIGHTUP);
static_assert(kMouseMiddleDown == MOUSEEVENTF_MIDDLEDOWN && kMouseMiddleUp == MOUSEEVENTF_MIDDLEUP);
static_assert(kMouseXDown == MOUSEEVENTF_XDOWN && kMouseXUp == MOUSEEVENTF_XUP);
static_assert(kMouseWheel == MOUSEEVENTF_WHEEL && kMouseHorizontalWheel == MOUSEEVENTF_HWHEEL);
static_assert(kXButton1 == XBUTTON1 && kXButton2 == XBUTTON2 && kWheelDelta == WHEEL_DELTA);
static_assert(kKeyExtended == KEYEVENTF_EXTENDEDKEY && kKeyUp == KEYEVENTF_KEYUP);
static_assert(static_cast<int>(ScreenMetric::kWidth) == SM_CXSCREEN &&
              static_cast<int>(ScreenMetric::kHeight) == SM_CYSCREEN &&
              static_cast<int>(ScreenMetric::kSwapButton) == SM_SWAPBUTTON);

INPUT to_native(const MouseRecord& record) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = record.dx;
  input.mi.dy = record.dy;
  // Negative wheel deltas travel as their two's complement.
  input.mi.mouseData = static_cast<DWORD>(record.mouse_data);
  input.mi.dwFlags = record.flags;
  input.mi.time = record.time;
  input.mi.dwExtraInfo = static_cast<ULONG_PTR>(record.extra_info);
  return input;
}

INPUT to_native(const KeyboardRecord& record) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = record.vk;
  input.ki.wScan = record.scan;
  input.ki.dwFlags = record.flags;
  input.ki.time = record.time;
  input.ki.dwExtraInfo = static_cast<ULONG_PTR>(record.extra_info);
  return input;
}

class Win32InputApi final : public InputApi {
 public:
  std::uint32_t send_input(std::span<const InputRecord> records) override {
    std::vector<INPUT> inputs;
    inputs.reserve(records.size());
    for (const InputRecord& record : records) {
      inputs.push_back(std::visit([](const auto& typed) { return to_native(typed); }, record));
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  }

  // The user may switch layouts at any time, and each thread has its own, so
  // the foreground window's layout is looked up for every key.
  std::uint32_t scan_code(std::uint16_t vk) override {
    const DWORD thread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    return MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX, GetKeyboardLayout(thread));
  }

  std::int32_t screen_metric(ScreenMetric metric) override {
    return GetSystemMetrics(static_cast<int>(metric));
  }

  std::expected<CursorPoint, OsError> cursor_position() override {
    POINT point{};
    if (!GetCursorPos(&point)) {
      const auto code = static_cast<std::uint32_t>(GetLastError());
      return std::unexpected(OsError{code, system_message(code)});
    }
    return CursorPoint{point.x, point.y};
  }
};

}  // namespace

std::unique_ptr<InputApi> make_win32_input_api() { return std::make_unique<Win32InputApi>(); }

}  // namespace ombrelin::os::win
