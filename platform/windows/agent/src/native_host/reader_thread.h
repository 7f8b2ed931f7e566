#pragma once

#include <chrono>
#include <memory>

#include "base/channel.h"
#include "native_host/reader_event.h"
#include "os/byte_stream.h"
#include "os/started_thread.h"

namespace ombrelin::native_host {

using ReaderChannel = Channel<ReaderEvent>;

// How many decoded messages may wait for the main loop. While it is busy (the
// consent box is open, or the page does not read its responses) the reader
// stops there, and the page's further frames wait in the pipe, not in memory.
inline constexpr std::size_t kReaderChannelCapacity = 4;

// How long the end of the run waits for a reader that has sent its last event.
inline constexpr std::chrono::milliseconds kReaderEndLimit{1000};

// Starts the thread that owns standard input for the rest of the process: it
// reads and decodes frames and sends each result to the main loop, stopping after
// the end of input, the first bad frame, or when the main loop has gone. The
// process may end while it waits in a read; once it has sent its last event it
// is ending, and is waited for (`kReaderEndLimit`).
// A thread that cannot be started ends the process abnormally (neither 0 nor 1).
[[nodiscard]] os::StartedThread start_reader_thread(std::unique_ptr<os::ByteInput> input,
                                                    ReaderChannel::Sender sender);

}  // namespace ombrelin::native_host
