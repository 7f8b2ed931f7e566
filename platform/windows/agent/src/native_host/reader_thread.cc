#include "native_host/reader_thread.h"

#include <cstdio>
#include <cstdlib>

#include "native_host/framing.h"

namespace ombrelin::native_host {
namespace {

// Distinct from the statuses of a clean (0) or fatal (1) end.
constexpr int kThreadSpawnFailureStatus = 101;

void read_until_end(std::unique_ptr<os::ByteInput> input, ReaderChannel::Sender sender,
                    ReaderThread::Progress& progress) {
  native_protocol::MessageDecoder decoder;
  FrameReader reader(*input, decoder);
  while (true) {
    progress.in_read = true;
    ReaderEvent event = reader.read_frame();
    progress.in_read = false;
    const bool last =
        !std::holds_alternative<std::unique_ptr<native_protocol::IncomingMessage>>(event);
    if (last) {
      progress.input_ended = true;
    }
    if (!sender.send(std::move(event)) || last) {
      return;
    }
  }
}

}  // namespace

ReaderThread start_reader_thread(std::unique_ptr<os::ByteInput> input,
                                 ReaderChannel::Sender sender) {
  auto progress = std::make_shared<ReaderThread::Progress>();
  // The reader has no name of its own.
  auto thread = os::start_thread(
      {}, [input = std::move(input), sender = std::move(sender), progress]() mutable {
        read_until_end(std::move(input), std::move(sender), *progress);
      });
  if (!thread) {
    std::fprintf(stderr, "failed to spawn thread: %s\n", thread.error().message().c_str());
    std::_Exit(kThreadSpawnFailureStatus);
  }
  return ReaderThread(std::move(*thread), std::move(progress));
}

}  // namespace ombrelin::native_host
