#include "os/sim/window_system_sim.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "os/indicator_controls.h"
#include "os/sim/journal_line.h"
#include "os/sim/text_measure.h"

namespace ombrelin::os::sim {
namespace {

constexpr std::chrono::milliseconds kActionsPollInterval{20};

struct Message {
  WindowHandle window;
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};

struct ThreadQueue {
  std::deque<Message> messages;
  bool quit = false;
  std::condition_variable changed;
};

struct SimulatedWindow {
  std::thread::id owner;
  WindowMessageHandler* handler = nullptr;
  WindowHandle parent = 0;
  bool shown = false;       // its own WS_VISIBLE
  int static_children = 0;  // tells the indicator's label from its status label
};

// Reads the lines appended to the actions file since a window appeared.
class ActionsReader {
 public:
  ActionsReader(const std::string& path, std::uintmax_t offset) : path_(path), offset_(offset) {}

  // Complete new lines, in order.
  std::vector<std::string> take_lines() {
    std::vector<std::string> lines;
    std::ifstream file(path_, std::ios::binary);
    if (!file) {
      return lines;
    }
    file.seekg(static_cast<std::streamoff>(offset_));
    std::string chunk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    for (std::size_t end = chunk.find('\n'); end != std::string::npos;
         end = chunk.find('\n', start)) {
      lines.push_back(chunk.substr(start, end - start));
      start = end + 1;
    }
    offset_ += start;
    return lines;
  }

 private:
  std::string path_;
  std::uintmax_t offset_;
};

class SimulatedWindowSystem final : public WindowSystem {
 public:
  SimulatedWindowSystem(const DesktopDescription& description, DesktopState& state,
                        Journal& journal, std::string actions_path)
      : description_(description),
        state_(state),
        journal_(journal),
        actions_path_(std::move(actions_path)),
        start_up_show_pending_(description.start_hidden) {}

  std::expected<StartedThread, std::error_code> start_thread(
      std::string_view name, std::move_only_function<void()> body) override {
    if (fails(IndicatorFailure::kThread)) {
      return std::unexpected(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    const auto delay = std::chrono::milliseconds(description_.indicator_start_delay_ms);
    return os::start_thread(name, [delay, body = std::move(body)]() mutable {
      std::this_thread::sleep_for(delay);
      body();
    });
  }

  int message_box(std::string_view text, std::string_view caption, std::uint32_t style,
                  const MessageBoxLimits& limits) override {
    int result = kIdNo;
    bool answered = true;
    {
      const std::lock_guard lock(mutex_);
      if (consent_answers_used_ < description_.consent.size()) {
        switch (description_.consent[consent_answers_used_++]) {
          case ConsentAnswer::kYes:
            result = kIdYes;
            break;
          case ConsentAnswer::kNo:
            result = kIdNo;
            break;
          case ConsentAnswer::kError:
            result = 0;
            break;
          case ConsentAnswer::kNone:
            answered = false;
            break;
        }
      }
    }
    if (!answered) {
      wait_for_limits(limits);
      journal_.record(JournalLine("EndDialog").number("result", kIdNo).finish());
    }
    journal_.record(JournalLine("MessageBoxW")
                        .text("text", text)
                        .text("caption", caption)
                        .number("style", style)
                        .number("result", result)
                        .finish());
    return result;
  }

  bool load_module_handle() override { return !fails(IndicatorFailure::kModule); }
  bool load_arrow_cursor() override { return !fails(IndicatorFailure::kCursor); }

  ClassRegistration register_indicator_class(std::string_view) override {
    if (fails(IndicatorFailure::kClass)) {
      return ClassRegistration::kFailed;
    }
    const std::lock_guard lock(mutex_);
    return std::exchange(class_registered_, true) ? ClassRegistration::kAlreadyRegistered
                                                  : ClassRegistration::kRegistered;
  }

  WindowHandle create_window(const WindowSpec& spec, WindowMessageHandler* handler) override {
    WindowHandle created = 0;
    {
      const std::lock_guard lock(mutex_);
      if (!creation_fails_locked(spec)) {
        created = next_handle_++;
        bool shown = (spec.style & kWsVisible) != 0;
        if (shown && spec.parent == 0) {
          shown = first_show_locked(kSwShow) != kSwHide;
        }
        windows_[created] =
            SimulatedWindow{std::this_thread::get_id(), handler, spec.parent, shown, 0};
        if (spec.parent == 0) {
          watch_actions_locked(created);
        }
      }
    }
    journal_.record(JournalLine("CreateWindowExW")
                        .number("window", static_cast<std::int64_t>(created))
                        .text("class", spec.class_name)
                        .text("text", spec.text)
                        .number("style", spec.style)
                        .number("exStyle", spec.ex_style)
                        .number("x", spec.x)
                        .number("y", spec.y)
                        .number("width", spec.width)
                        .number("height", spec.height)
                        .number("id", spec.id)
                        .number("parent", static_cast<std::int64_t>(spec.parent))
                        .finish());
    return created;
  }

  bool set_window_text(WindowHandle window, std::string_view text) override {
    bool exists = false;
    {
      const std::lock_guard lock(mutex_);
      exists = windows_.contains(window);
    }
    journal_.record(JournalLine("SetWindowTextW")
                        .number("window", static_cast<std::int64_t>(window))
                        .text("text", text)
                        .finish());
    return exists;
  }

  bool destroy_window(WindowHandle window) override {
    WindowMessageHandler* handler = nullptr;
    bool exists = false;
    {
      const std::lock_guard lock(mutex_);
      const auto found = windows_.find(window);
      exists = found != windows_.end();
      if (exists) {
        handler = found->second.handler;
      }
    }
    if (exists && handler != nullptr) {
      (void)handler->handle_message(window, kWmDestroy, 0, 0);
    }
    if (exists) {
      const std::lock_guard lock(mutex_);
      std::erase_if(windows_, [window](const auto& entry) {
        return entry.first == window || entry.second.parent == window;
      });
      std::erase_if(hot_keys_, [window](const auto& key) { return key.first == window; });
      if (watched_window_ == window) {
        watched_window_ = 0;
        actions_.reset();
      }
    }
    journal_.record(
        JournalLine("DestroyWindow").number("window", static_cast<std::int64_t>(window)).finish());
    return exists;
  }

  bool show_window(WindowHandle window, int command) override {
    bool was_visible = false;
    {
      const std::lock_guard lock(mutex_);
      const auto found = windows_.find(window);
      if (found != windows_.end()) {
        was_visible = found->second.shown;
        const int applied = found->second.parent == 0 ? first_show_locked(command) : command;
        found->second.shown = applied != kSwHide;
      }
    }
    journal_.record(JournalLine("ShowWindow")
                        .number("window", static_cast<std::int64_t>(window))
                        .number("cmdShow", command)
                        .flag("result", was_visible)
                        .finish());
    return was_visible;
  }

  bool is_window_visible(WindowHandle window) override {
    bool visible = false;
    {
      const std::lock_guard lock(mutex_);
      for (auto found = windows_.find(window); found != windows_.end();
           found = windows_.find(found->second.parent)) {
        visible = found->second.shown;
        if (!visible || found->second.parent == 0) {
          break;
        }
      }
    }
    journal_.record(JournalLine("IsWindowVisible")
                        .number("window", static_cast<std::int64_t>(window))
                        .flag("result", visible)
                        .finish());
    return visible;
  }

  bool set_window_pos(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height, std::uint32_t flags) override {
    bool exists = false;
    {
      const std::lock_guard lock(mutex_);
      exists = windows_.contains(window);
    }
    journal_.record(JournalLine("SetWindowPos")
                        .number("window", static_cast<std::int64_t>(window))
                        .number("x", x)
                        .number("y", y)
                        .number("width", width)
                        .number("height", height)
                        .number("flags", flags)
                        .flag("result", exists)
                        .finish());
    return exists;
  }

  std::expected<UniqueFont, OsError> create_message_font(WindowHandle /*window*/) override {
    FontHandle font = 0;
    {
      const std::lock_guard lock(mutex_);
      font = next_font_++;
    }
    journal_.record(JournalLine("CreateFontIndirectW")
                        .number("font", static_cast<std::int64_t>(font))
                        .finish());
    return UniqueFont(*this, font);
  }

  void set_font(WindowHandle control, const UniqueFont& font) override {
    journal_.record(JournalLine("SendMessageW")
                        .number("window", static_cast<std::int64_t>(control))
                        .number("msg", kWmSetFont)
                        .number("wParam", static_cast<std::int64_t>(font.get()))
                        .number("lParam", 1)
                        .finish());
  }

  std::expected<TextSize, OsError> measure_text(WindowHandle /*window*/, const UniqueFont& /*font*/,
                                                std::string_view text, std::int32_t width,
                                                TextLayout layout) override {
    return measure_fixed_width(text, width, layout);
  }

  bool register_hot_key(WindowHandle window, int id, std::uint32_t modifiers,
                        std::uint32_t key) override {
    bool result = false;
    {
      const std::lock_guard lock(mutex_);
      result = !description_.hotkey_taken && windows_.contains(window) &&
               hot_keys_.insert({window, id}).second;
    }
    journal_.record(JournalLine("RegisterHotKey")
                        .number("window", static_cast<std::int64_t>(window))
                        .number("id", id)
                        .number("modifiers", modifiers)
                        .number("vk", key)
                        .flag("result", result)
                        .finish());
    return result;
  }

  bool unregister_hot_key(WindowHandle window, int id) override {
    bool result = false;
    {
      const std::lock_guard lock(mutex_);
      result = hot_keys_.erase({window, id}) == 1;
    }
    journal_.record(JournalLine("UnregisterHotKey")
                        .number("window", static_cast<std::int64_t>(window))
                        .number("id", id)
                        .finish());
    return result;
  }

  void post_quit_message(int) override {
    const std::lock_guard lock(mutex_);
    queues_[std::this_thread::get_id()].quit = true;
  }

  void run_message_loop() override {
    const auto self = std::this_thread::get_id();
    while (true) {
      std::optional<Message> next;
      {
        std::unique_lock lock(mutex_);
        ThreadQueue& queue = queues_[self];
        queue.changed.wait_for(lock, kActionsPollInterval,
                               [&] { return !queue.messages.empty() || queue.quit; });
        if (!queue.messages.empty()) {
          next = queue.messages.front();
          queue.messages.pop_front();
        } else if (queue.quit) {
          queues_.erase(self);
          return;
        }
      }
      if (next) {
        dispatch(*next);
      } else {
        deliver_actions(self);
      }
    }
  }

  bool post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override {
    bool result = false;
    {
      const std::lock_guard lock(mutex_);
      result = enqueue_locked({window, message, wparam, lparam});
    }
    journal_.record(JournalLine("PostMessageW")
                        .number("window", static_cast<std::int64_t>(window))
                        .number("msg", message)
                        .number("wParam", static_cast<std::int64_t>(wparam))
                        .number("lParam", lparam)
                        .flag("result", result)
                        .finish());
    return result;
  }

 protected:
  void delete_font(FontHandle font) noexcept override {
    journal_.record(
        JournalLine("DeleteObject").number("font", static_cast<std::int64_t>(font)).finish());
  }

 private:
  // The show command a top-level window's show applies: the start-up show
  // state, for the first show of the process when the host was started hidden.
  int first_show_locked(int command) {
    return std::exchange(start_up_show_pending_, false) ? kSwHide : command;
  }

  // A box nobody answers stays open until the agent's limits close it (the
  // desktop file may shorten the time limit).
  void wait_for_limits(const MessageBoxLimits& limits) const {
    const auto limit = description_.consent_timeout_ms
                           ? std::chrono::milliseconds(*description_.consent_timeout_ms)
                           : limits.time_limit;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline && !(limits.given_up && limits.given_up())) {
      std::this_thread::sleep_for(kActionsPollInterval);
    }
  }

  [[nodiscard]] bool fails(IndicatorFailure step) const {
    return description_.indicator_fails == step;
  }

  bool creation_fails_locked(const WindowSpec& spec) {
    if (spec.parent == 0) {
      return fails(IndicatorFailure::kMainWindow);
    }
    const auto parent = windows_.find(spec.parent);
    if (parent == windows_.end()) {
      return true;
    }
    if (spec.class_name == "STATIC") {
      const int order = parent->second.static_children++;
      return fails(order == 0 ? IndicatorFailure::kLabel : IndicatorFailure::kStatusLabel);
    }
    if (spec.id == kPauseButtonId) {
      return fails(IndicatorFailure::kPauseButton);
    }
    if (spec.id == kStopButtonId) {
      return fails(IndicatorFailure::kStopButton);
    }
    return false;
  }

  // Lines written to the actions file from now on reach this window; all of the
  // file when it does not exist yet.
  void watch_actions_locked(WindowHandle window) {
    if (actions_path_.empty()) {
      return;
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(actions_path_, error);
    watched_window_ = window;
    actions_.emplace(actions_path_, error ? 0 : size);
  }

  bool enqueue_locked(const Message& message) {
    const auto window = windows_.find(message.window);
    if (window == windows_.end()) {
      return false;
    }
    ThreadQueue& queue = queues_[window->second.owner];
    queue.messages.push_back(message);
    queue.changed.notify_all();
    return true;
  }

  void dispatch(const Message& message) {
    WindowMessageHandler* handler = nullptr;
    {
      const std::lock_guard lock(mutex_);
      const auto window = windows_.find(message.window);
      if (window == windows_.end()) {
        return;
      }
      handler = window->second.handler;
    }
    const auto handled = handler == nullptr
                             ? std::nullopt
                             : handler->handle_message(message.window, message.message,
                                                       message.wparam, message.lparam);
    // The system's default for closing a window is to destroy it.
    if (!handled && message.message == kWmClose) {
      destroy_window(message.window);
    }
  }

  void deliver_actions(std::thread::id self) {
    std::vector<std::string> lines;
    WindowHandle window = 0;
    {
      const std::lock_guard lock(mutex_);
      const auto watched = windows_.find(watched_window_);
      if (!actions_ || watched == windows_.end() || watched->second.owner != self) {
        return;
      }
      window = watched_window_;
      lines = actions_->take_lines();
    }
    for (const std::string& line : lines) {
      const std::lock_guard lock(mutex_);
      if (line == "pause-button") {
        enqueue_locked({window, kWmCommand, kPauseButtonId, 0});
      } else if (line == "stop-button") {
        enqueue_locked({window, kWmCommand, kStopButtonId, 0});
      } else if (line == "hotkey" && hot_keys_.contains({window, kEmergencyHotKeyId})) {
        enqueue_locked({window, kWmHotKey, kEmergencyHotKeyId, 0});
      } else if (line == "close") {
        enqueue_locked({window, kWmClose, 0, 0});
      } else if (line == "secure-desktop on" || line == "secure-desktop off") {
        state_.set_secure_desktop(line == "secure-desktop on");
      }
    }
  }

  const DesktopDescription& description_;
  DesktopState& state_;
  Journal& journal_;
  const std::string actions_path_;

  std::mutex mutex_;
  std::map<WindowHandle, SimulatedWindow> windows_;
  std::map<std::thread::id, ThreadQueue> queues_;
  std::set<std::pair<WindowHandle, int>> hot_keys_;
  WindowHandle next_handle_ = 1;
  FontHandle next_font_ = 1;
  // The first show of the process takes the start-up show state (SW_HIDE).
  bool start_up_show_pending_;
  bool class_registered_ = false;
  std::size_t consent_answers_used_ = 0;
  WindowHandle watched_window_ = 0;
  std::optional<ActionsReader> actions_;
};

}  // namespace

std::unique_ptr<WindowSystem> make_simulated_window_system(const DesktopDescription& description,
                                                           DesktopState& state, Journal& journal,
                                                           std::string actions_path) {
  return std::make_unique<SimulatedWindowSystem>(description, state, journal,
                                                 std::move(actions_path));
}

}  // namespace ombrelin::os::sim
