#include "session/dispatcher.h"

#include "ombrelin/protocol/session_start.h"
#include "session/unix_clock.h"

namespace ombrelin::session {
namespace {

namespace command = native_protocol::command;
using Result = std::expected<void, CommandError>;

CommandError session_start_error(protocol::SessionStartFailure failure) {
  switch (failure) {
    case protocol::SessionStartFailure::kTicketInvalid:
    case protocol::SessionStartFailure::kPublicKeyLength:
      return CommandError::kTicketInvalid;
    case protocol::SessionStartFailure::kPermissionsMismatch:
      return CommandError::kPermissionsMismatch;
    case protocol::SessionStartFailure::kRequestInvalid:
      break;
  }
  return CommandError::kSessionRequestInvalid;
}

CommandError control_error(input::ControlRefusal refusal) {
  switch (refusal) {
    case input::ControlRefusal::kInvalid:
      return CommandError::kControlInvalid;
    case input::ControlRefusal::kTooLarge:
      return CommandError::kControlTooLarge;
    case input::ControlRefusal::kNoSession:
      return CommandError::kNoActiveSession;
    case input::ControlRefusal::kSessionMismatch:
      return CommandError::kControlSessionMismatch;
    case input::ControlRefusal::kRateLimited:
      return CommandError::kControlRateLimited;
    case input::ControlRefusal::kEventInvalid:
      return CommandError::kControlEventInvalid;
    case input::ControlRefusal::kClockInvalid:
      return CommandError::kClockInvalid;
    case input::ControlRefusal::kClockOutOfBound:
      return CommandError::kClockOutOfBound;
    case input::ControlRefusal::kLocalUserActive:
      return CommandError::kLocalUserActive;
    case input::ControlRefusal::kEventRejected:
    case input::ControlRefusal::kLeaseExpired:
      break;
  }
  return CommandError::kInputRejected;
}

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
  Result operator()(command::SessionStart& start) const {
    const auto now = read_unix_clock(context.clock);
    if (!now) {
      return std::unexpected(now.error());
    }
    std::vector<protocol::PermissionIndex> permissions;
    permissions.reserve(start.permissions.size());
    for (const native_protocol::PermissionName name : start.permissions) {
      permissions.push_back(static_cast<protocol::PermissionIndex>(name));
    }
    const protocol::SessionStartRequest request{
        start.session_id,
        start.requester_name,
        permissions,
        start.lease_expires_at,
        start.signed_ticket,
        {start.ticket_key.key_id, start.ticket_key.algorithm, start.ticket_key.public_key,
         start.ticket_key.encoding}};
    const auto grant = protocol::check_session_start(request, context.binding, now->milliseconds);
    if (!grant) {
      return std::unexpected(session_start_error(grant.error()));
    }
    // The seconds read before the consent prompt: the user's answer may come
    // after the lease, and the gate judges the grant as it stood when asked.
    return context.sessions.start_or_refresh_session(*grant, now->seconds);
  }
  Result operator()(command::Control& control) const {
    const auto handled = context.sessions.handle_control(control.session_id, control.control);
    if (!handled) {
      return std::unexpected(control_error(handled.error()));
    }
    return {};
  }
  Result operator()(command::SessionPause& pause) const {
    return context.sessions.set_session_paused(pause.session_id, pause.paused);
  }
  Result operator()(command::SessionStop& stop) const {
    if (context.sessions.match_session(stop.session_id) == input::SessionMatch::kOtherSession) {
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
