#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

#include "session/active_session.h"
#include "session/command_error.h"
#include "session/indicator_event.h"

namespace ombrelin::session {

// Holds the one session (or none) and the operations that start, pause and stop
// it. Main thread only: the indicator thread reaches it through the indicator
// channel, never directly.
class SessionHost {
 public:
  SessionHost() = default;
  SessionHost(const SessionHost&) = delete;
  SessionHost& operator=(const SessionHost&) = delete;

  [[nodiscard]] const ActiveSession* session() const {
    return session_ ? &*session_ : nullptr;
  }

  // Ends the session, if any. Never fails.
  void stop_session();

  // `session_id` is the text a command named, or none for the plain pause command.
  [[nodiscard]] std::expected<void, CommandError> set_session_paused(
      std::optional<std::string_view> session_id, bool paused);

  // The local user's Pause, Resume or Stop from the indicator window.
  void on_indicator_event(IndicatorEvent event);

  // Stops a session whose active grant's lease has run out at `now_seconds`.
  void stop_if_lease_expired(std::uint64_t now_seconds);

 private:
  std::optional<ActiveSession> session_;
};

}  // namespace ombrelin::session
