#include "session/dispatcher.h"

#include "session/unix_clock.h"

namespace ombrelin::session {
namespace {

namespace command = native_protocol::command;
using Result = std::expected<void, CommandError>;

struct Router {
  DispatchContext& context;

  Result operator()(command::Status&) const { return {}; }
  Result operator()(command::Diagnostics&) const { return {}; }
  Result operator()(command::Pause& pause) const {
    return context.sessions.set_session_paused(std::nullopt, pause.paused);
  }
  Result operator()(command::Stop&) const {
    context.sessions.stop_session();
    return {};
  }
  Result operator()(command::SessionStart&) const {
    const auto now = read_unix_clock(context.clock);
    if (!now) {
      return std::unexpected(now.error());
    }
    // Tickets cannot be checked by this build yet; every request is refused.
    return std::unexpected(CommandError::kSessionRequestInvalid);
  }
  Result operator()(command::Control&) const {
    if (context.sessions.session() == nullptr) {
      return std::unexpected(CommandError::kNoActiveSession);
    }
    return std::unexpected(CommandError::kControlEventInvalid);
  }
  Result operator()(command::SessionPause& pause) const {
    return context.sessions.set_session_paused(pause.session_id, pause.paused);
  }
  Result operator()(command::SessionStop& stop) const {
    const ActiveSession* session = context.sessions.session();
    if (session != nullptr && stop.session_id != session->session_id_text) {
      return std::unexpected(CommandError::kStopSessionMismatch);
    }
    context.sessions.stop_session();
    return {};
  }
};

}  // namespace

Result dispatch_command(native_protocol::NativeCommand&& command, DispatchContext& context) {
  // Taken over here, so the command is released whichever way the call ends.
  native_protocol::NativeCommand owned = std::move(command);
  const auto now = read_unix_clock(context.clock);
  if (!now) {
    return std::unexpected(now.error());
  }
  context.sessions.stop_if_lease_expired(now->seconds);
  return std::visit(Router{context}, owned);
}

}  // namespace ombrelin::session
