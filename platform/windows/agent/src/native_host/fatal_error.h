#pragma once

#include <cstdint>
#include <string_view>

#include "os/os_error.h"

namespace ombrelin::native_host {

// Why a run ended with status 1. None of these is ever printed or sent; the kind
// exists so that tests and readers can tell the causes apart.
enum class FatalKind : std::uint8_t {
  kLocalAppDataUnavailable,
  kConfigSizeInvalid,
  kConfigSchemaInvalid,
  kConfigValidationFailed,
  kCallerOriginMissing,
  kCallerOriginNotAllowed,
  kFramingFailed,
  kHandshakeSequenceFailed,
  kFreshnessHelloFailed,
  kRandomGenerationFailed,
  kResponseSizeInvalid,
  kResponseSerializationFailed,
  kOperatingSystem,  // an I/O error passed through unchanged
};

[[nodiscard]] std::string_view to_string(FatalKind kind) noexcept;

struct FatalError {
  FatalKind kind = FatalKind::kOperatingSystem;
  os::OsError os_error;  // set for kOperatingSystem only

  static FatalError of(FatalKind kind) { return FatalError{kind, {}}; }
  static FatalError from(os::OsError error) {
    return FatalError{FatalKind::kOperatingSystem, std::move(error)};
  }
};

}  // namespace ombrelin::native_host
