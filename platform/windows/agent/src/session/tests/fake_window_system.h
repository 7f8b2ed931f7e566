#pragma once

// A window system for unit tests: windows are small numbers, each thread has a
// message queue that run_message_loop serves, message boxes answer from a list,
// and every call is noted as one short line that tests compare. Any step of an
// indicator's start can be made to fail. Texts are measured in a fixed-width
// font that breaks lines at any character.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "os/window_system.h"

namespace ombrelin::session::testing {

enum class FailingStep : std::uint8_t {
  kThread,
  kModule,
  kCursor,
  kClass,
  kMainWindow,
  kFont,     // the message font cannot be made
  kMeasure,  // no text can be measured
  kResize,   // SetWindowPos
  kControl,  // every child window
  kHotKey,
  kInputWatch,
};

class FakeWindowSystem final : public os::WindowSystem {
 public:
  // Answers of successive message boxes; once used up, every box answers No.
  std::vector<int> message_box_answers;
  std::optional<FailingStep> failing_step;
  std::chrono::milliseconds start_delay{0};
  // The show that makes a top-level window visible: the first, a later one (as
  // after a hidden start-up show state), or none.
  std::optional<int> visible_from_show = 1;
  // The fixed-width font: the extent of one character and of one line.
  std::int32_t character_width = 7;
  std::int32_t line_height = 16;

  // Every call so far, one line each, such as "SetWindowTextW 3 Pause input".
  [[nodiscard]] std::vector<std::string> calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
  }
  // The calls after the first `skip`, without the test's own posts.
  [[nodiscard]] std::vector<std::string> calls_after(std::size_t skip) const {
    std::vector<std::string> lines = calls();
    lines.erase(lines.begin(),
                lines.begin() + static_cast<std::ptrdiff_t>(std::min(skip, lines.size())));
    std::erase_if(lines, [](const std::string& line) { return line.starts_with("PostMessageW"); });
    return lines;
  }
  // Waits, briefly, until `count` calls were made after the first `skip` (posts
  // left out), and returns them.
  [[nodiscard]] std::vector<std::string> wait_for_calls(std::size_t skip, std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::vector<std::string> lines = calls_after(skip);
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      lines = calls_after(skip);
    }
    return lines;
  }
  // The handle of the window created with `text`, 0 if none.
  [[nodiscard]] os::WindowHandle window_with_text(std::string_view text) const {
    const std::lock_guard lock(mutex_);
    for (const auto& [window, state] : windows_) {
      if (state.text == text) {
        return window;
      }
    }
    return 0;
  }
  [[nodiscard]] bool exists(os::WindowHandle window) const {
    const std::lock_guard lock(mutex_);
    return windows_.contains(window);
  }
  // Whether a low-level input watch is installed.
  [[nodiscard]] bool watching() const {
    const std::lock_guard lock(mutex_);
    return watcher_ != nullptr;
  }
  // Hands one low-level event to the watch, on the thread that installed it
  // (served by its message loop). A dropped event is noted as
  // "LowLevelInput dropped <kind> <vk or button>".
  void send_low_level_input(const os::LowLevelInput& input) {
    const std::lock_guard lock(mutex_);
    Queue& queue = queues_[watcher_thread_];
    queue.messages.push_back({0, 0, 0, 0, input});
    queue.ready.notify_all();
  }
  // What the window queries of the shield see.
  void set_window_at(os::WindowHandle window) {
    const std::lock_guard lock(mutex_);
    window_at_ = window;
  }
  void set_foreground(os::WindowHandle window) {
    const std::lock_guard lock(mutex_);
    foreground_ = window;
  }
  void add_foreign_window(os::WindowHandle window, std::string class_name, std::string text) {
    const std::lock_guard lock(mutex_);
    windows_[window] = {std::thread::id(),     nullptr, 0, std::move(text),
                        std::move(class_name), true};
  }

  std::expected<os::StartedThread, std::error_code> start_thread(
      std::string_view name, std::move_only_function<void()> body) override {
    if (failing_step == FailingStep::kThread) {
      return std::unexpected(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return os::start_thread(name, [delay = start_delay, body = std::move(body)]() mutable {
      std::this_thread::sleep_for(delay);
      body();
    });
  }

  int message_box(std::string_view text, std::string_view caption, std::uint32_t style,
                  const os::MessageBoxLimits& limits) override {
    int answer = kIdNo;
    {
      const std::lock_guard lock(mutex_);
      if (answers_used_ < message_box_answers.size()) {
        answer = message_box_answers[answers_used_++];
      }
      box_limit = limits.time_limit;
    }
    if (answer == kNoAnswer) {
      // Nobody answers: the box waits for its asker to give up.
      while (!(limits.given_up && limits.given_up())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      answer = kIdNo;
    }
    const std::lock_guard lock(mutex_);
    note_locked("MessageBoxW " + std::string(caption) + " " + std::to_string(style) + " " +
                std::to_string(answer) + "\n" + std::string(text));
    return answer;
  }

  bool load_module_handle() override { return failing_step != FailingStep::kModule; }
  bool load_arrow_cursor() override { return failing_step != FailingStep::kCursor; }
  os::ClassRegistration register_indicator_class(std::string_view) override {
    return failing_step == FailingStep::kClass ? os::ClassRegistration::kFailed
                                               : os::ClassRegistration::kRegistered;
  }

  os::WindowHandle create_window(const os::WindowSpec& spec,
                                 os::WindowMessageHandler* handler) override {
    const std::lock_guard lock(mutex_);
    const bool fails =
        spec.parent == 0 ? failing_step == FailingStep::kMainWindow
                         : failing_step == FailingStep::kControl || !windows_.contains(spec.parent);
    os::WindowHandle window = 0;
    if (!fails) {
      window = next_window_++;
      windows_[window] = {std::this_thread::get_id(),
                          handler,
                          spec.parent,
                          std::string(spec.text),
                          std::string(spec.class_name),
                          spec.parent != 0 && (spec.style & os::kWsVisible) != 0};
    }
    note_locked("CreateWindowExW " + std::to_string(window) + " " + std::string(spec.class_name) +
                " " + std::to_string(spec.x) + "," + std::to_string(spec.y) + " " +
                std::to_string(spec.width) + "x" + std::to_string(spec.height) + " " +
                std::to_string(spec.style) + " " + std::to_string(spec.ex_style) + " " +
                std::to_string(spec.id) + " " + std::string(spec.text));
    return window;
  }

  bool set_window_text(os::WindowHandle window, std::string_view text) override {
    const std::lock_guard lock(mutex_);
    note_locked("SetWindowTextW " + std::to_string(window) + " " + std::string(text));
    return windows_.contains(window);
  }

  bool destroy_window(os::WindowHandle window) override {
    os::WindowMessageHandler* handler = nullptr;
    {
      const std::lock_guard lock(mutex_);
      const auto found = windows_.find(window);
      if (found == windows_.end()) {
        note_locked("DestroyWindow " + std::to_string(window));
        return false;
      }
      handler = found->second.handler;
    }
    if (handler != nullptr) {
      (void)handler->handle_message(window, os::kWmDestroy, 0, 0);
    }
    const std::lock_guard lock(mutex_);
    std::erase_if(windows_, [window](const auto& entry) {
      return entry.first == window || entry.second.parent == window;
    });
    note_locked("DestroyWindow " + std::to_string(window));
    return true;
  }

  bool show_window(os::WindowHandle window, int command) override {
    const std::lock_guard lock(mutex_);
    note_locked("ShowWindow " + std::to_string(window) + " " + std::to_string(command));
    const auto found = windows_.find(window);
    if (found == windows_.end()) {
      return false;
    }
    const bool was_visible = found->second.visible;
    ++found->second.shows;
    found->second.visible =
        command != os::kSwHide && visible_from_show && found->second.shows >= *visible_from_show;
    return was_visible;
  }

  bool is_window_visible(os::WindowHandle window) override {
    const std::lock_guard lock(mutex_);
    const auto found = windows_.find(window);
    const bool visible = found != windows_.end() && found->second.visible;
    note_locked("IsWindowVisible " + std::to_string(window) + (visible ? " true" : " false"));
    return visible;
  }

  bool set_window_pos(os::WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height, std::uint32_t flags) override {
    const std::lock_guard lock(mutex_);
    note_locked("SetWindowPos " + std::to_string(window) + " " + std::to_string(x) + "," +
                std::to_string(y) + " " + std::to_string(width) + "x" + std::to_string(height) +
                " " + std::to_string(flags));
    return failing_step != FailingStep::kResize && windows_.contains(window);
  }

  std::expected<os::UniqueFont, os::OsError> create_message_font(os::WindowHandle) override {
    const std::lock_guard lock(mutex_);
    if (failing_step == FailingStep::kFont) {
      note_locked("CreateFontIndirectW 0");
      return std::unexpected(os::OsError{8, "CreateFontIndirectW"});
    }
    const os::FontHandle font = next_font_++;
    note_locked("CreateFontIndirectW " + std::to_string(font));
    return os::UniqueFont(*this, font);
  }

  void set_font(os::WindowHandle control, const os::UniqueFont& font) override {
    const std::lock_guard lock(mutex_);
    note_locked("SetFont " + std::to_string(control) + " " + std::to_string(font.get()));
  }

  std::expected<os::TextSize, os::OsError> measure_text(os::WindowHandle, const os::UniqueFont&,
                                                        std::string_view text, std::int32_t width,
                                                        os::TextLayout layout) override {
    if (failing_step == FailingStep::kMeasure) {
      return std::unexpected(os::OsError{8, "DrawTextW"});
    }
    const auto characters = [](std::string_view line) {
      return static_cast<std::int32_t>(std::ranges::count_if(
          line, [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }));
    };
    if (layout == os::TextLayout::kOneLine) {
      return os::TextSize{characters(text) * character_width, line_height};
    }
    os::TextSize size;
    const std::int32_t per_line = std::max(width / character_width, 1);
    for (std::size_t start = 0; start <= text.size();) {
      const std::size_t end = std::min(text.find("\r\n", start), text.size());
      const std::int32_t length = characters(text.substr(start, end - start));
      size.width = std::max(size.width, std::min(length, per_line) * character_width);
      size.height += std::max((length + per_line - 1) / per_line, 1) * line_height;
      start = end + 2;
    }
    return size;
  }

  bool register_hot_key(os::WindowHandle window, int id, std::uint32_t modifiers,
                        std::uint32_t key) override {
    const std::lock_guard lock(mutex_);
    note_locked("RegisterHotKey " + std::to_string(window) + " " + std::to_string(id) + " " +
                std::to_string(modifiers) + " " + std::to_string(key));
    return failing_step != FailingStep::kHotKey;
  }

  bool unregister_hot_key(os::WindowHandle window, int id) override {
    const std::lock_guard lock(mutex_);
    note_locked("UnregisterHotKey " + std::to_string(window) + " " + std::to_string(id));
    return true;
  }

  void post_quit_message(int) override {
    const std::lock_guard lock(mutex_);
    queues_[std::this_thread::get_id()].quit = true;
  }

  void run_message_loop() override {
    const auto self = std::this_thread::get_id();
    while (true) {
      Posted next{};
      {
        std::unique_lock lock(mutex_);
        Queue& queue = queues_[self];
        queue.ready.wait(lock, [&] { return !queue.messages.empty() || queue.quit; });
        if (queue.messages.empty()) {
          queues_.erase(self);
          return;
        }
        next = queue.messages.front();
        queue.messages.pop_front();
      }
      dispatch(next);
    }
  }

  std::expected<os::InputWatch, std::error_code> watch_low_level_input(
      os::LowLevelInputListener& listener) override {
    const std::lock_guard lock(mutex_);
    if (failing_step == FailingStep::kInputWatch) {
      return std::unexpected(std::make_error_code(std::errc::permission_denied));
    }
    watcher_ = &listener;
    watcher_thread_ = std::this_thread::get_id();
    return os::InputWatch([this] {
      const std::lock_guard unwatch_lock(mutex_);
      watcher_ = nullptr;
    });
  }

  os::WindowHandle top_level_window_at(os::CursorPoint) override {
    const std::lock_guard lock(mutex_);
    return window_at_;
  }

  os::WindowHandle foreground_window() override {
    const std::lock_guard lock(mutex_);
    return foreground_;
  }

  os::WindowIdentity identify_window(os::WindowHandle window) override {
    const std::lock_guard lock(mutex_);
    const auto found = windows_.find(window);
    return found == windows_.end()
               ? os::WindowIdentity{}
               : os::WindowIdentity{found->second.class_name, found->second.text};
  }

  bool post_message(os::WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override {
    const std::lock_guard lock(mutex_);
    note_locked("PostMessageW " + std::to_string(window) + " " + std::to_string(message) + " " +
                std::to_string(wparam));
    const auto found = windows_.find(window);
    if (found == windows_.end()) {
      return false;
    }
    Queue& queue = queues_[found->second.owner];
    queue.messages.push_back({window, message, wparam, lparam, std::nullopt});
    queue.ready.notify_all();
    return true;
  }

  static constexpr int kIdYes = os::kIdYes;
  static constexpr int kIdNo = os::kIdNo;
  // A message box answer: nobody answers, the box waits until its asker gives up.
  static constexpr int kNoAnswer = -1;

  // The time limit the last message box was given.
  std::chrono::milliseconds box_limit{0};

 protected:
  void delete_font(os::FontHandle font) noexcept override {
    const std::lock_guard lock(mutex_);
    note_locked("DeleteObject " + std::to_string(font));
  }

 private:
  struct Window {
    std::thread::id owner;
    os::WindowMessageHandler* handler = nullptr;
    os::WindowHandle parent = 0;
    std::string text;
    std::string class_name;
    bool visible = false;  // a top-level window only once shown
    int shows = 0;
  };
  struct Posted {
    os::WindowHandle window;
    std::uint32_t message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    std::optional<os::LowLevelInput> input;  // for the watch, not a window
  };
  struct Queue {
    std::deque<Posted> messages;
    bool quit = false;
    std::condition_variable ready;
  };

  void note_locked(std::string line) { calls_.push_back(std::move(line)); }

  void dispatch(const Posted& posted) {
    if (posted.input) {
      os::LowLevelInputListener* listener = nullptr;
      {
        const std::lock_guard lock(mutex_);
        listener = watcher_;
      }
      if (listener != nullptr &&
          listener->on_low_level_input(*posted.input) == os::InputVerdict::kDrop) {
        const std::lock_guard lock(mutex_);
        note_locked(
            "LowLevelInput dropped " + std::to_string(static_cast<int>(posted.input->kind)) + " " +
            std::to_string(posted.input->vk + static_cast<std::uint32_t>(posted.input->button)));
      }
      return;
    }
    os::WindowMessageHandler* handler = nullptr;
    {
      const std::lock_guard lock(mutex_);
      const auto found = windows_.find(posted.window);
      if (found == windows_.end()) {
        return;
      }
      handler = found->second.handler;
    }
    const auto handled = handler == nullptr ? std::nullopt
                                            : handler->handle_message(posted.window, posted.message,
                                                                      posted.wparam, posted.lparam);
    if (!handled && posted.message == os::kWmClose) {
      destroy_window(posted.window);  // the system's default for closing
    }
  }

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::map<os::WindowHandle, Window> windows_;
  std::map<std::thread::id, Queue> queues_;
  os::WindowHandle next_window_ = 1;
  os::FontHandle next_font_ = 1;
  std::size_t answers_used_ = 0;
  os::LowLevelInputListener* watcher_ = nullptr;
  std::thread::id watcher_thread_;
  os::WindowHandle window_at_ = 0;
  os::WindowHandle foreground_ = 0;
};

}  // namespace ombrelin::session::testing
