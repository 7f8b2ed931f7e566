#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "os/os_error.h"

namespace ombrelin::os {

// A raw byte stream read without any text translation (standard input). Owned by
// one thread for its whole life.
class ByteInput {
 public:
  virtual ~ByteInput() = default;
  // Reads at least one byte, or returns 0 at the end of the stream.
  [[nodiscard]] virtual std::expected<std::size_t, OsError> read_some(
      std::span<std::uint8_t> buffer) = 0;
};

// A raw byte stream written without any text translation or hidden buffering
// (standard output). Owned by one thread for its whole life.
class ByteOutput {
 public:
  virtual ~ByteOutput() = default;
  [[nodiscard]] virtual std::expected<void, OsError> write_all(
      std::span<const std::uint8_t> bytes) = 0;
  [[nodiscard]] virtual std::expected<void, OsError> flush() = 0;
};

}  // namespace ombrelin::os
