#include "os/sim/window_system_sim.h"

#include <algorithm>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <thread>

#include "os/indicator_controls.h"
#include "os/sim/input_action.h"
#include "os/sim/journal_line.h"
#include "os/sim/text_measure.h"

namespace ombrelin::os::sim {
namespace {

constexpr std::chrono::milliseconds kActionsPollInterval{20};
// Where the system puts a top-level window created at CW_USEDEFAULT; a child's
// position is taken from its parent's top-left corner (no frame, no caption).
constexpr CursorPoint kDefaultWindowOrigin{100, 100};
// Message boxes: their handles, never those of created windows; their place on
// the screen and that of their Yes button.
constexpr WindowHandle kFirstMessageBoxHandle = 0x10000;
constexpr std::int32_t kMessageBoxLeft = 760;
constexpr std::int32_t kMessageBoxTop = 465;
constexpr std::int32_t kMessageBoxWidth = 400;
constexpr std::int32_t kMessageBoxHeight = 150;
constexpr CursorPoint kMessageBoxYes{kMessageBoxLeft + 230, kMessageBoxTop + 120};
// Bits per pixel of every simulated display configuration.
constexpr std::uintptr_t kDisplayColourDepth = 32;

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
  std::string class_name;
  std::string text;
  std::uint32_t id = 0;
  // Screen pixels.
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;

  [[nodiscard]] bool contains(CursorPoint point) const {
    return point.x >= left && point.x < left + width && point.y >= top && point.y < top + height;
  }
};

struct HotKey {
  std::uint32_t modifiers = 0;
  std::uint32_t vk = 0;
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
    bool injected_yes = false;
    {
      const std::lock_guard lock(mutex_);
      if (consent_answers_used_ < description_.consent.size()) {
        switch (description_.consent[consent_answers_used_++]) {
          case ConsentAnswer::kInjectedYes:
            injected_yes = true;
            break;
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
    const WindowHandle box = open_message_box(caption);
    if (injected_yes) {
      // Another program clicks Yes: the box is answered only if the click
      // reaches it.
      const LowLevelButton primary = primary_button();
      const bool clicked =
          feed(mouse_input(LowLevelKind::kButtonPress, primary, kMessageBoxYes, true)) &&
          feed(mouse_input(LowLevelKind::kButtonRelease, primary, kMessageBoxYes, true));
      answered = clicked;
      result = clicked ? kIdYes : kIdNo;
    }
    if (!answered) {
      wait_for_limits(limits);
      journal_.record(JournalLine("EndDialog").number("result", kIdNo).finish());
    }
    close_message_box(box);
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
        windows_[created] = placed_window_locked(spec, handler);
        windows_[created].shown = shown;
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
      const auto found = windows_.find(window);
      exists = found != windows_.end();
      if (exists) {
        found->second.text = text;
      }
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
      std::erase_if(hot_keys_, [window](const auto& key) { return key.first.first == window; });
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
      if (exists) {
        move_window_locked(window, x, y, width, height, flags);
      }
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
               hot_keys_.insert({{window, id}, HotKey{modifiers, key}}).second;
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
        // SendInput's records were inserted before any action line written
        // after the agent's answer.
        deliver_injected(self);
        deliver_actions(self);
      }
    }
  }

  std::expected<InputWatch, std::error_code> watch_low_level_input(
      LowLevelInputListener& listener) override {
    const auto self = std::this_thread::get_id();
    {
      const std::lock_guard lock(mutex_);
      listeners_[self].push_back(&listener);
    }
    state_.hook_installed();
    return InputWatch([this, self, watching = &listener] {
      {
        const std::lock_guard lock(mutex_);
        auto& listeners = listeners_[self];
        std::erase(listeners, watching);
        if (listeners.empty()) {
          listeners_.erase(self);
        }
      }
      state_.hook_removed();
    });
  }

  WindowHandle top_level_window_at(CursorPoint point) override {
    const std::lock_guard lock(mutex_);
    return top_level_at_locked(point);
  }

  WindowHandle foreground_window() override {
    const std::lock_guard lock(mutex_);
    return windows_.contains(foreground_) ? foreground_ : 0;
  }

  WindowIdentity identify_window(WindowHandle window) override {
    const std::lock_guard lock(mutex_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) {
      return {};
    }
    return WindowIdentity{found->second.class_name, found->second.text};
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

  // A created window with its place on the screen.
  SimulatedWindow placed_window_locked(const WindowSpec& spec, WindowMessageHandler* handler) {
    SimulatedWindow window;
    window.owner = std::this_thread::get_id();
    window.handler = handler;
    window.parent = spec.parent;
    window.class_name = spec.class_name;
    window.text = spec.text;
    window.id = spec.id;
    window.width = spec.width;
    window.height = spec.height;
    const auto parent = windows_.find(spec.parent);
    if (parent != windows_.end()) {
      window.left = parent->second.left + spec.x;
      window.top = parent->second.top + spec.y;
    } else {
      window.left = spec.x == kCwUseDefault ? kDefaultWindowOrigin.x : spec.x;
      window.top = spec.y == kCwUseDefault ? kDefaultWindowOrigin.y : spec.y;
    }
    return window;
  }

  // The consent box is a window while it is open: a dialog with its caption, in
  // the foreground.
  WindowHandle open_message_box(std::string_view caption) {
    const std::lock_guard lock(mutex_);
    const WindowHandle box = next_box_handle_++;
    SimulatedWindow window;
    window.owner = std::this_thread::get_id();
    window.shown = true;
    window.class_name = "#32770";
    window.text = caption;
    window.left = kMessageBoxLeft;
    window.top = kMessageBoxTop;
    window.width = kMessageBoxWidth;
    window.height = kMessageBoxHeight;
    windows_[box] = std::move(window);
    foreground_before_box_ = std::exchange(foreground_, box);
    return box;
  }

  void close_message_box(WindowHandle box) {
    const std::lock_guard lock(mutex_);
    windows_.erase(box);
    if (foreground_ == box) {
      foreground_ = foreground_before_box_;
    }
  }

  // SetWindowPos: a control's position is relative to its parent's top-left
  // corner, and a top-level window takes its controls along.
  void move_window_locked(WindowHandle handle, std::int32_t x, std::int32_t y, std::int32_t width,
                          std::int32_t height, std::uint32_t flags) {
    SimulatedWindow& window = windows_.at(handle);
    if ((flags & kSwpNoSize) == 0) {
      window.width = width;
      window.height = height;
    }
    if ((flags & kSwpNoMove) != 0) {
      return;
    }
    const auto parent = windows_.find(window.parent);
    const std::int32_t left = parent == windows_.end() ? x : parent->second.left + x;
    const std::int32_t top = parent == windows_.end() ? y : parent->second.top + y;
    const std::int32_t dx = left - window.left;
    const std::int32_t dy = top - window.top;
    window.left = left;
    window.top = top;
    for (auto& [child_handle, child] : windows_) {
      if (child.parent == handle) {
        child.left += dx;
        child.top += dy;
      }
    }
  }

  WindowHandle top_level_at_locked(CursorPoint point) const {
    for (auto window = windows_.rbegin(); window != windows_.rend(); ++window) {
      if (window->second.parent == 0 && window->second.shown && window->second.contains(point)) {
        return window->first;
      }
    }
    return 0;
  }

  // The innermost window under a point: a control of a top-level window, or the
  // window itself.
  WindowHandle window_at_locked(CursorPoint point) const {
    const WindowHandle top = top_level_at_locked(point);
    for (const auto& [handle, window] : windows_) {
      if (top != 0 && window.parent == top && window.contains(point)) {
        return handle;
      }
    }
    return top;
  }

  [[nodiscard]] LowLevelButton primary_button() const {
    return state_.swap_buttons() ? LowLevelButton::kRight : LowLevelButton::kLeft;
  }

  // One event through the low-level hooks of the calling thread, the latest
  // first; an event none of them dropped reaches the desktop. False when one
  // dropped it.
  bool feed(const LowLevelInput& input) {
    std::vector<LowLevelInputListener*> listeners;
    {
      const std::lock_guard lock(mutex_);
      if (const auto found = listeners_.find(std::this_thread::get_id());
          found != listeners_.end()) {
        listeners.assign(found->second.rbegin(), found->second.rend());
      }
    }
    for (LowLevelInputListener* listener : listeners) {
      if (listener->on_low_level_input(input) == InputVerdict::kDrop) {
        journal_dropped(input);
        return false;
      }
    }
    reach_desktop(input);
    return true;
  }

  void journal_dropped(const LowLevelInput& input) {
    JournalLine line("LowLevelInput");
    line.text("event", event_name(input.kind));
    if (input.kind == LowLevelKind::kKeyPress || input.kind == LowLevelKind::kKeyRelease) {
      line.number("vk", input.vk);
    } else {
      line.text("button", button_name(input.button))
          .number("x", input.point.x)
          .number("y", input.point.y);
    }
    journal_.record(line.flag("injected", input.injected).flag("dropped", true).finish());
  }

  // What the system makes of input that went through the hooks: the cursor
  // moves, keys go down and up (a hot key fires when its key goes down while
  // exactly its modifiers are held), and a press and release of the primary
  // button on an indicator's button clicks it. A press brings the window under it
  // to the foreground.
  void reach_desktop(const LowLevelInput& input) {
    const std::lock_guard lock(mutex_);
    switch (input.kind) {
      case LowLevelKind::kMove:
        state_.set_cursor(input.point);
        return;
      case LowLevelKind::kKeyPress:
      case LowLevelKind::kKeyRelease: {
        const bool down = input.kind == LowLevelKind::kKeyPress;
        logical_keys_[input.vk & 0xFFU] = down;
        if (down) {
          fire_hot_keys_locked(input.vk);
        }
        return;
      }
      case LowLevelKind::kButtonPress:
        if (input.button == primary_button()) {
          foreground_ = top_level_at_locked(input.point);
          pressed_ = window_at_locked(input.point);
        }
        return;
      case LowLevelKind::kButtonRelease:
        if (input.button == primary_button()) {
          click_locked(std::exchange(pressed_, 0), window_at_locked(input.point));
        }
        return;
      case LowLevelKind::kWheel:
        return;
    }
  }

  void click_locked(WindowHandle pressed, WindowHandle released) {
    const auto control = windows_.find(released);
    if (pressed == 0 || pressed != released || control == windows_.end() ||
        control->second.class_name != "BUTTON") {
      return;
    }
    enqueue_locked({control->second.parent, kWmCommand, control->second.id, 0});
  }

  [[nodiscard]] std::uint32_t held_modifiers_locked() const {
    const auto held = [&](std::span<const std::uint8_t> keys) {
      return std::ranges::any_of(keys, [&](std::uint8_t vk) { return logical_keys_[vk]; });
    };
    std::uint32_t modifiers = 0;
    modifiers |= held(kVkControlKeys) ? kModControl : 0;
    modifiers |= held(kVkAltKeys) ? kModAlt : 0;
    modifiers |= held(kVkShiftKeys) ? kModShift : 0;
    modifiers |= held(kVkWinKeys) ? kModWin : 0;
    return modifiers;
  }

  void fire_hot_keys_locked(std::uint32_t vk) {
    const std::uint32_t held = held_modifiers_locked();
    for (const auto& [key, hot_key] : hot_keys_) {
      if (hot_key.vk == vk && (hot_key.modifiers & ~kModNoRepeat) == held) {
        enqueue_locked({key.first, kWmHotKey, static_cast<std::uintptr_t>(key.second), 0});
      }
    }
  }

  // SendInput's records reach the hooks of the thread that watches them.
  void deliver_injected(std::thread::id self) {
    {
      const std::lock_guard lock(mutex_);
      if (!listeners_.contains(self)) {
        return;
      }
    }
    for (const LowLevelInput& input : state_.take_injected()) {
      (void)feed(input);
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
      const auto inputs = parse_input_action(line, state_.cursor(), primary_button());
      for (const LowLevelInput& input : inputs) {
        (void)feed(input);
      }
      if (!inputs.empty()) {
        continue;
      }
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
      } else if (line == "swap-buttons on" || line == "swap-buttons off") {
        // What the local user's mouse settings call; journalled so that a test
        // knows when the setting holds.
        const bool swap = line == "swap-buttons on";
        state_.set_swap_buttons(swap);
        journal_.record(JournalLine("SwapMouseButton").flag("swap", swap).finish());
      } else if (line == "display-change" && state_.change_display()) {
        // As Windows sends it to every top-level window: the colour depth, and
        // the primary screen's size in the two words of lParam.
        const ScreenSize screen = state_.screen();
        const auto size =
            static_cast<std::intptr_t>((static_cast<std::uint32_t>(screen.cy) << 16) |
                                       (static_cast<std::uint32_t>(screen.cx) & 0xFFFF));
        enqueue_locked({window, kWmDisplayChange, kDisplayColourDepth, size});
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
  std::map<std::pair<WindowHandle, int>, HotKey> hot_keys_;
  std::map<std::thread::id, std::vector<LowLevelInputListener*>> listeners_;
  std::bitset<256> logical_keys_;
  WindowHandle foreground_ = 0;
  WindowHandle foreground_before_box_ = 0;
  WindowHandle pressed_ = 0;
  WindowHandle next_handle_ = 1;
  WindowHandle next_box_handle_ = kFirstMessageBoxHandle;
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
