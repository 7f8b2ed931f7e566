#pragma once

#include <expected>
#include <string>

#include "input/control_rate_window.h"
#include "input/control_sequence_state.h"
#include "input/input_adapter.h"
#include "ombrelin/protocol/text_codecs.h"
#include "os/monotonic_clock.h"
#include "session/command_error.h"
#include "session/session_gate.h"
#include "session/unix_clock.h"

namespace ombrelin::input {

// The parts of the active session that the control path reads and changes, all
// borrowed from session::ActiveSession for the length of one call.
struct ControlSession {
  const std::string& session_id_text;
  const protocol::Uuid& session_id;
  const std::string& display_id;
  session::SessionGate& gate;
  InputAdapter& adapter;
  ControlRateWindow& rate_window;
  ControlSequenceState& sequence;
};

// The session operations the control path sets off. The session library, which
// depends on this one, implements them; this library uses the session's types
// only through their headers and links none of its code.
class ControlHooks {
 public:
  virtual ~ControlHooks() = default;

  // The wall clock as Unix time (session::read_unix_clock).
  [[nodiscard]] virtual std::expected<session::UnixTime, session::CommandError>
  read_wall_clock() = 0;
  // Ends the session's gate (session::SessionGate::end); the session stays.
  virtual void end_gate() = 0;
  // Posts the pause state to the visible indicator; a failed post is ignored.
  virtual void show_paused(bool paused) = 0;
  // The whole session stop: the session is taken away, its gate ended, its input
  // released and its indicator closed. Every ControlSession reference dangles
  // afterwards.
  virtual void stop_session() = 0;
};

// Everything one control command works on. `session` is null when no session
// exists.
struct ControlContext {
  ControlSession* session = nullptr;
  const os::MonotonicClock& monotonic_clock;
  ControlHooks& hooks;
};

}  // namespace ombrelin::input
