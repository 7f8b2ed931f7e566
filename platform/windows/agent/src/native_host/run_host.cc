#include "native_host/run_host.h"

#include <optional>

#include "native_host/caller_origin.h"
#include "native_host/host_config.h"
#include "native_host/host_loop.h"

namespace ombrelin::native_host {

std::expected<void, FatalError> run_host(os::DesktopEnvironment& desktop) {
  // The configuration comes first, before the command line is looked at.
  auto config = load_host_config(desktop.config_files());
  if (!config) {
    return std::unexpected(std::move(config.error()));
  }
  const auto binding = bind_host_config(*config);
  if (!binding) {
    return std::unexpected(binding.error());
  }

  const os::CallerArgument& caller = desktop.caller_argument();
  if (caller.state == os::CallerArgument::State::kMissing) {
    return std::unexpected(FatalError::of(FatalKind::kCallerOriginMissing));
  }
  if (caller.state != os::CallerArgument::State::kPresent ||
      !is_allowed_caller_origin(config->allowed_extension_ids, caller.text)) {
    return std::unexpected(FatalError::of(FatalKind::kCallerOriginNotAllowed));
  }

  auto [reader_sender, reader_receiver] = ReaderChannel::create_bounded(kReaderChannelCapacity);
  ReaderThread reader =
      start_reader_thread(desktop.take_standard_input(), std::move(reader_sender));
  std::optional<ReaderChannel::Receiver> reader_events(std::move(reader_receiver));
  auto [indicator_sender, indicator_receiver] = Channel<session::IndicatorEvent>::create();

  HostState state(std::move(*config), *binding, desktop, std::move(indicator_sender));
  HostLoop loop(desktop, state, caller.text, *reader_events, std::move(indicator_receiver));
  auto result = loop.run();
  // Nobody receives from here on: a reader that was handing over a message, or
  // had already sent its last event, is ending, and is waited for; one waiting
  // for standard input cannot be woken and ends with the process.
  reader_events.reset();
  if (!reader.waiting_in_read()) {
    (void)reader.wait_for_end(kReaderEndLimit);
  }
  return result;
}

}  // namespace ombrelin::native_host
