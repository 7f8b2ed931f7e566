#include "os/win/window_system_win.h"

#include <windows.h>
// After windows.h:
#include <shellscalingapi.h>

#include <array>
#include <chrono>
#include <memory>
#include <string_view>
#include <type_traits>

#include "os/win/text_conversion_win.h"

namespace ombrelin::os::win {
namespace {

static_assert(kWsChild == WS_CHILD && kWsVisible == WS_VISIBLE && kWsCaption == WS_CAPTION &&
              kWsSysMenu == WS_SYSMENU);
static_assert(kWsExTopmost == WS_EX_TOPMOST && kWsExAppWindow == WS_EX_APPWINDOW &&
              kSsNoPrefix == SS_NOPREFIX && kCwUseDefault == CW_USEDEFAULT);
static_assert(kWmDestroy == WM_DESTROY && kWmClose == WM_CLOSE && kWmCommand == WM_COMMAND &&
              kWmHotKey == WM_HOTKEY && kWmApp == WM_APP && kWmDisplayChange == WM_DISPLAYCHANGE);
static_assert(kMbYesNo == MB_YESNO && kMbIconWarning == MB_ICONWARNING &&
              kMbDefButton2 == MB_DEFBUTTON2 && kMbSetForeground == MB_SETFOREGROUND &&
              kMbTopmost == MB_TOPMOST && kIdYes == IDYES && kIdNo == IDNO);
static_assert(kModAlt == MOD_ALT && kModControl == MOD_CONTROL && kModShift == MOD_SHIFT &&
              kModWin == MOD_WIN && kModNoRepeat == MOD_NOREPEAT && kVkF12 == VK_F12);
static_assert(kSwHide == SW_HIDE && kSwShowNoActivate == SW_SHOWNOACTIVATE && kSwShow == SW_SHOW);
static_assert(kSwpNoSize == SWP_NOSIZE && kSwpNoMove == SWP_NOMOVE &&
              kSwpNoZOrder == SWP_NOZORDER && kSwpNoActivate == SWP_NOACTIVATE &&
              kWmSetFont == WM_SETFONT);

constexpr UINT kDefaultDpi = 96;
// The DPI at which the agent gives positions, sizes and text extents.
constexpr int kLayoutDpi = 96;

// Windows take NUL-terminated UTF-16; a text that cannot be converted is shown
// as an empty string rather than not at all.
std::wstring wide(std::string_view text) { return utf8_to_utf16(text).value_or(std::wstring()); }

// The agent declares per-monitor DPI awareness, so window sizes are physical
// pixels: the indicator's layout is given at 96 DPI and scaled here, for the
// primary monitor (where a new top-level window opens) or the parent window.
UINT window_dpi(HWND window) {
  const UINT dpi = GetDpiForWindow(window);
  return dpi == 0 ? kDefaultDpi : dpi;
}

UINT layout_dpi(HWND parent) {
  if (parent != nullptr) {
    return window_dpi(parent);
  }
  UINT dpi_x = kDefaultDpi;
  UINT dpi_y = kDefaultDpi;
  const HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  if (FAILED(GetDpiForMonitor(primary, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y)) || dpi_x == 0) {
    return kDefaultDpi;
  }
  return dpi_x;
}

// The message box this thread shows, and when it closes itself.
struct OpenBox {
  const MessageBoxLimits* limits;
  std::chrono::steady_clock::time_point deadline;
};
thread_local const OpenBox* t_open_box = nullptr;
constexpr UINT kBoxLimitCheckMs = 50;

// Ends the thread's message box (a dialog of class #32770) as No.
BOOL CALLBACK end_box_as_no(HWND window, LPARAM /*unused*/) {
  std::array<wchar_t, 16> class_name{};
  if (GetClassNameW(window, class_name.data(), static_cast<int>(class_name.size())) != 0 &&
      std::wstring_view(class_name.data()) == L"#32770") {
    EndDialog(window, IDNO);
    return FALSE;
  }
  return TRUE;
}

void CALLBACK check_box_limits(HWND /*window*/, UINT /*message*/, UINT_PTR /*timer*/,
                               DWORD /*time*/) {
  const OpenBox* box = t_open_box;
  if (box == nullptr) {
    return;
  }
  const bool given_up = box->limits->given_up && box->limits->given_up();
  if (given_up || std::chrono::steady_clock::now() >= box->deadline) {
    EnumThreadWindows(GetCurrentThreadId(), end_box_as_no, 0);
  }
}

// The listener of the calling thread's low-level hooks. A hook procedure has
// no context of its own; each thread installs at most one pair of hooks.
thread_local LowLevelInputListener* t_input_listener = nullptr;

LRESULT judge_low_level_input(int code, WPARAM wparam, LPARAM lparam, const LowLevelInput& input) {
  LowLevelInputListener* listener = t_input_listener;
  if (code == HC_ACTION && listener != nullptr &&
      listener->on_low_level_input(input) == InputVerdict::kDrop) {
    return 1;  // the event goes no further
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK keyboard_hook(int code, WPARAM wparam, LPARAM lparam) noexcept {
  if (code != HC_ACTION) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  const bool up = wparam == WM_KEYUP || wparam == WM_SYSKEYUP;
  return judge_low_level_input(code, wparam, lparam,
                               key_input(up ? LowLevelKind::kKeyRelease : LowLevelKind::kKeyPress,
                                         event->vkCode, (event->flags & LLKHF_INJECTED) != 0));
}

LRESULT CALLBACK mouse_hook(int code, WPARAM wparam, LPARAM lparam) noexcept {
  if (code != HC_ACTION) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lparam);
  LowLevelInput input =
      mouse_input(LowLevelKind::kMove, LowLevelButton::kNone, CursorPoint{event->pt.x, event->pt.y},
                  (event->flags & LLMHF_INJECTED) != 0);
  const LowLevelButton x_button =
      HIWORD(event->mouseData) == XBUTTON2 ? LowLevelButton::kX2 : LowLevelButton::kX1;
  switch (wparam) {
    case WM_MOUSEMOVE:
      input.kind = LowLevelKind::kMove;
      break;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      input.kind = LowLevelKind::kWheel;
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      input.button = LowLevelButton::kLeft;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      input.button = LowLevelButton::kRight;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      input.button = LowLevelButton::kMiddle;
      break;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP:
      input.button = x_button;
      break;
    default:
      return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  if (input.button != LowLevelButton::kNone) {
    const bool down = wparam == WM_LBUTTONDOWN || wparam == WM_RBUTTONDOWN ||
                      wparam == WM_MBUTTONDOWN || wparam == WM_XBUTTONDOWN;
    input.kind = down ? LowLevelKind::kButtonPress : LowLevelKind::kButtonRelease;
  }
  return judge_low_level_input(code, wparam, lparam, input);
}

struct HookRelease {
  void operator()(HHOOK hook) const noexcept { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRelease>;

std::string narrow(const wchar_t* text) { return utf16_to_utf8(text).value_or(std::string()); }

HWND to_hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle from_hwnd(HWND window) { return reinterpret_cast<WindowHandle>(window); }
HFONT to_hfont(const UniqueFont& font) { return reinterpret_cast<HFONT>(font.get()); }

// A window's device context, released when dropped.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) {
      ReleaseDC(window_, dc_);
    }
  }
  [[nodiscard]] HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A font selected into a device context until the end of the scope.
class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font)
      : dc_(dc), previous_(font == nullptr ? nullptr : SelectObject(dc, font)) {}
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;
  ~SelectedFont() {
    if (previous_ != nullptr) {
      SelectObject(dc_, previous_);
    }
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The class's window procedure: finds the handler given at creation and lets
// it answer, or falls back to the default processing.
LRESULT CALLBACK indicator_window_proc(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* handler = reinterpret_cast<WindowMessageHandler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (handler != nullptr) {
    if (const auto result = handler->handle_message(from_hwnd(window), message, wparam, lparam)) {
      return *result;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class Win32WindowSystem final : public WindowSystem {
 public:
  std::expected<StartedThread, std::error_code> start_thread(
      std::string_view name, std::move_only_function<void()> body) override {
    return os::start_thread(name, std::move(body));
  }

  int message_box(std::string_view text, std::string_view caption, std::uint32_t style,
                  const MessageBoxLimits& limits) override {
    // A thread timer keeps being served by the box's own modal loop; its callback
    // closes the box as No once a limit is reached.
    const OpenBox box{&limits, std::chrono::steady_clock::now() + limits.time_limit};
    t_open_box = &box;
    const UINT_PTR timer = SetTimer(nullptr, 0, kBoxLimitCheckMs, check_box_limits);
    const int result = MessageBoxW(nullptr, wide(text).c_str(), wide(caption).c_str(), style);
    if (timer != 0) {
      KillTimer(nullptr, timer);
    }
    t_open_box = nullptr;
    return result;
  }

  bool load_module_handle() override { return GetModuleHandleW(nullptr) != nullptr; }

  bool load_arrow_cursor() override { return LoadCursorW(nullptr, IDC_ARROW) != nullptr; }

  ClassRegistration register_indicator_class(std::string_view name) override {
    const std::wstring class_name = wide(name);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = indicator_window_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // A system colour as the brush: the system owns it, nothing to delete.
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = class_name.c_str();
    if (RegisterClassW(&window_class) != 0) {
      return ClassRegistration::kRegistered;
    }
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS ? ClassRegistration::kAlreadyRegistered
                                                        : ClassRegistration::kFailed;
  }

  WindowHandle create_window(const WindowSpec& spec, WindowMessageHandler* handler) override {
    // A child's "menu" is its control id.
    const auto menu = spec.parent == 0 ? nullptr : reinterpret_cast<HMENU>(std::uintptr_t{spec.id});
    const int dpi = static_cast<int>(layout_dpi(to_hwnd(spec.parent)));
    const auto scaled = [dpi](int value) {
      return value == CW_USEDEFAULT ? value : MulDiv(value, dpi, 96);
    };
    return from_hwnd(CreateWindowExW(
        spec.ex_style, wide(spec.class_name).c_str(), wide(spec.text).c_str(), spec.style,
        scaled(spec.x), scaled(spec.y), scaled(spec.width), scaled(spec.height),
        to_hwnd(spec.parent), menu, GetModuleHandleW(nullptr), handler));
  }

  bool set_window_text(WindowHandle window, std::string_view text) override {
    return SetWindowTextW(to_hwnd(window), wide(text).c_str()) != 0;
  }

  bool destroy_window(WindowHandle window) override { return DestroyWindow(to_hwnd(window)) != 0; }

  bool show_window(WindowHandle window, int command) override {
    return ShowWindow(to_hwnd(window), command) != 0;
  }

  bool is_window_visible(WindowHandle window) override {
    return IsWindowVisible(to_hwnd(window)) != 0;
  }

  bool set_window_pos(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height, std::uint32_t flags) override {
    const int dpi = static_cast<int>(window_dpi(to_hwnd(window)));
    const auto scaled = [dpi](int value) { return MulDiv(value, dpi, kLayoutDpi); };
    return SetWindowPos(to_hwnd(window), nullptr, scaled(x), scaled(y), scaled(width),
                        scaled(height), flags) != 0;
  }

  std::expected<UniqueFont, OsError> create_message_font(WindowHandle window) override {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                    window_dpi(to_hwnd(window)))) {
      return std::unexpected(last_error("SystemParametersInfoForDpi"));
    }
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    if (font == nullptr) {
      return std::unexpected(last_error("CreateFontIndirectW"));
    }
    return UniqueFont(*this, reinterpret_cast<FontHandle>(font));
  }

  void set_font(WindowHandle control, const UniqueFont& font) override {
    SendMessageW(to_hwnd(control), WM_SETFONT, reinterpret_cast<WPARAM>(to_hfont(font)),
                 MAKELPARAM(TRUE, 0));
  }

  // DrawTextW measuring as a static control draws: words wrapped, tabs
  // expanded, "&" as typed. Pixels at the window's DPI, rounded up to the
  // 96-DPI units of the layout so that scaling back never gives less room.
  std::expected<TextSize, OsError> measure_text(WindowHandle window, const UniqueFont& font,
                                                std::string_view text, std::int32_t width,
                                                TextLayout layout) override {
    const HWND hwnd = to_hwnd(window);
    const int dpi = static_cast<int>(window_dpi(hwnd));
    const WindowDc dc(hwnd);
    if (dc.get() == nullptr) {
      return std::unexpected(last_error("GetDC"));
    }
    const SelectedFont selected(dc.get(), to_hfont(font));
    const std::wstring wide_text = wide(text);
    RECT rect{0, 0, MulDiv(width, dpi, kLayoutDpi), 0};
    const UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS |
                        (layout == TextLayout::kOneLine ? DT_SINGLELINE : DT_WORDBREAK);
    if (DrawTextW(dc.get(), wide_text.c_str(), static_cast<int>(wide_text.size()), &rect, format) ==
        0) {
      return std::unexpected(last_error("DrawTextW"));
    }
    const auto unscaled = [dpi](LONG pixels) {
      return static_cast<std::int32_t>((pixels * kLayoutDpi + dpi - 1) / dpi);
    };
    return TextSize{unscaled(rect.right - rect.left), unscaled(rect.bottom - rect.top)};
  }

  bool register_hot_key(WindowHandle window, int id, std::uint32_t modifiers,
                        std::uint32_t key) override {
    return RegisterHotKey(to_hwnd(window), id, modifiers, key) != 0;
  }

  bool unregister_hot_key(WindowHandle window, int id) override {
    return UnregisterHotKey(to_hwnd(window), id) != 0;
  }

  void post_quit_message(int exit_code) override { PostQuitMessage(exit_code); }

  void run_message_loop() override {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  std::expected<InputWatch, std::error_code> watch_low_level_input(
      LowLevelInputListener& listener) override {
    if (t_input_listener != nullptr) {
      return std::unexpected(std::make_error_code(std::errc::device_or_resource_busy));
    }
    const HINSTANCE module = GetModuleHandleW(nullptr);
    UniqueHook keyboard(SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook, module, 0));
    const DWORD keyboard_error = GetLastError();
    UniqueHook mouse(SetWindowsHookExW(WH_MOUSE_LL, mouse_hook, module, 0));
    if (!keyboard || !mouse) {
      const DWORD error = !keyboard ? keyboard_error : GetLastError();
      return std::unexpected(std::error_code(static_cast<int>(error), std::system_category()));
    }
    t_input_listener = &listener;
    return InputWatch([keyboard = std::move(keyboard), mouse = std::move(mouse)]() mutable {
      keyboard.reset();
      mouse.reset();
      t_input_listener = nullptr;
    });
  }

  WindowHandle top_level_window_at(CursorPoint point) override {
    const HWND window = WindowFromPoint(POINT{point.x, point.y});
    return window == nullptr ? 0 : from_hwnd(GetAncestor(window, GA_ROOT));
  }

  WindowHandle foreground_window() override { return from_hwnd(GetForegroundWindow()); }

  WindowIdentity identify_window(WindowHandle window) override {
    // Read from the window's own record, without a message to its thread: the
    // caller may be a hook that must answer at once.
    std::array<wchar_t, 256> class_name{};
    std::array<wchar_t, 256> text{};
    if (GetClassNameW(to_hwnd(window), class_name.data(), static_cast<int>(class_name.size())) ==
        0) {
      return {};
    }
    InternalGetWindowText(to_hwnd(window), text.data(), static_cast<int>(text.size()));
    return WindowIdentity{narrow(class_name.data()), narrow(text.data())};
  }

  bool post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override {
    return PostMessageW(to_hwnd(window), message, wparam, lparam) != 0;
  }

 protected:
  void delete_font(FontHandle font) noexcept override {
    DeleteObject(reinterpret_cast<HGDIOBJ>(font));
  }
};

}  // namespace

std::unique_ptr<WindowSystem> make_win32_window_system() {
  return std::make_unique<Win32WindowSystem>();
}

}  // namespace ombrelin::os::win
