#include "native_host/run_host.h"

#include <optional>

#include "native_host/caller_origin.h"
#include "native_host/host_config.h"
#include "native_host/host_loop.h"

namespace ombrelin::native_host {
namespace {

// Waits (up to kReaderEndLimit) for the reader to end, unless it stays in a read
// for kReaderReadGrace: the page still holds its end of the pipe, nothing wakes
// that read, and the reader ends with the process. A read that returns within
// the grace is followed by a send that fails, and so by the reader's end.
void wait_for_ending_reader(ReaderThread& reader) {
  constexpr std::chrono::milliseconds kPoll{5};
  const auto start = std::chrono::steady_clock::now();
  auto out_of_read = start;
  while (!reader.wait_for_end(kPoll)) {
    const auto now = std::chrono::steady_clock::now();
    if (!reader.waiting_in_read()) {
      out_of_read = now;
    }
    if (now - start >= kReaderEndLimit || now - out_of_read >= kReaderReadGrace) {
      return;
    }
  }
}

}  // namespace

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

  // Both channels ring the one doorbell the main loop waits on.
  const auto doorbell = std::make_shared<Doorbell>();
  auto [reader_sender, reader_receiver] = ReaderChannel::create(kReaderChannelCapacity, doorbell);
  ReaderThread reader =
      start_reader_thread(desktop.take_standard_input(), std::move(reader_sender));
  std::optional<ReaderChannel::Receiver> reader_events(std::move(reader_receiver));
  auto [indicator_sender, indicator_receiver] = session::IndicatorChannel::create(0, doorbell);

  HostState state(std::move(*config), *binding, desktop, std::move(indicator_sender),
                  reader.input_ended());
  HostLoop loop(desktop, state, caller.text, *reader_events, std::move(indicator_receiver),
                *doorbell);
  auto result = loop.run();
  // Nobody receives from here on: a reader that was handing over a message, or
  // had already sent its last event, is ending, and is waited for.
  reader_events.reset();
  wait_for_ending_reader(reader);
  return result;
}

}  // namespace ombrelin::native_host
