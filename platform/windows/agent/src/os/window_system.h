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

#include "os/low_level_input.h"
#include "os/started_thread.h"
#include "os/win32_values.h"

namespace ombrelin::os {

// A window handle as the agent keeps it; 0 is no window.
using WindowHandle = std::uintptr_t;

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
// it names.
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
  // Registers the indicator's window class (no background, arrow cursor), whose
  // windows deliver their messages to the handler given at creation.
  [[nodiscard]] virtual ClassRegistration register_indicator_class(std::string_view name) = 0;

  // Creates a window; `handler` receives a top-level window's messages. 0 on failure.
  [[nodiscard]] virtual WindowHandle create_window(const WindowSpec& spec,
                                                   WindowMessageHandler* handler) = 0;
  virtual bool set_window_text(WindowHandle window, std::string_view text) = 0;
  virtual bool destroy_window(WindowHandle window) = 0;
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
};

}  // namespace ombrelin::os
