#pragma once

// The window calls of the visible indicator and the consent prompt. The
// indicator's behaviour (its window procedure, texts and start-up) is shared
// code; only these calls differ between Windows and the simulated desktop.

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "os/low_level_input.h"
#include "os/os_error.h"
#include "os/started_thread.h"
#include "os/win32_values.h"

namespace ombrelin::os {

// A window handle as the agent keeps it; 0 is no window.
using WindowHandle = std::uintptr_t;
// A font handle; 0 is none, so controls keep the system font.
using FontHandle = std::uintptr_t;

class WindowSystem;

// Owns one font of the window system and deletes it when dropped. The windows
// that use it must be gone by then.
class UniqueFont {
 public:
  UniqueFont() = default;
  UniqueFont(WindowSystem& windows, FontHandle font) noexcept : windows_(&windows), font_(font) {}
  UniqueFont(UniqueFont&& other) noexcept
      : windows_(other.windows_), font_(std::exchange(other.font_, 0)) {}
  UniqueFont& operator=(UniqueFont&& other) noexcept {
    if (this != &other) {
      reset();
      windows_ = other.windows_;
      font_ = std::exchange(other.font_, 0);
    }
    return *this;
  }
  UniqueFont(const UniqueFont&) = delete;
  UniqueFont& operator=(const UniqueFont&) = delete;
  ~UniqueFont() { reset(); }

  [[nodiscard]] FontHandle get() const noexcept { return font_; }

 private:
  inline void reset() noexcept;

  WindowSystem* windows_ = nullptr;
  FontHandle font_ = 0;
};

// A text's extent, in the 96-DPI units of the window layout.
struct TextSize {
  std::int32_t width = 0;
  std::int32_t height = 0;

  bool operator==(const TextSize&) const = default;
};

// How a measured text is laid out: each line as it is, or broken between words
// where it would pass the width, as a static control shows it.
enum class TextLayout : std::uint8_t { kOneLine, kWordWrapped };

// Receives the messages of one top-level window on the thread that owns it.
class WindowMessageHandler {
 public:
  // The message's result, or none for the system's default processing.
  [[nodiscard]] virtual std::optional<std::intptr_t> handle_message(
      WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
      std::intptr_t lparam) noexcept = 0;

 protected:
  ~WindowMessageHandler() = default;
};

struct WindowSpec {
  std::string_view class_name;
  std::string_view text;  // UTF-8
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  WindowHandle parent = 0;  // 0 for a top-level window
  std::uint32_t id = 0;     // control id of a child window
};

// What tells one top-level window from another: its class name and its text
// (the caption of a dialog), UTF-8.
struct WindowIdentity {
  std::string class_name;
  std::string text;
  bool operator==(const WindowIdentity&) const = default;
};

enum class ClassRegistration : std::uint8_t { kRegistered, kAlreadyRegistered, kFailed };

// When a message box closes itself as if answered No: once `time_limit` has
// passed, or as soon as `given_up` (asked every few tens of milliseconds, on the
// box's thread) says that nobody waits for the answer any more.
struct MessageBoxLimits {
  std::chrono::milliseconds time_limit{0};
  std::function<bool()> given_up;  // may be empty
};

// The window system. `post_message`, `start_thread` and `message_box` may be called
// from any thread; every other call belongs to the thread that owns the windows
// it names. Positions and sizes are given at 96 DPI; the system scales them to
// the DPI of the window (or, for a new top-level window, of the primary monitor).
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Starts a named thread for a window and its message loop; the system's
  // reason when it cannot be created.
  [[nodiscard]] virtual std::expected<StartedThread, std::error_code> start_thread(
      std::string_view name, std::move_only_function<void()> body) = 0;

  // MessageBoxW without an owner window; returns its result (0 when the box could
  // not be shown, IDNO when it closed itself within `limits`).
  [[nodiscard]] virtual int message_box(std::string_view text, std::string_view caption,
                                        std::uint32_t style, const MessageBoxLimits& limits) = 0;

  [[nodiscard]] virtual bool load_module_handle() = 0;
  [[nodiscard]] virtual bool load_arrow_cursor() = 0;
  // Registers the indicator's window class (the system's button-face background,
  // arrow cursor), whose windows deliver their messages to the handler given at
  // creation.
  [[nodiscard]] virtual ClassRegistration register_indicator_class(std::string_view name) = 0;

  // Creates a window; `handler` receives a top-level window's messages. 0 on failure.
  [[nodiscard]] virtual WindowHandle create_window(const WindowSpec& spec,
                                                   WindowMessageHandler* handler) = 0;
  virtual bool set_window_text(WindowHandle window, std::string_view text) = 0;
  virtual bool destroy_window(WindowHandle window) = 0;
  // ShowWindow; true when the window was visible before. The first show of a
  // process (a window created visible counts) may take the start-up show state
  // its starter gave instead of `command`.
  virtual bool show_window(WindowHandle window, int command) = 0;
  // IsWindowVisible: the window and every parent of it are shown.
  [[nodiscard]] virtual bool is_window_visible(WindowHandle window) = 0;
  // SetWindowPos with SWP_* `flags`, without changing the window order.
  virtual bool set_window_pos(WindowHandle window, std::int32_t x, std::int32_t y,
                              std::int32_t width, std::int32_t height, std::uint32_t flags) = 0;

  // The system's message font at the DPI of `window`.
  [[nodiscard]] virtual std::expected<UniqueFont, OsError> create_message_font(
      WindowHandle window) = 0;
  // WM_SETFONT, redrawing the control; an empty font leaves the system font.
  virtual void set_font(WindowHandle control, const UniqueFont& font) = 0;
  // The extent of `text` (UTF-8, lines separated by CR LF) in `font` at the DPI
  // of `window`, as a static control without prefix characters lays it out;
  // word-wrapped texts are broken to fit `width` where they can be.
  [[nodiscard]] virtual std::expected<TextSize, OsError> measure_text(WindowHandle window,
                                                                      const UniqueFont& font,
                                                                      std::string_view text,
                                                                      std::int32_t width,
                                                                      TextLayout layout) = 0;
  [[nodiscard]] virtual bool register_hot_key(WindowHandle window, int id, std::uint32_t modifiers,
                                              std::uint32_t key) = 0;
  virtual bool unregister_hot_key(WindowHandle window, int id) = 0;
  virtual void post_quit_message(int exit_code) = 0;
  // Retrieves and dispatches the calling thread's messages until the quit message.
  virtual void run_message_loop() = 0;

  // Installs a low-level keyboard hook and a low-level mouse hook that report to
  // `listener` on the calling thread, which must retrieve its messages (a message
  // loop or a message box) for them to be called. The system's reason when they
  // cannot be installed.
  [[nodiscard]] virtual std::expected<InputWatch, std::error_code> watch_low_level_input(
      LowLevelInputListener& listener) = 0;
  // The top-level window under a point of the screen, and the foreground window;
  // 0 when there is none. Any thread.
  [[nodiscard]] virtual WindowHandle top_level_window_at(CursorPoint point) = 0;
  [[nodiscard]] virtual WindowHandle foreground_window() = 0;
  // The identity of a window of any process; empty when it is gone.
  [[nodiscard]] virtual WindowIdentity identify_window(WindowHandle window) = 0;

  // Posts a message to a window of any thread; false when the window is gone.
  virtual bool post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam) = 0;

 protected:
  friend class UniqueFont;
  // Deletes a font made by create_message_font (DeleteObject).
  virtual void delete_font(FontHandle font) noexcept = 0;
};

void UniqueFont::reset() noexcept {
  if (font_ != 0) {
    windows_->delete_font(std::exchange(font_, 0));
  }
}

}  // namespace ombrelin::os
