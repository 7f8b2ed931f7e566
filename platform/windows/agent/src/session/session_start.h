#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "ombrelin/protocol/session_start.h"
#include "os/started_thread.h"
#include "session/active_session.h"
#include "session/command_error.h"
#include "session/session_services.h"

namespace ombrelin::session {

// Why a new session did not start. An indicator that reported its start too late
// is closing its own window; its thread is handed back to be waited for at the
// end of the run like any other.
struct SessionStartFailure {
  CommandError error = CommandError::kIndicatorStartFailed;
  std::optional<os::StartedThread> closing_indicator;
};

// A new session for a verified grant, on the road the local user can follow:
// the primary display, the local user's consent, the gate approved at `now_s`
// (the time read before the consent box was shown), the input adapter, then the
// visible indicator. A failure at any step leaves nothing behind (the adapter,
// once made, releases everything when it is discarded).
// `number` names the session in its indicator's events.
[[nodiscard]] std::expected<ActiveSession, SessionStartFailure> start_session(
    SessionServices& services, const protocol::SessionGrant& grant, std::uint64_t now_s,
    std::uint64_t number);

// The gate's request for a grant: its first six fields.
[[nodiscard]] GateRequest gate_request(const protocol::SessionGrant& grant);

}  // namespace ombrelin::session
