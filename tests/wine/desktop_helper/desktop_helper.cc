// ombrelin-desktop-helper.exe: plays the local user at the Windows desktop for
// the Wine tests. One verb per run; every result is one JSON line on standard
// output (ASCII only: other characters are written as \u escapes), and the
// exit status is 0 when the verb did what it was asked, 1 when it could not
// (the line then has an "error" member), 2 for a bad command line.
//
//   consent-text               the consent box: caption, message, buttons
//   consent-answer yes|no      presses Yes or No in the consent box
//   indicator-texts            the indicator window: caption, styles, controls
//   indicator-layout           the indicator as laid out on the screen: its window,
//                              client area and controls in screen coordinates,
//                              and what each control's text needs in the
//                              system's message font at the window's DPI
//   click-pause | click-stop   presses the indicator's Pause or Stop button
//   close-indicator            sends WM_CLOSE to the indicator
//   close-box                  what the caption's close box does: SC_CLOSE
//   press-hotkey               types Ctrl+Alt+Shift+F12 with SendInput
//   wait-gone consent|indicator   waits until that window no longer exists
//   cursor                     the cursor position and the screen size
//   displays                   the monitors as Windows reports them
//   hold-hotkey                holds Ctrl+Alt+Shift+F12 until standard input ends
//   hold-file MODE PATH        holds the file at PATH (ASCII) open until standard
//                              input ends, as another program would: MODE write or
//                              delete opens it for that and shares everything,
//                              deny-read opens it for writing and shares all but reading
//   held-input                 every key and mouse button that is down
//   release-input              lets go of all of them
//   edit-window                a window with two edit controls, the first one
//                              focused; on each "text" line of standard input,
//                              and when it ends, prints their texts
//   run-hidden PROGRAM [ARGUMENT...]
//                              runs PROGRAM as a browser starts a native host
//                              (show state SW_HIDE in its start-up information),
//                              on the helper's own standard handles, and ends
//                              with its exit status; prints nothing itself
//
// Verbs that look for a window wait for it up to --wait-ms=N (default 10000).
//
// The helper never uses GetWindowTextW on another program's controls: Windows
// answers it from the caller's side with an empty text for windows without a
// caption. WM_GETTEXT is marshalled to the owning thread instead.

#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::wstring_view kConsentCaption = L"Ombrelin Revozad \u2014 Local consent required";
constexpr std::wstring_view kIndicatorClass = L"OmbrelinConnectVisibleIndicator";
constexpr int kPauseButtonId = 1001;
constexpr int kStopButtonId = 1002;
constexpr UINT kEmergencyModifiers = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_NOREPEAT;
// A cross-process message that gets no answer within this time counts as failed.
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPollMs = 20;

// Owns one kernel handle.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() {
    if (handle_ != nullptr) {
      CloseHandle(handle_);
    }
  }
  [[nodiscard]] HANDLE get() const noexcept { return handle_; }

 private:
  HANDLE handle_;
};

// One JSON object, written as one line.
class JsonLine {
 public:
  JsonLine& add(std::string_view name, std::wstring_view value) {
    key(name);
    text_ += quoted(value);
    return *this;
  }
  JsonLine& add(std::string_view name, std::string_view value) {
    key(name);
    text_ += '"';
    text_ += value;  // ASCII names and words only
    text_ += '"';
    return *this;
  }
  JsonLine& add(std::string_view name, const char* value) {
    return add(name, std::string_view(value));
  }
  JsonLine& add(std::string_view name, long long value) {
    key(name);
    text_ += std::to_string(value);
    return *this;
  }
  JsonLine& add(std::string_view name, int value) {
    return add(name, static_cast<long long>(value));
  }
  JsonLine& add(std::string_view name, unsigned long value) {
    return add(name, static_cast<long long>(value));
  }
  JsonLine& add(std::string_view name, bool value) {
    key(name);
    text_ += value ? "true" : "false";
    return *this;
  }
  // A member whose value is already JSON.
  JsonLine& add_raw(std::string_view name, std::string_view json) {
    key(name);
    text_ += json;
    return *this;
  }

  // A JSON string of ASCII characters.
  static std::string quoted(std::wstring_view value) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const wchar_t unit : value) {
      const auto code = static_cast<unsigned>(unit);
      if (code == '"' || code == '\\') {
        out += '\\';
        out += static_cast<char>(code);
      } else if (code >= 0x20 && code < 0x7f) {
        out += static_cast<char>(code);
      } else {
        // Control characters and everything beyond ASCII, surrogates one by one.
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) {
          out += kHex[(code >> shift) & 0xf];
        }
      }
    }
    out += '"';
    return out;
  }

  [[nodiscard]] std::string json() const { return text_ + "}"; }

  // Writes the line to standard output in one piece.
  void write() const {
    const std::string line = json() + "\n";
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    std::size_t done = 0;
    while (done < line.size()) {
      DWORD written = 0;
      if (!WriteFile(output, line.data() + done, static_cast<DWORD>(line.size() - done), &written,
                     nullptr) ||
          written == 0) {
        return;
      }
      done += written;
    }
  }

 private:
  void key(std::string_view name) {
    text_ += text_.size() == 1 ? "\"" : ",\"";
    text_ += name;
    text_ += "\":";
  }

  std::string text_ = "{";
};

int fail(std::string_view verb, std::string_view error, DWORD code = 0) {
  JsonLine line;
  line.add("verb", verb).add("error", error);
  if (code != 0) {
    line.add("code", code);
  }
  line.write();
  return 1;
}

// The text of a window of any process, through WM_GETTEXT.
std::wstring window_text(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return {};
  }
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                           reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(static_cast<std::size_t>(copied), text.size()));
  return text;
}

std::wstring class_name(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

struct Control {
  std::wstring class_name;
  int id;
  std::wstring text;
  RECT rect;  // in the parent's client coordinates
  LONG_PTR style;
};

BOOL CALLBACK collect_child(HWND child, LPARAM data) noexcept {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
  return TRUE;
}

// The direct children of a window, in the order Windows lists them.
std::vector<Control> controls_of(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, &collect_child, reinterpret_cast<LPARAM>(&children));
  std::vector<Control> controls;
  for (HWND child : children) {
    if (GetParent(child) != parent) {
      continue;
    }
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    controls.push_back({class_name(child), GetDlgCtrlID(child), window_text(child), rect,
                        GetWindowLongPtrW(child, GWL_STYLE)});
  }
  return controls;
}

bool is_button(const Control& control) {
  return _wcsicmp(control.class_name.c_str(), L"Button") == 0;
}

std::string controls_json(const std::vector<Control>& controls) {
  std::string json = "[";
  for (const Control& control : controls) {
    if (json.size() > 1) {
      json += ',';
    }
    json += JsonLine()
                .add("class", control.class_name)
                .add("id", control.id)
                .add("text", control.text)
                .add("x", static_cast<long long>(control.rect.left))
                .add("y", static_cast<long long>(control.rect.top))
                .add("width", static_cast<long long>(control.rect.right - control.rect.left))
                .add("height", static_cast<long long>(control.rect.bottom - control.rect.top))
                .add("visible", (control.style & WS_VISIBLE) != 0)
                .add("defaultButton",
                     is_button(control) && (control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                .json();
  }
  return json + "]";
}

enum class Target { kConsent, kIndicator };

HWND find_target(Target target) {
  return target == Target::kConsent ? FindWindowW(nullptr, kConsentCaption.data())
                                    : FindWindowW(kIndicatorClass.data(), nullptr);
}

const char* target_name(Target target) {
  return target == Target::kConsent ? "consent box" : "indicator window";
}

// Polls for the window until it exists and is visible, or the wait ends.
HWND wait_for(Target target, DWORD wait_ms) {
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  for (;;) {
    const HWND window = find_target(target);
    if (window != nullptr && IsWindowVisible(window)) {
      return window;
    }
    if (GetTickCount64() >= deadline) {
      return nullptr;
    }
    Sleep(kPollMs);
  }
}

bool wait_gone(Target target, DWORD wait_ms) {
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  while (find_target(target) != nullptr) {
    if (GetTickCount64() >= deadline) {
      return false;
    }
    Sleep(kPollMs);
  }
  return true;
}

std::string window_json(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  POINT client{0, 0};
  ClientToScreen(window, &client);
  const auto ex_style = static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  return JsonLine()
      .add("class", class_name(window))
      .add("caption", window_text(window))
      .add("style", static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_STYLE)))
      .add("exStyle", ex_style)
      .add("topmost", (ex_style & WS_EX_TOPMOST) != 0)
      .add("foreground", GetForegroundWindow() == window)
      .add("left", static_cast<long long>(rect.left))
      .add("top", static_cast<long long>(rect.top))
      .add("width", static_cast<long long>(rect.right - rect.left))
      .add("height", static_cast<long long>(rect.bottom - rect.top))
      .add("clientLeft", static_cast<long long>(client.x))
      .add("clientTop", static_cast<long long>(client.y))
      .add_raw("controls", controls_json(controls_of(window)))
      .json();
}

int describe(std::string_view verb, Target target, DWORD wait_ms) {
  const HWND window = wait_for(target, wait_ms);
  if (window == nullptr) {
    return fail(verb, std::string("no ") + target_name(target));
  }
  JsonLine line;
  line.add("verb", verb).add_raw("window", window_json(window));
  if (target == Target::kConsent) {
    // The message is the one static control with text (the icon has none).
    for (const Control& control : controls_of(window)) {
      if (_wcsicmp(control.class_name.c_str(), L"Static") == 0 && !control.text.empty()) {
        line.add("text", control.text);
        break;
      }
    }
  }
  line.write();
  return 0;
}

// Presses a button the way a click does: BM_CLICK makes the button send its
// BN_CLICKED notification to its parent.
int press_button(std::string_view verb, Target target, int id, DWORD wait_ms) {
  const HWND window = wait_for(target, wait_ms);
  if (window == nullptr) {
    return fail(verb, std::string("no ") + target_name(target));
  }
  const HWND button = GetDlgItem(window, id);
  if (button == nullptr) {
    return fail(verb, "no button with that id", static_cast<DWORD>(id));
  }
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored)) {
    return fail(verb, "BM_CLICK got no answer", GetLastError());
  }
  JsonLine().add("verb", verb).add("pressed", id).write();
  return 0;
}

int consent_answer(std::string_view verb, std::string_view answer, DWORD wait_ms) {
  int id = 0;
  if (answer == "yes") {
    id = IDYES;
  } else if (answer == "no") {
    id = IDNO;
  } else {
    return fail(verb, "the answer is yes or no");
  }
  const int status = press_button(verb, Target::kConsent, id, wait_ms);
  if (status != 0) {
    return status;
  }
  if (!wait_gone(Target::kConsent, wait_ms)) {
    return fail(verb, "the consent box stayed open after the answer");
  }
  return 0;
}

int close_indicator(std::string_view verb, UINT message, WPARAM wparam, DWORD wait_ms) {
  const HWND window = wait_for(Target::kIndicator, wait_ms);
  if (window == nullptr) {
    return fail(verb, "no indicator window");
  }
  if (!PostMessageW(window, message, wparam, 0)) {
    return fail(verb, "PostMessageW failed", GetLastError());
  }
  JsonLine().add("verb", verb).add("posted", static_cast<long long>(message)).write();
  return 0;
}

INPUT key_record(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

// Ctrl, Alt and Shift down, F12 down and up, the modifiers up again: the
// sequence a person's fingers make, as one SendInput call. Injected input
// reaches hot keys as typed input does, on Windows and in Wine 8 alike (its
// wineserver matches them whichever window has the focus); one call keeps the
// modifiers from being let go of in between (see the README on Wine and X).
int press_hotkey(std::string_view verb) {
  const WORD modifiers[] = {VK_CONTROL, VK_MENU, VK_SHIFT};
  std::vector<INPUT> inputs;
  for (const WORD vk : modifiers) {
    inputs.push_back(key_record(vk, false));
  }
  inputs.push_back(key_record(VK_F12, false));
  inputs.push_back(key_record(VK_F12, true));
  for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
    inputs.push_back(key_record(*it, true));
  }
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    return fail(verb, "SendInput inserted fewer records than given", GetLastError());
  }
  JsonLine().add("verb", verb).add("sent", static_cast<long long>(sent)).write();
  return 0;
}

int cursor(std::string_view verb) {
  POINT point{};
  if (!GetCursorPos(&point)) {
    return fail(verb, "GetCursorPos failed", GetLastError());
  }
  JsonLine()
      .add("verb", verb)
      .add("x", static_cast<long long>(point.x))
      .add("y", static_cast<long long>(point.y))
      .add("screenWidth", GetSystemMetrics(SM_CXSCREEN))
      .add("screenHeight", GetSystemMetrics(SM_CYSCREEN))
      .add("dpi", static_cast<long long>(GetDpiForSystem()))
      .write();
  return 0;
}

BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) noexcept {
  reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(monitor);
  return TRUE;
}

// The friendly name of the display configuration's target shown on a GDI
// device, or an empty text.
std::wstring friendly_name(const wchar_t* device) {
  UINT32 path_count = 0;
  UINT32 mode_count = 0;
  if (GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &path_count, &mode_count) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::vector<DISPLAYCONFIG_PATH_INFO> paths(path_count);
  std::vector<DISPLAYCONFIG_MODE_INFO> modes(mode_count);
  if (QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(), &mode_count,
                         modes.data(), nullptr) != ERROR_SUCCESS) {
    return {};
  }
  for (UINT32 i = 0; i < path_count; ++i) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof source;
    source.header.adapterId = paths[i].sourceInfo.adapterId;
    source.header.id = paths[i].sourceInfo.id;
    if (DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS ||
        wcscmp(source.viewGdiDeviceName, device) != 0) {
      continue;
    }
    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof target;
    target.header.adapterId = paths[i].sourceInfo.adapterId;
    target.header.id = paths[i].targetInfo.id;
    if (DisplayConfigGetDeviceInfo(&target.header) == ERROR_SUCCESS) {
      return target.monitorFriendlyDeviceName;
    }
  }
  return {};
}

int displays(std::string_view verb) {
  std::vector<HMONITOR> monitors;
  if (!EnumDisplayMonitors(nullptr, nullptr, &collect_monitor,
                           reinterpret_cast<LPARAM>(&monitors))) {
    return fail(verb, "EnumDisplayMonitors failed", GetLastError());
  }
  std::string list = "[";
  for (HMONITOR monitor : monitors) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) {
      return fail(verb, "GetMonitorInfoW failed", GetLastError());
    }
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) {
      return fail(verb, "EnumDisplaySettingsW failed", GetLastError());
    }
    if (list.size() > 1) {
      list += ',';
    }
    list += JsonLine()
                .add("device", std::wstring_view(info.szDevice))
                .add("friendlyName", friendly_name(info.szDevice))
                .add("left", static_cast<long long>(info.rcMonitor.left))
                .add("top", static_cast<long long>(info.rcMonitor.top))
                .add("right", static_cast<long long>(info.rcMonitor.right))
                .add("bottom", static_cast<long long>(info.rcMonitor.bottom))
                .add("modeWidth", mode.dmPelsWidth)
                .add("modeHeight", mode.dmPelsHeight)
                .add("primary", (info.dwFlags & MONITORINFOF_PRIMARY) != 0)
                .json();
  }
  JsonLine().add("verb", verb).add_raw("displays", list + "]").write();
  return 0;
}

// Reads standard input until it ends (or fails), throwing the bytes away.
void wait_for_end_of_input() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD count = 0;
  while (ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count != 0) {
  }
}

// A thread hot key registration, undone at scope exit.
class HotKeyRegistration {
 public:
  explicit HotKeyRegistration(int id)
      : id_(id), held_(RegisterHotKey(nullptr, id, kEmergencyModifiers, VK_F12) != 0) {}
  HotKeyRegistration(const HotKeyRegistration&) = delete;
  HotKeyRegistration& operator=(const HotKeyRegistration&) = delete;
  ~HotKeyRegistration() {
    if (held_) {
      UnregisterHotKey(nullptr, id_);
    }
  }
  [[nodiscard]] bool held() const noexcept { return held_; }

 private:
  int id_;
  bool held_;
};

int hold_hotkey(std::string_view verb) {
  const HotKeyRegistration registration(1);
  if (!registration.held()) {
    return fail(verb, "RegisterHotKey failed", GetLastError());
  }
  JsonLine().add("verb", verb).add("held", true).write();
  wait_for_end_of_input();
  return 0;
}

int hold_file(std::string_view verb, std::string_view mode, std::string_view path) {
  struct Mode {
    std::string_view name;
    DWORD access;
    DWORD share;
  };
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  constexpr Mode kModes[] = {{"write", GENERIC_WRITE, kShareAll},
                             {"delete", DELETE, kShareAll},
                             {"deny-read", GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE}};
  const auto* const found = std::ranges::find(kModes, mode, &Mode::name);
  if (found == std::end(kModes) || path.empty()) {
    return fail(verb, "hold-file takes write, delete or deny-read and a path");
  }
  const std::wstring wide(path.begin(), path.end());
  const HANDLE opened = CreateFileW(wide.c_str(), found->access, found->share, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    return fail(verb, "CreateFileW failed", GetLastError());
  }
  const UniqueHandle file(opened);
  JsonLine().add("verb", verb).add("held", true).write();
  wait_for_end_of_input();
  return 0;
}

// The edit window -------------------------------------------------------------

constexpr UINT kPrintText = WM_APP + 1;
constexpr UINT kInputEnded = WM_APP + 2;
constexpr UINT kUnknownLine = WM_APP + 3;
constexpr int kFirstEditId = 100;
constexpr DWORD kReaderEndLimitMs = 1000;
constexpr std::size_t kEditCount = 2;
// Low on the right, clear of the indicator, which Windows places near the top left.
constexpr int kEditWindowX = 1200;
constexpr int kEditWindowY = 700;
constexpr wchar_t kEditWindowClass[] = L"OmbrelinDesktopHelperEdit";
constexpr DWORD kFocusSettleMs = 300;

struct EditWindowState {
  HWND edits[kEditCount] = {};
};

std::wstring own_window_text(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

// The texts of both edit controls, which of them has the focus (-1: neither),
// and whether the window is the foreground window.
void print_edit_texts(HWND window, const EditWindowState& state, std::string_view event) {
  std::string texts = "[";
  int focused = -1;
  for (std::size_t i = 0; i < kEditCount; ++i) {
    if (i != 0) {
      texts += ',';
    }
    texts += JsonLine::quoted(own_window_text(state.edits[i]));
    if (GetFocus() == state.edits[i]) {
      focused = static_cast<int>(i);
    }
  }
  JsonLine()
      .add("verb", "edit-window")
      .add("event", event)
      .add_raw("texts", texts + "]")
      .add("focused", focused)
      .add("foreground", GetForegroundWindow() == window)
      .write();
}

// Serves the messages waiting for the thread (and with them Wine's X events).
void serve_pending_messages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Serves the thread's messages for a while.
void serve_messages_for(DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    serve_pending_messages();
  }
}

LRESULT CALLBACK edit_window_proc(HWND window, UINT message, WPARAM wparam,
                                  LPARAM lparam) noexcept {
  auto* state = reinterpret_cast<EditWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(
                            reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams));
      break;
    case kPrintText:
      // Posted messages come before input: what was typed before the
      // request is handled first.
      serve_pending_messages();
      print_edit_texts(window, *state, "text");
      return 0;
    case kUnknownLine:
      fail("edit-window", "unknown line; the only command is \"text\"");
      return 0;
    case kInputEnded:
      print_edit_texts(window, *state, "end");
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Reads lines from standard input and turns them into messages for the window.
DWORD WINAPI read_edit_commands(void* parameter) noexcept {
  const auto window = static_cast<HWND>(parameter);
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string line;
  char byte = 0;
  DWORD count = 0;
  while (ReadFile(input, &byte, 1, &count, nullptr) && count == 1) {
    if (byte == '\r') {
      continue;
    }
    if (byte != '\n') {
      line += byte;
      continue;
    }
    PostMessageW(window, line == "text" ? kPrintText : kUnknownLine, 0, 0);
    line.clear();
  }
  PostMessageW(window, kInputEnded, 0, 0);
  return 0;
}

// A window with two edit controls, one above the other; the first has the focus.
// It reports ready once the focus has settled: Wine applies the X input focus
// a little later and then lets go of every key that only SendInput pressed,
// so keys held before that would not stay held.
int edit_window(std::string_view verb) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = edit_window_proc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kEditWindowClass;
  if (RegisterClassW(&window_class) == 0) {
    return fail(verb, "RegisterClassW failed", GetLastError());
  }
  EditWindowState state;
  const HWND window = CreateWindowExW(0, kEditWindowClass, L"Ombrelin desktop helper: edit",
                                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, kEditWindowX, kEditWindowY,
                                      480, 200, nullptr, nullptr, instance, &state);
  if (window == nullptr) {
    return fail(verb, "CreateWindowExW failed", GetLastError());
  }
  std::string rects = "[";
  for (std::size_t i = 0; i < kEditCount; ++i) {
    const int id = kFirstEditId + static_cast<int>(i);
    state.edits[i] =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, 10,
                        10 + 50 * static_cast<int>(i), 440, 30, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (state.edits[i] == nullptr) {
      DestroyWindow(window);
      return fail(verb, "an edit control could not be created", GetLastError());
    }
    RECT rect{};
    GetWindowRect(state.edits[i], &rect);
    rects += (i == 0 ? "" : ",") + JsonLine()
                                       .add("left", static_cast<long long>(rect.left))
                                       .add("top", static_cast<long long>(rect.top))
                                       .add("right", static_cast<long long>(rect.right))
                                       .add("bottom", static_cast<long long>(rect.bottom))
                                       .json();
  }
  SetForegroundWindow(window);
  SetFocus(state.edits[0]);
  serve_messages_for(kFocusSettleMs);
  JsonLine().add("verb", verb).add("ready", true).add_raw("edits", rects + "]").write();
  const UniqueHandle reader(CreateThread(nullptr, 0, &read_edit_commands, window, 0, nullptr));
  if (reader.get() == nullptr) {
    DestroyWindow(window);
    return fail(verb, "the input reader could not start", GetLastError());
  }
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The reader ends the window as its last act: let it finish ending first, as
  // Wine can hang a process that ends while one of its threads is ending.
  WaitForSingleObject(reader.get(), kReaderEndLimitMs);
  return 0;
}

bool is_down(int vk) { return (static_cast<unsigned short>(GetAsyncKeyState(vk)) & 0x8000u) != 0; }

// Lets go of every key and mouse button that is down, so that what one test
// left held cannot reach the next.
int release_input(std::string_view verb) {
  struct Button {
    int vk;
    DWORD up;
    DWORD data;
  };
  constexpr Button kButtons[] = {{VK_LBUTTON, MOUSEEVENTF_LEFTUP, 0},
                                 {VK_RBUTTON, MOUSEEVENTF_RIGHTUP, 0},
                                 {VK_MBUTTON, MOUSEEVENTF_MIDDLEUP, 0},
                                 {VK_XBUTTON1, MOUSEEVENTF_XUP, XBUTTON1},
                                 {VK_XBUTTON2, MOUSEEVENTF_XUP, XBUTTON2}};
  std::vector<INPUT> inputs;
  for (const Button& button : kButtons) {
    if (is_down(button.vk)) {
      INPUT input{};
      input.type = INPUT_MOUSE;
      input.mi.dwFlags = button.up;
      input.mi.mouseData = button.data;
      inputs.push_back(input);
    }
  }
  for (int vk = VK_BACK; vk < 255; ++vk) {
    // The generic Shift, Control and Alt follow their left and right keys.
    if (vk != VK_SHIFT && vk != VK_CONTROL && vk != VK_MENU && is_down(vk)) {
      inputs.push_back(key_record(static_cast<WORD>(vk), true));
    }
  }
  const UINT sent = inputs.empty()
                        ? 0
                        : SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    return fail(verb, "SendInput inserted fewer records than given", GetLastError());
  }
  JsonLine().add("verb", verb).add("released", static_cast<long long>(sent)).write();
  return 0;
}

// Every key and mouse button that is down on the desktop, as virtual keys.
int held_input(std::string_view verb) {
  std::string down = "[";
  for (int vk = 1; vk < 255; ++vk) {
    if (is_down(vk)) {
      down += (down.size() == 1 ? "" : ",") + std::to_string(vk);
    }
  }
  JsonLine().add("verb", verb).add_raw("down", down + "]").write();
  return 0;
}

// The indicator as laid out -----------------------------------------------------

// Owns one GDI object.
class UniqueGdiObject {
 public:
  explicit UniqueGdiObject(HGDIOBJ object) noexcept : object_(object) {}
  UniqueGdiObject(const UniqueGdiObject&) = delete;
  UniqueGdiObject& operator=(const UniqueGdiObject&) = delete;
  ~UniqueGdiObject() {
    if (object_ != nullptr) {
      DeleteObject(object_);
    }
  }
  [[nodiscard]] HGDIOBJ get() const noexcept { return object_; }

 private:
  HGDIOBJ object_;
};

// The screen's device context with a font selected, released at scope exit.
class ScreenDcWithFont {
 public:
  explicit ScreenDcWithFont(HFONT font)
      : dc_(GetDC(nullptr)), previous_(dc_ == nullptr ? nullptr : SelectObject(dc_, font)) {}
  ScreenDcWithFont(const ScreenDcWithFont&) = delete;
  ScreenDcWithFont& operator=(const ScreenDcWithFont&) = delete;
  ~ScreenDcWithFont() {
    if (previous_ != nullptr) {
      SelectObject(dc_, previous_);
    }
    if (dc_ != nullptr) {
      ReleaseDC(nullptr, dc_);
    }
  }
  [[nodiscard]] HDC get() const noexcept { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

std::string rect_json(const RECT& rect) {
  return JsonLine()
      .add("left", static_cast<long long>(rect.left))
      .add("top", static_cast<long long>(rect.top))
      .add("right", static_cast<long long>(rect.right))
      .add("bottom", static_cast<long long>(rect.bottom))
      .json();
}

std::string colour_json(COLORREF colour) {
  return JsonLine()
      .add("red", static_cast<int>(GetRValue(colour)))
      .add("green", static_cast<int>(GetGValue(colour)))
      .add("blue", static_cast<int>(GetBValue(colour)))
      .json();
}

// Fonts cannot be read from another process, so the controls' texts are
// measured in the font the indicator is meant to use: the message font at its
// DPI, word-wrapped at each control's width as a static control shows it.
int indicator_layout(std::string_view verb, DWORD wait_ms) {
  const HWND window = wait_for(Target::kIndicator, wait_ms);
  if (window == nullptr) {
    return fail(verb, "no indicator window");
  }
  const UINT dpi = GetDpiForWindow(window);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return fail(verb, "SystemParametersInfoForDpi failed", GetLastError());
  }
  const UniqueGdiObject font(CreateFontIndirectW(&metrics.lfMessageFont));
  if (font.get() == nullptr) {
    return fail(verb, "CreateFontIndirectW failed", GetLastError());
  }
  const ScreenDcWithFont dc(static_cast<HFONT>(font.get()));
  TEXTMETRICW text_metrics{};
  if (dc.get() == nullptr || !GetTextMetricsW(dc.get(), &text_metrics)) {
    return fail(verb, "GetTextMetricsW failed", GetLastError());
  }
  RECT window_rect{};
  RECT client{};
  GetWindowRect(window, &window_rect);
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);

  std::string controls = "[";
  for (const Control& control : controls_of(window)) {
    RECT rect = control.rect;
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    RECT needed{0, 0, rect.right - rect.left, 0};
    DrawTextW(dc.get(), control.text.c_str(), static_cast<int>(control.text.size()), &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    controls += (controls.size() == 1 ? "" : ",") +
                JsonLine()
                    .add("class", control.class_name)
                    .add("text", control.text)
                    .add("style", static_cast<unsigned long>(control.style))
                    .add_raw("rect", rect_json(rect))
                    .add("neededWidth", static_cast<long long>(needed.right - needed.left))
                    .add("neededHeight", static_cast<long long>(needed.bottom - needed.top))
                    .json();
  }
  const auto brush = static_cast<long long>(GetClassLongPtrW(window, GCLP_HBRBACKGROUND));
  JsonLine()
      .add("verb", verb)
      .add("visible", IsWindowVisible(window) != FALSE)
      .add("dpi", static_cast<long long>(dpi))
      .add_raw("window", rect_json(window_rect))
      .add_raw("client", rect_json(client))
      .add("classBackground", brush)
      .add_raw("buttonFace", colour_json(GetSysColor(COLOR_BTNFACE)))
      .add("fontFace", std::wstring_view(metrics.lfMessageFont.lfFaceName))
      .add("fontHeight", static_cast<long long>(metrics.lfMessageFont.lfHeight))
      .add("lineHeight", static_cast<long long>(text_metrics.tmHeight))
      .add_raw("controls", controls + "]")
      .write();
  return 0;
}

// Running a program hidden -------------------------------------------------------

// One argument as CommandLineToArgvW reads it back: quoted when it holds a
// space, a tab or a quote, with the backslashes before a quote doubled.
std::wstring quoted_argument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(unit == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += unit;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// An inheritable copy of one of the helper's standard handles.
HANDLE inheritable(DWORD which) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(which), GetCurrentProcess(), &copy, 0,
                       TRUE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

int run_hidden(const wchar_t* const* arguments, int count) {
  if (count < 1) {
    return fail("run-hidden", "run-hidden takes a program to run");
  }
  std::wstring command_line;
  for (int i = 0; i < count; ++i) {
    command_line += (i == 0 ? L"" : L" ") + quoted_argument(arguments[i]);
  }
  const UniqueHandle input(inheritable(STD_INPUT_HANDLE));
  const UniqueHandle output(inheritable(STD_OUTPUT_HANDLE));
  const UniqueHandle error(inheritable(STD_ERROR_HANDLE));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = input.get();
  startup.hStdOutput = output.get();
  startup.hStdError = error.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return fail("run-hidden", "CreateProcessW failed", GetLastError());
  }
  const UniqueHandle child(process.hProcess);
  const UniqueHandle thread(process.hThread);
  WaitForSingleObject(child.get(), INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(child.get(), &status);
  return static_cast<int>(status);
}

// The command line ---------------------------------------------------------------

std::string narrow(std::wstring_view text) {
  std::string out;
  for (const wchar_t unit : text) {
    out += unit < 0x80 ? static_cast<char>(unit) : '?';
  }
  return out;
}

int usage() {
  JsonLine().add("error", "usage: ombrelin-desktop-helper VERB [ARGUMENT] [--wait-ms=N]").write();
  return 2;
}

int run(const std::vector<std::string>& words, DWORD wait_ms) {
  if (words.empty()) {
    return usage();
  }
  const std::string& verb = words[0];
  const std::string argument = words.size() > 1 ? words[1] : std::string();
  if (verb == "consent-text") {
    return describe(verb, Target::kConsent, wait_ms);
  }
  if (verb == "consent-answer") {
    return consent_answer(verb, argument, wait_ms);
  }
  if (verb == "indicator-texts") {
    return describe(verb, Target::kIndicator, wait_ms);
  }
  if (verb == "indicator-layout") {
    return indicator_layout(verb, wait_ms);
  }
  if (verb == "click-pause") {
    return press_button(verb, Target::kIndicator, kPauseButtonId, wait_ms);
  }
  if (verb == "click-stop") {
    return press_button(verb, Target::kIndicator, kStopButtonId, wait_ms);
  }
  if (verb == "close-indicator") {
    return close_indicator(verb, WM_CLOSE, 0, wait_ms);
  }
  if (verb == "close-box") {
    return close_indicator(verb, WM_SYSCOMMAND, SC_CLOSE, wait_ms);
  }
  if (verb == "press-hotkey") {
    return press_hotkey(verb);
  }
  if (verb == "wait-gone") {
    if (argument != "consent" && argument != "indicator") {
      return fail(verb, "wait-gone takes consent or indicator");
    }
    const Target target = argument == "consent" ? Target::kConsent : Target::kIndicator;
    if (!wait_gone(target, wait_ms)) {
      return fail(verb, std::string("the ") + target_name(target) + " is still there");
    }
    JsonLine().add("verb", verb).add("gone", true).write();
    return 0;
  }
  if (verb == "cursor") {
    return cursor(verb);
  }
  if (verb == "displays") {
    return displays(verb);
  }
  if (verb == "hold-hotkey") {
    return hold_hotkey(verb);
  }
  if (verb == "hold-file") {
    return hold_file(verb, argument, words.size() > 2 ? words[2] : std::string());
  }
  if (verb == "release-input") {
    return release_input(verb);
  }
  if (verb == "held-input") {
    return held_input(verb);
  }
  if (verb == "edit-window") {
    return edit_window(verb);
  }
  return usage();
}

}  // namespace

int main() {
  // Positions and sizes in physical pixels whatever the scale: the units in
  // which the tests state where the pointer must land.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  int count = 0;
  LPWSTR* const arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) {
    return usage();
  }
  // The program and its arguments go on as they are, whatever their characters.
  if (count >= 2 && std::wstring_view(arguments[1]) == L"run-hidden") {
    const int status = run_hidden(arguments + 2, count - 2);
    LocalFree(arguments);
    return status;
  }
  std::vector<std::string> words;
  DWORD wait_ms = 10000;
  constexpr std::wstring_view kWaitOption = L"--wait-ms=";
  for (int i = 1; i < count; ++i) {
    const std::wstring_view word(arguments[i]);
    if (word.starts_with(kWaitOption)) {
      wait_ms = static_cast<DWORD>(wcstoul(arguments[i] + kWaitOption.size(), nullptr, 10));
    } else {
      words.push_back(narrow(word));
    }
  }
  LocalFree(arguments);
  return run(words, wait_ms);
}
