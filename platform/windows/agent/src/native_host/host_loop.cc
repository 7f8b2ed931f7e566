#include "native_host/host_loop.h"

#include "native_host/service_origin.h"
#include "os/unix_time.h"
#include "session/dispatcher.h"

namespace ombrelin::native_host {

HostLoop::HostLoop(os::DesktopEnvironment& desktop, HostState& state, std::string caller_origin,
                   ReaderChannel::Receiver& reader, session::IndicatorReceiver indicator_receiver,
                   const Doorbell& doorbell)
    : desktop_(desktop),
      state_(state),
      caller_origin_(std::move(caller_origin)),
      reader_(reader),
      indicator_receiver_(std::move(indicator_receiver)),
      doorbell_(doorbell),
      writer_(desktop.standard_output()) {}

std::expected<void, FatalError> HostLoop::run() {
  while (true) {
    const std::uint64_t rings = doorbell_.rings();
    serve_indicator_events();
    state_.sessions.stop_if_lease_expired(os::lease_check_seconds(desktop_.wall_clock()));
    state_.sessions.retry_refused_releases();
    state_.sessions.end_local_hold_back_when_over();

    std::optional<ReaderEvent> event;
    switch (reader_.receive_for(std::chrono::milliseconds(0), event)) {
      case ReaderChannel::Wait::kTimedOut:
        (void)doorbell_.wait_for_ring(rings, kReadWait);
        continue;
      case ReaderChannel::Wait::kDisconnected:
        state_.sessions.stop_session();
        return {};
      case ReaderChannel::Wait::kReceived:
        break;
    }
    // Whatever the local user did before this message came in is served first: a
    // Stop or a Pause that reached the agent is never overtaken by remote input.
    serve_indicator_events();
    if (auto* message = std::get_if<std::unique_ptr<native_protocol::IncomingMessage>>(&*event)) {
      if (auto handled = handle(std::move(**message)); !handled) {
        return handled;
      }
      continue;
    }
    state_.sessions.stop_session();
    if (std::holds_alternative<EndOfInput>(*event)) {
      return {};
    }
    return std::unexpected(FatalError::of(FatalKind::kFramingFailed));
  }
}

void HostLoop::serve_indicator_events() {
  while (const auto event = indicator_receiver_.try_receive()) {
    state_.sessions.on_indicator_event(*event);
  }
}

std::expected<void, FatalError> HostLoop::handle(native_protocol::IncomingMessage&& message) {
  const HandshakeContext context{state_.config.allowed_extension_ids, caller_origin_,
                                 kServiceWebOrigin, desktop_.random(), state_.request_ids};
  auto action = handshake_.step(std::move(message), context);
  if (!action) {
    if (action.error().kind != FatalKind::kRandomGenerationFailed) {
      state_.sessions.stop_session();
    }
    return std::unexpected(std::move(action.error()));
  }
  if (auto* reply = std::get_if<WriteReply>(&*action)) {
    return writer_.write(reply->body);
  }
  return execute(std::get<ExecuteCommand>(std::move(*action)));
}

std::expected<void, FatalError> HostLoop::execute(ExecuteCommand&& command) {
  session::DispatchContext context{state_.sessions, desktop_.wall_clock(), state_.binding};
  const auto result = session::dispatch_command(std::move(command.command), context);
  if (!result) {
    return writer_.write(native_protocol::serialize(
        native_protocol::FailureResponse{command.request_id, session::to_string(result.error())}));
  }
  const native_protocol::StatusPayload status = build_status_payload(state_);
  return writer_.write(
      native_protocol::serialize(native_protocol::SuccessResponse{command.request_id, status}));
}

}  // namespace ombrelin::native_host
