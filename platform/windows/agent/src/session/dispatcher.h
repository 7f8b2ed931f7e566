#pragma once

#include <expected>

#include "native_protocol/messages.h"
#include "ombrelin/protocol/host_binding.h"
#include "os/wall_clock.h"
#include "session/command_error.h"
#include "session/session_host.h"

namespace ombrelin::session {

// What one command may act on. Main thread only, for the duration of one call.
struct DispatchContext {
  SessionHost& sessions;
  const os::WallClock& clock;
  const protocol::HostBinding& binding;
};

// Executes one command of a ready caller. The command is consumed whatever the
// outcome; a failure is one fixed CommandError and never ends the run.
[[nodiscard]] std::expected<void, CommandError> dispatch_command(
    native_protocol::NativeCommand&& command, DispatchContext& context);

}  // namespace ombrelin::session
