#include "session/command_error.h"

namespace ombrelin::session {

std::string_view to_string(CommandError error) noexcept {
  switch (error) {
    case CommandError::kRequestIdRejected:
      return "The request identifier is invalid or replayed.";
    case CommandError::kClockInvalid:
      return "The Windows system clock is invalid.";
    case CommandError::kClockOutOfBound:
      return "The Windows system clock is outside its bound.";
    case CommandError::kSessionRequestInvalid:
      return "The native session request is invalid or expired.";
    case CommandError::kTicketInvalid:
      return "The signed session ticket or verification key is invalid or expired.";
    case CommandError::kPermissionsMismatch:
      return "The page permissions do not match the signed ticket.";
    case CommandError::kDisplayEnumerationFailed:
      return "Windows display enumeration failed.";
    case CommandError::kNoPrimaryDisplay:
      return "No Windows primary display is available for bounded input mapping.";
    case CommandError::kLocalUserRejected:
      return "The local user rejected the session request.";
    case CommandError::kGateRejectedRequest:
      return "The session request was rejected by the local gate.";
    case CommandError::kGrantExpiredBeforeAcceptance:
      return "The session grant expired before local acceptance.";
    case CommandError::kInputAdapterStartFailed:
      return "The Windows input adapter could not start safely.";
    case CommandError::kIndicatorSpawnFailed:
      return "The visible session indicator could not start.";
    case CommandError::kIndicatorStartFailed:
      return "The visible session indicator or emergency shortcut could not start.";
    case CommandError::kGateUnavailable:
      return "The active session gate is unavailable.";
    case CommandError::kDifferentRequesterOrGrant:
      return "Stop the active session before accepting a different requester or grant.";
    case CommandError::kRefreshGrantRejected:
      return "The refreshed session grant was rejected.";
    case CommandError::kRefreshRequestRejected:
      return "The refreshed session request was rejected.";
    case CommandError::kRefreshTicketReused:
      return "The session refresh ticket was already used by the companion.";
    case CommandError::kNoActiveSession:
      return "No locally approved session is active.";
    case CommandError::kPauseStateUnchanged:
      return "The local pause state could not be changed.";
    case CommandError::kPauseSessionMismatch:
      return "The pause request does not match the active session.";
    case CommandError::kInputRejected:
      return "Windows rejected the input event; input was paused and released.";
    case CommandError::kControlEventInvalid:
      return "The control event is invalid, unsupported, or replayed.";
    case CommandError::kControlRateLimited:
      return "The native control rate limit was reached.";
    case CommandError::kControlSessionMismatch:
      return "The control message does not match the active session.";
    case CommandError::kControlTooLarge:
      return "The control message exceeds its size limit.";
    case CommandError::kControlInvalid:
      return "The control message is invalid.";
    case CommandError::kStopSessionMismatch:
      return "The stop request does not match the active session.";
    case CommandError::kLocalUserActive:
      return "The local user is using the computer; remote input is held back.";
  }
  return "The native session request is invalid or expired.";
}

}  // namespace ombrelin::session
