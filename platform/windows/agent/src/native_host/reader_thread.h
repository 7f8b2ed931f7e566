#pragma once

#include <atomic>
#include <chrono>
#include <functional>
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

// How long the end of the run waits for a reader that is ending, and how long
// a reader may stay in a read before it counts as waiting for the page.
inline constexpr std::chrono::milliseconds kReaderEndLimit{1000};
inline constexpr std::chrono::milliseconds kReaderReadGrace{100};

// The thread that owns standard input for the rest of the process: it reads and
// decodes frames and sends each result to the main loop, stopping after the end
// of input, the first bad frame, or when the main loop has gone.
class ReaderThread {
 public:
  // Where the reader stands, shared with its thread.
  struct Progress {
    std::atomic<bool> in_read = false;
    std::atomic<bool> input_ended = false;  // the end of input or a bad frame was read
  };

  ReaderThread(os::StartedThread thread, std::shared_ptr<const Progress> progress)
      : thread_(std::move(thread)), progress_(std::move(progress)) {}

  // Whether it waits for standard input. Nothing wakes such a read, so the
  // process may end under it; a reader anywhere else is about to end once the
  // main loop has gone, and is better waited for (`kReaderEndLimit`).
  [[nodiscard]] bool waiting_in_read() const { return progress_->in_read.load(); }

  // Whether the page's input has ended (or broke off): nothing the page sends
  // can come any more, even while earlier messages still wait in the channel.
  // Any thread may ask.
  [[nodiscard]] std::function<bool()> input_ended() const {
    return [progress = progress_] { return progress->input_ended.load(); };
  }

  [[nodiscard]] bool wait_for_end(std::chrono::milliseconds limit) {
    return thread_.wait_for_end(limit);
  }

 private:
  os::StartedThread thread_;
  std::shared_ptr<const Progress> progress_;
};

// A thread that cannot be started ends the process abnormally (neither 0 nor 1).
[[nodiscard]] ReaderThread start_reader_thread(std::unique_ptr<os::ByteInput> input,
                                               ReaderChannel::Sender sender);

}  // namespace ombrelin::native_host
