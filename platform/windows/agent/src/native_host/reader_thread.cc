#include "native_host/reader_thread.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "native_host/framing.h"

namespace ombrelin::native_host {
namespace {

// Distinct from the statuses of a clean (0) or fatal (1) end.
constexpr int kThreadSpawnFailureStatus = 101;

void read_until_end(std::unique_ptr<os::ByteInput> input, ReaderChannel::Sender sender) {
  native_protocol::MessageDecoder decoder;
  FrameReader reader(*input, decoder);
  while (true) {
    ReaderEvent event = reader.read_frame();
    const bool last =
        !std::holds_alternative<std::unique_ptr<native_protocol::IncomingMessage>>(event);
    if (!sender.send(std::move(event)) || last) {
      return;
    }
  }
}

}  // namespace

void start_reader_thread(std::unique_ptr<os::ByteInput> input, ReaderChannel::Sender sender) {
  try {
    std::thread(read_until_end, std::move(input), std::move(sender)).detach();
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "failed to spawn thread: %s\n", error.what());
    std::_Exit(kThreadSpawnFailureStatus);
  }
}

}  // namespace ombrelin::native_host
