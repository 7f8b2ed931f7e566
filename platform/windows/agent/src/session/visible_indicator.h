#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "os/indicator_controls.h"
#include "os/monotonic_clock.h"
#include "os/started_thread.h"
#include "os/window_system.h"
#include "session/command_error.h"
#include "session/indicator_event.h"
#include "session/indicator_layout.h"

namespace ombrelin::session {

// Posted by the main thread to the indicator window.
inline constexpr std::uint32_t kShowPauseState = os::kWmApp + 1;  // wParam: 1 paused, 0 not
inline constexpr std::uint32_t kCloseIndicator = os::kWmApp + 2;
// wParam: 1 while remote input is held back for the local user, 0 afterwards.
inline constexpr std::uint32_t kShowLocalActivity = os::kWmApp + 3;
// Posted by the indicator's input watch to its own window: the local user's
// emergency shortcut.
inline constexpr std::uint32_t kEmergencyShortcut = os::kWmApp + 4;

// How often, at most, the indicator tells the main loop that the local user is
// using the computer.
inline constexpr std::chrono::milliseconds kLocalInputNoticeInterval{100};

using os::kEmergencyHotKeyId;
using os::kPauseButtonId;
using os::kStopButtonId;

// How long a session start waits for the indicator to report that it runs.
inline constexpr std::chrono::milliseconds kIndicatorStartLimit{5000};

struct RunningIndicator {
  os::WindowHandle window = 0;
  os::StartedThread thread;
};

// Why the indicator did not start; a thread that reported too late may still
// be closing its own window, and the host waits for it before it ends.
struct IndicatorStartFailure {
  CommandError error = CommandError::kIndicatorStartFailed;
  std::optional<os::StartedThread> thread;
};

// What the indicator shows, and the session its events belong to.
// The label is fixed for the indicator's life.
struct IndicatorRequest {
  std::string_view requester_name;
  std::string_view permission_names;
  std::string_view expires;  // the lease's end in local time
  std::uint64_t session = 0;
};

// Starts the indicator on a thread of its own ("ombrelin-visible-indicator") and
// waits for its report. Returns the main window, which from then on is told of
// pause changes, of the local user's activity and of the session's end only by
// posted messages. The thread also watches the low-level input for as long as
// the window exists: the local user's emergency shortcut, the local user's
// activity (told at most every kLocalInputNoticeInterval, by `clock`), and
// injected input aimed at the agent's windows, which it drops.
[[nodiscard]] std::expected<RunningIndicator, IndicatorStartFailure> start_visible_indicator(
    os::WindowSystem& windows, const os::MonotonicClock& clock, const IndicatorRequest& request,
    IndicatorSender sender, std::chrono::milliseconds start_limit = kIndicatorStartLimit);

}  // namespace ombrelin::session
