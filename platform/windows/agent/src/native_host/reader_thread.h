#pragma once

#include <memory>

#include "base/channel.h"
#include "native_host/reader_event.h"
#include "os/byte_stream.h"

namespace ombrelin::native_host {

using ReaderChannel = Channel<ReaderEvent>;

// Starts the thread that owns standard input for the rest of the process: it
// reads and decodes frames and sends each result to the main loop, stopping after
// the end of input, the first bad frame, or when the main loop has gone. It is
// never joined: the process may end while it waits in a read.
// A thread that cannot be started ends the process abnormally (neither 0 nor 1).
void start_reader_thread(std::unique_ptr<os::ByteInput> input, ReaderChannel::Sender sender);

}  // namespace ombrelin::native_host
