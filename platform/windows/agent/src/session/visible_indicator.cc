#include "session/visible_indicator.h"

#include <array>
#include <optional>
#include <utility>

#include "base/one_shot.h"
#include "session/agent_window_shield.h"
#include "session/physical_input.h"

namespace ombrelin::session {
namespace {

using os::WindowHandle;

constexpr std::string_view kClassName = kIndicatorClassName;
constexpr std::string_view kTitle = "Ombrelin Revozad \u2014 ACTIVE REMOTE SESSION";

constexpr std::uint32_t kMainWindowStyle = os::kWsVisible | os::kWsCaption | os::kWsSysMenu;
constexpr std::uint32_t kMainWindowExStyle = os::kWsExAppWindow | os::kWsExTopmost;
constexpr std::uint32_t kButtonStyle = os::kWsChild | os::kWsVisible;
// Requester names and other texts show "&" as typed.
constexpr std::uint32_t kStaticStyle = os::kWsChild | os::kWsVisible | os::kSsNoPrefix;
// Growing the window keeps it where it is, in front, and leaves the focus alone.
constexpr std::uint32_t kResizeFlags = os::kSwpNoMove | os::kSwpNoZOrder | os::kSwpNoActivate;
// Shown without taking the focus from whatever the local user (or the remote
// party) is typing into.
constexpr int kShowCommand = os::kSwShowNoActivate;
// Ctrl+Alt+Shift without auto-repeat, on F12.
constexpr std::uint32_t kHotKeyModifiers =
    os::kModControl | os::kModAlt | os::kModShift | os::kModNoRepeat;

// The notification code and the control id a WM_COMMAND carries in wParam.
constexpr std::uintptr_t high_word(std::uintptr_t value) { return value >> 16 & 0xFFFF; }
constexpr std::uintptr_t low_word(std::uintptr_t value) { return value & 0xFFFF; }

constexpr std::string_view pause_button_text(bool paused) {
  return paused ? "Resume input" : "Pause input";
}

// A pause says more than the local user's activity, which holds remote input
// back only for a moment.
constexpr std::string_view status_text(bool paused, bool local_user_active) {
  if (paused) {
    return "Remote input PAUSED";
  }
  return local_user_active ? "Local user active" : "Remote input enabled";
}

using StartReport = OneShot<WindowHandle>;

// What the label shows, owned by the indicator thread.
struct IndicatorTexts {
  std::string requester_name;
  std::string permission_names;
  std::string expires;
};

// The indicator thread's window and everything it keeps. Lives on that thread's
// stack from start to end; its windows are destroyed before it is.
class IndicatorWindow final : public os::WindowMessageHandler, public os::LowLevelInputListener {
 public:
  IndicatorWindow(os::WindowSystem& windows, const os::MonotonicClock& clock,
                  IndicatorSender sender, std::uint64_t session)
      : windows_(windows),
        clock_(clock),
        sender_(std::move(sender)),
        session_(session),
        shield_(windows) {}

  // Creates the window and its controls, shows it, registers the emergency
  // shortcut, reports the outcome, and serves the window until it is destroyed.
  void run(const IndicatorTexts& texts, StartReport::Sender report) {
    const WindowHandle main = create_main_window();
    if (main == 0) {
      return;  // dropping the report tells the starter that the start failed
    }
    main_ = main;
    const bool ready =
        create_controls(main, texts) && show(main) &&
        windows_.register_hot_key(main, kEmergencyHotKeyId, kHotKeyModifiers, os::kVkF12) &&
        watch_input();
    if (!ready || !report.send(main)) {
      // A failed start, or a starter that stopped waiting: this window belongs
      // to no session, so it goes away without telling the main loop anything.
      { const StartReport::Sender failed = std::move(report); }
      closing_quietly_ = true;
      windows_.destroy_window(main);
    }
    windows_.run_message_loop();
    watch_.reset();
  }

  os::InputVerdict on_low_level_input(const os::LowLevelInput& input) noexcept override {
    switch (shortcut_.judge(input)) {
      case EmergencyShortcutWatch::Verdict::kStop:
        // Served by the window, outside the hook, which must answer at once.
        (void)windows_.post_message(main_, kEmergencyShortcut, 0, 0);
        return os::InputVerdict::kDrop;
      case EmergencyShortcutWatch::Verdict::kDrop:
        return os::InputVerdict::kDrop;
      case EmergencyShortcutWatch::Verdict::kPass:
        break;
    }
    if (activity_.counts(input)) {
      tell_local_input();
    }
    return shield_.judge(input);
  }

  std::optional<std::intptr_t> handle_message(WindowHandle window, std::uint32_t message,
                                              std::uintptr_t wparam,
                                              std::intptr_t lparam) noexcept override {
    (void)lparam;
    switch (message) {
      case os::kWmDestroy:
        windows_.unregister_hot_key(window, kEmergencyHotKeyId);
        windows_.post_quit_message(0);
        return 0;
      case os::kWmClose:
        stop_and_close(window);
        return 0;
      case os::kWmCommand:
        if (high_word(wparam) != 0) {
          return std::nullopt;
        }
        if (low_word(wparam) == kStopButtonId) {
          stop_and_close(window);
        } else if (low_word(wparam) == kPauseButtonId) {
          paused_ = !paused_;
          show_pause_state();
          send(paused_ ? IndicatorEvent::kPause : IndicatorEvent::kResume);
        }
        return 0;
      case os::kWmHotKey:
        if (wparam != static_cast<std::uintptr_t>(kEmergencyHotKeyId)) {
          return std::nullopt;
        }
        stop_and_close(window);
        return 0;
      case kEmergencyShortcut:
        stop_and_close(window);
        return 0;
      case kShowPauseState:
        paused_ = wparam != 0;
        show_pause_state();
        return 0;
      case kShowLocalActivity:
        local_user_active_ = wparam != 0;
        show_pause_state();
        return 0;
      case kCloseIndicator:
        windows_.destroy_window(window);
        return 0;
      case os::kWmDisplayChange:
        // The main loop decides what the change means for the session; the
        // window itself shows whatever pause state it is told.
        send(IndicatorEvent::kDisplayChanged);
        return 0;
      default:
        return std::nullopt;
    }
  }

 private:
  WindowHandle create_main_window() {
    if (!windows_.load_module_handle() || !windows_.load_arrow_cursor() ||
        windows_.register_indicator_class(kClassName) == os::ClassRegistration::kFailed) {
      return 0;
    }
    return windows_.create_window({kClassName, kTitle, kMainWindowStyle, kMainWindowExStyle,
                                   os::kCwUseDefault, os::kCwUseDefault, 640, 230, 0, 0},
                                  this);
  }

  // The controls in the system's message font, laid out for what the label
  // says in that font. Without the font they keep the system font, which the
  // layout then measures instead.
  bool create_controls(WindowHandle main, const IndicatorTexts& texts) {
    if (auto font = windows_.create_message_font(main)) {
      font_ = std::move(*font);
    }
    const auto layout =
        lay_out_indicator(texts.requester_name, texts.permission_names, texts.expires,
                          [&](std::string_view text, std::int32_t width, os::TextLayout how) {
                            return windows_.measure_text(main, font_, text, width, how);
                          });
    if (!layout) {
      return false;
    }
    // A window too small for its label would hide a line of it.
    if (layout->window != kDesignWindowSize &&
        !windows_.set_window_pos(main, 0, 0, layout->window.width, layout->window.height,
                                 kResizeFlags)) {
      return false;
    }
    const auto child = [&](std::string_view class_name, std::string_view text, std::uint32_t style,
                           ControlBox box, std::uint32_t id) {
      const WindowHandle control = windows_.create_window(
          {class_name, text, style, 0, box.x, box.y, box.width, box.height, main, id}, nullptr);
      if (control != 0) {
        windows_.set_font(control, font_);
      }
      return control;
    };
    if (child("STATIC", layout->label, kStaticStyle, layout->label_box, 0) == 0) {
      return false;
    }
    // The three controls are all attempted before a failure counts.
    status_label_ = child("STATIC", status_text(false, false), kStaticStyle, layout->status_box, 0);
    pause_button_ =
        child("BUTTON", pause_button_text(false), kButtonStyle, layout->pause_box, kPauseButtonId);
    const WindowHandle stop_button =
        child("BUTTON", "Stop session", kButtonStyle, layout->stop_box, kStopButtonId);
    return status_label_ != 0 && pause_button_ != 0 && stop_button != 0;
  }

  // A browser may start its hosts with a hidden show state, which the first
  // window the process shows takes instead of its own (creating it visible
  // counts as showing it). The indicator is shown once more if that left it
  // hidden, and counts as started only once it is visible.
  bool show(WindowHandle main) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      windows_.show_window(main, kShowCommand);
      if (windows_.is_window_visible(main)) {
        return true;
      }
    }
    return false;
  }

  void show_pause_state() {
    if (pause_button_ != 0) {
      windows_.set_window_text(pause_button_, pause_button_text(paused_));
    }
    if (status_label_ != 0) {
      windows_.set_window_text(status_label_, status_text(paused_, local_user_active_));
    }
  }

  bool watch_input() {
    auto watch = windows_.watch_low_level_input(*this);
    if (watch) {
      watch_ = std::move(*watch);
    }
    return watch.has_value();
  }

  void tell_local_input() {
    const auto now = clock_.now();
    if (last_local_notice_ && now - *last_local_notice_ < kLocalInputNoticeInterval) {
      return;
    }
    last_local_notice_ = now;
    send(IndicatorEvent::kLocalInput);
  }

  // The stop button, the emergency shortcut and closing the window: the main loop
  // hears of it first, then the window goes away.
  void stop_and_close(WindowHandle window) {
    send(IndicatorEvent::kStop);
    windows_.destroy_window(window);
  }

  void send(IndicatorEvent event) {
    if (!closing_quietly_) {
      (void)sender_.send(IndicatorNotice{session_, event});
    }
  }

  os::WindowSystem& windows_;
  const os::MonotonicClock& clock_;
  // Dropped last: the main loop's receiver then knows that the thread is done.
  IndicatorSender sender_;
  const std::uint64_t session_;
  // The windows that use it are gone by the time run() returns.
  os::UniqueFont font_;
  WindowHandle main_ = 0;
  WindowHandle status_label_ = 0;
  WindowHandle pause_button_ = 0;
  bool paused_ = false;
  bool local_user_active_ = false;
  bool closing_quietly_ = false;
  EmergencyShortcutWatch shortcut_;
  LocalActivityWatch activity_;
  AgentWindowShield shield_;
  std::optional<std::chrono::steady_clock::time_point> last_local_notice_;
  os::InputWatch watch_;
};

}  // namespace

std::expected<RunningIndicator, IndicatorStartFailure> start_visible_indicator(
    os::WindowSystem& windows, const os::MonotonicClock& clock, const IndicatorRequest& request,
    IndicatorSender sender, std::chrono::milliseconds start_limit) {
  auto [report_sender, report_receiver] = StartReport::create();
  auto body = [&windows, &clock, session = request.session,
               texts = IndicatorTexts{std::string(request.requester_name),
                                      std::string(request.permission_names),
                                      std::string(request.expires)},
               sender = std::move(sender), report = std::move(report_sender)]() mutable {
    IndicatorWindow indicator(windows, clock, std::move(sender), session);
    indicator.run(texts, std::move(report));
  };
  auto thread = windows.start_thread("ombrelin-visible-indicator", std::move(body));
  if (!thread) {
    return std::unexpected(IndicatorStartFailure{CommandError::kIndicatorSpawnFailed, {}});
  }
  const auto started = report_receiver.receive_for(start_limit);
  if (!started) {
    return std::unexpected(
        IndicatorStartFailure{CommandError::kIndicatorStartFailed, std::move(*thread)});
  }
  return RunningIndicator{*started, std::move(*thread)};
}

}  // namespace ombrelin::session
