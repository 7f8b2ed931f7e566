#pragma once

#include <expected>
#include <string_view>

#include "input/control_context.h"
#include "native_protocol/messages.h"
#include "session/command_error.h"

namespace ombrelin::input {

// The whole control command: canonical size, session, session id, rate, then
// conversion, then each resulting event in order. A release-all message only
// releases. The wall clock is read once, after conversion. Any refused event
// releases all held input, pauses input while the gate is still active, tells
// the indicator, and drops the events after it; a peer stop stops the session
// (through the hooks) and succeeds.
//
// The session host is expected to call it as
//
//   std::optional<input::ControlSession> parts;
//   if (session_) {
//     parts.emplace(input::ControlSession{session_->session_id_text, session_->session_id,
//                                         session_->display_id, session_->gate,
//                                         *session_->input_adapter, session_->rate_window,
//                                         session_->control_sequence});
//   }
//   Hooks hooks{...};  // read_unix_clock(wall), gate.end(), indicator.show_paused(),
//                      // stop_session() of this host
//   return input::handle_control({parts ? &*parts : nullptr, monotonic_clock, hooks},
//                                control.session_id, control.control);
//
// with nothing of the session touched after it returns unless the session still
// exists: a peer stop has taken it away.
[[nodiscard]] std::expected<void, session::CommandError> handle_control(
    const ControlContext& context, std::string_view session_id,
    const native_protocol::ControlMessage& message);

// Lets go of everything the adapter holds (its own failure changes nothing for
// the caller) and forgets the pointer buttons the remote party held.
void release_session_input(InputAdapter& adapter, ControlSequenceState& sequence);

}  // namespace ombrelin::input
