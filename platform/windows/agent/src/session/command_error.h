#pragma once

#include <cstdint>
#include <string_view>

namespace ombrelin::session {

// Why a command failed. Each kind has exactly one fixed sentence, sent unchanged
// as the response's error; nothing else about a failure leaves the host.
enum class CommandError : std::uint8_t {
  kRequestIdRejected,
  kClockInvalid,
  kClockOutOfBound,
  kSessionRequestInvalid,
  kTicketInvalid,
  kPermissionsMismatch,
  kDisplayEnumerationFailed,
  kNoPrimaryDisplay,
  kLocalUserRejected,
  kGateRejectedRequest,
  kGrantExpiredBeforeAcceptance,
  kInputAdapterStartFailed,
  kIndicatorSpawnFailed,
  kIndicatorStartFailed,
  kGateUnavailable,
  kDifferentRequesterOrGrant,
  kRefreshGrantRejected,
  kRefreshRequestRejected,
  kRefreshTicketReused,
  kNoActiveSession,
  kPauseStateUnchanged,
  kPauseSessionMismatch,
  kInputRejected,
  kControlEventInvalid,
  kControlRateLimited,
  kControlSessionMismatch,
  kControlTooLarge,
  kControlInvalid,
  kStopSessionMismatch,
  kLocalUserActive,
};

[[nodiscard]] std::string_view to_string(CommandError error) noexcept;

}  // namespace ombrelin::session
