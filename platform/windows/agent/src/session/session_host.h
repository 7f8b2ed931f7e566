#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>
#include <vector>

#include "input/control_path.h"
#include "native_protocol/messages.h"
#include "ombrelin/protocol/session_start.h"
#include "os/started_thread.h"
#include "session/active_session.h"
#include "session/command_error.h"
#include "session/indicator_event.h"
#include "session/session_services.h"

namespace ombrelin::session {

// How long the remote side's desktop input waits after the local user's last
// input.
inline constexpr std::chrono::seconds kLocalInputHoldBack{2};

// Holds the one session (or none) and the operations that start, refresh, pause
// and stop it. Main thread only: the indicator thread reaches it through the
// indicator channel, never directly.
class SessionHost {
 public:
  explicit SessionHost(SessionServices services) : services_(std::move(services)) {}
  SessionHost(const SessionHost&) = delete;
  SessionHost& operator=(const SessionHost&) = delete;
  // Stops the session and waits, briefly, for the indicator threads to end, so
  // that none is still at work while the process ends.
  ~SessionHost();

  [[nodiscard]] const ActiveSession* session() const { return session_ ? &*session_ : nullptr; }

  // Whether `session_id` names the active session, byte for byte: the one check
  // behind every command that names a session.
  [[nodiscard]] input::SessionMatch match_session(std::string_view session_id) const;

  // A verified grant either starts a new session (display, consent, gate,
  // adapter, indicator) or refreshes the active one without asking anybody.
  // `now_s` is the time read before any prompt was shown.
  [[nodiscard]] std::expected<void, CommandError> start_or_refresh_session(
      const protocol::SessionGrant& grant, std::uint64_t now_s);

  // One control message of the page, computed by the control path and applied
  // here: a peer pause, resume or stop, or after a refused event the release of
  // everything held and the pause.
  [[nodiscard]] std::expected<void, input::ControlRefusal> handle_control(
      std::string_view session_id, const native_protocol::ControlMessage& message);

  // Ends the session, if any. Never fails.
  void stop_session();

  // The page's pause (`session_id` is the text a command named, or none for the
  // plain pause command). The page lifts only the remote side's pause, never the
  // local user's.
  [[nodiscard]] std::expected<void, CommandError> set_session_paused(
      std::optional<std::string_view> session_id, bool paused);

  // The local user's Pause, Resume or Stop at the indicator window, or a change
  // of the display configuration that the window heard of. Events of an
  // indicator of an earlier session change nothing.
  void on_indicator_event(IndicatorNotice notice);

  // Ends the hold on remote input once the local user has left the computer
  // alone for kLocalInputHoldBack, and tells the indicator.
  void end_local_hold_back_when_over();

  // Stops a session whose active grant's lease has run out at `now_s`.
  void stop_if_lease_expired(std::uint64_t now_s);

  // Asks Windows again to take the releases it refused when a session stopped
  // (the lock screen or the secure desktop was in front): a stopped session's
  // adapter is kept until it has let go of everything.
  void retry_refused_releases();

 private:
  [[nodiscard]] std::expected<void, CommandError> refresh_session(
      const protocol::SessionGrant& grant, std::uint64_t now_s);
  // Sets or lifts one side's pause of an active session, releasing input when
  // pausing and showing the indicator whether input is paused now.
  void apply_pause(PauseSource source, bool paused);
  // The one sequence after a refused event: release everything held, pause
  // while the gate is active, tell the indicator.
  void release_and_pause();
  // After the display configuration changed: input is paused for the remote
  // side to resume and everything held is released, then the session goes on
  // with the approved display's new bounds, or stops when that display is no
  // longer the primary one.
  void on_display_change();
  // What the session does after a control message went through or was refused.
  void apply_control_effect(input::ControlEffect effect);
  void apply_control_refusal(input::ControlRefusal refusal);
  // The local user is using the computer: everything the remote side holds is
  // let go at once, and its desktop input waits.
  void hold_back_for_local_user();
  // Keeps the thread of an indicator that is closing, to be waited for at the end.
  void keep_closing_indicator(os::StartedThread thread);

  SessionServices services_;
  std::optional<ActiveSession> session_;
  std::uint64_t sessions_started_ = 0;
  // Adapters of stopped sessions that still owe releases Windows refused.
  std::vector<std::unique_ptr<input::InputAdapter>> releasing_adapters_;
  // Indicators told to close, whose threads may still be winding down.
  std::vector<os::StartedThread> closing_indicators_;
};

}  // namespace ombrelin::session
