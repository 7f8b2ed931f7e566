#pragma once

#include <cstddef>
#include <expected>
#include <string>

#include "native_host/fatal_error.h"
#include "native_host/reader_event.h"
#include "native_protocol/envelopes.h"
#include "native_protocol/message_decoder.h"
#include "os/byte_stream.h"

namespace ombrelin::native_host {

inline constexpr std::size_t kMaxFrameBytes = 32768;

// Takes frames off standard input: a 4-byte little-endian length, then that many
// bytes of one JSON document. Never skips a bad frame and never resynchronises.
// Reader thread only.
class FrameReader {
 public:
  FrameReader(os::ByteInput& input, native_protocol::MessageDecoder& decoder)
      : input_(input), decoder_(decoder) {}

  // One decoded message, EndOfInput (only at a frame boundary) or FramingFailure.
  [[nodiscard]] ReaderEvent read_frame();

 private:
  // Reads exactly `out.size()` bytes; false on end of input or error.
  bool read_exactly(std::span<std::uint8_t> out);

  os::ByteInput& input_;
  native_protocol::MessageDecoder& decoder_;
};

// Writes whole response frames to standard output: the body is complete and
// within the limit before its length goes out, then length, body and a flush.
// Main loop only.
class FrameWriter {
 public:
  explicit FrameWriter(os::ByteOutput& output) : output_(output) {}

  [[nodiscard]] std::expected<void, FatalError> write(const native_protocol::Serialized& body);

 private:
  os::ByteOutput& output_;
};

}  // namespace ombrelin::native_host
