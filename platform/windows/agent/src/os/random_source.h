#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "os/os_error.h"

namespace ombrelin::os {

// The operating system's preferred cryptographic random generator. Used on the
// main thread only.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  [[nodiscard]] virtual std::expected<void, OsError> fill(std::span<std::uint8_t> out) = 0;
};

}  // namespace ombrelin::os
