#pragma once

#include <chrono>
#include <expected>
#include <string>

#include "base/doorbell.h"
#include "native_host/fatal_error.h"
#include "native_host/framing.h"
#include "native_host/handshake.h"
#include "native_host/host_state.h"
#include "native_host/reader_thread.h"
#include "os/desktop_environment.h"
#include "session/indicator_event.h"

namespace ombrelin::native_host {

// The longest the loop waits for the reader before serving the indicator and
// the lease again.
inline constexpr std::chrono::milliseconds kReadWait{100};

// The single-threaded loop that owns all session state. Each pass serves the
// indicator's events, ends an expired session and takes one message of the page,
// or waits briefly for news from either: both channels ring the doorbell, so the
// local user's events are served as soon as they come.
class HostLoop {
 public:
  HostLoop(os::DesktopEnvironment& desktop, HostState& state, std::string caller_origin,
           ReaderChannel::Receiver& reader, session::IndicatorReceiver indicator_receiver,
           const Doorbell& doorbell);

  // Runs until the end of input (success) or a fatal host error.
  [[nodiscard]] std::expected<void, FatalError> run();

 private:
  void serve_indicator_events();
  // Handles one decoded message; a fatal error ends the run.
  [[nodiscard]] std::expected<void, FatalError> handle(native_protocol::IncomingMessage&& message);
  [[nodiscard]] std::expected<void, FatalError> execute(ExecuteCommand&& command);

  os::DesktopEnvironment& desktop_;
  HostState& state_;
  const std::string caller_origin_;
  ReaderChannel::Receiver& reader_;
  session::IndicatorReceiver indicator_receiver_;
  const Doorbell& doorbell_;
  FrameWriter writer_;
  Handshake handshake_;
};

}  // namespace ombrelin::native_host
