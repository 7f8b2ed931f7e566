#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>
#include <vector>

#include "native_protocol/messages.h"
#include "ombrelin/protocol/session_start.h"
#include "os/display_api.h"
#include "os/input_api.h"
#include "os/monotonic_clock.h"
#include "os/started_thread.h"
#include "os/wall_clock.h"
#include "os/window_system.h"
#include "session/active_session.h"
#include "session/command_error.h"
#include "session/indicator_event.h"

namespace ombrelin::session {

// The operating-system services a session uses.
struct SessionServices {
  os::WindowSystem& windows;
  os::DisplayApi& displays;
  os::InputApi& input;
  const os::WallClock& wall_clock;
  const os::MonotonicClock& monotonic_clock;
};

// Holds the one session (or none) and the operations that start, refresh, pause
// and stop it. Main thread only: the indicator thread reaches it through the
// indicator channel, never directly.
class SessionHost {
 public:
  explicit SessionHost(const SessionServices& services) : services_(services) {}
  SessionHost(const SessionHost&) = delete;
  SessionHost& operator=(const SessionHost&) = delete;
  // Stops the session and waits, briefly, for the indicator threads to end, so
  // that none is still at work while the process ends.
  ~SessionHost();

  [[nodiscard]] const ActiveSession* session() const { return session_ ? &*session_ : nullptr; }

  // A verified grant either starts a new session (display, consent, gate,
  // indicator) or refreshes the active one without asking anybody. `now_s` is
  // the time read before any prompt was shown.
  [[nodiscard]] std::expected<void, CommandError> start_or_refresh_session(
      const protocol::SessionGrant& grant, const IndicatorSender& indicator_sender,
      std::uint64_t now_s);

  // The whole control path for one control message of the page.
  [[nodiscard]] std::expected<void, CommandError> handle_control(
      std::string_view session_id, const native_protocol::ControlMessage& message);

  // Ends the session, if any. Never fails.
  void stop_session();

  // `session_id` is the text a command named, or none for the plain pause command.
  [[nodiscard]] std::expected<void, CommandError> set_session_paused(
      std::optional<std::string_view> session_id, bool paused);

  // The local user's Pause, Resume or Stop from the indicator window.
  void on_indicator_event(IndicatorEvent event);

  // Stops a session whose active grant's lease has run out at `now_s`.
  void stop_if_lease_expired(std::uint64_t now_s);

 private:
  [[nodiscard]] std::expected<void, CommandError> start_session(
      const protocol::SessionGrant& grant, const IndicatorSender& indicator_sender,
      std::uint64_t now_s);
  [[nodiscard]] std::expected<void, CommandError> refresh_session(
      const protocol::SessionGrant& grant, std::uint64_t now_s);
  // Sets the paused flag of an active session, releasing input when pausing and
  // telling the indicator.
  void apply_pause(bool paused);
  // Keeps the thread of an indicator that is closing, to be waited for at the end.
  void keep_closing_indicator(os::StartedThread thread);

  class ControlHooks;

  SessionServices services_;
  std::optional<ActiveSession> session_;
  // Indicators told to close, whose threads may still be winding down.
  std::vector<os::StartedThread> closing_indicators_;
};

}  // namespace ombrelin::session
