#include "native_host/fatal_error.h"

namespace ombrelin::native_host {

std::string_view to_string(FatalKind kind) noexcept {
  switch (kind) {
    case FatalKind::kLocalAppDataUnavailable:
      return "LOCALAPPDATA is unavailable";
    case FatalKind::kConfigSizeInvalid:
      return "native host configuration size is invalid";
    case FatalKind::kConfigSchemaInvalid:
      return "native host configuration schema is invalid";
    case FatalKind::kConfigValidationFailed:
      return "native host configuration validation failed";
    case FatalKind::kCallerOriginMissing:
      return "native host caller origin is missing";
    case FatalKind::kCallerOriginNotAllowed:
      return "native host caller origin is not allowed";
    case FatalKind::kFramingFailed:
      return "native message framing or schema failed";
    case FatalKind::kHandshakeSequenceFailed:
      return "native handshake sequence failed";
    case FatalKind::kFreshnessHelloFailed:
      return "native freshness hello failed";
    case FatalKind::kRandomGenerationFailed:
      return "Windows random generation failed";
    case FatalKind::kResponseSizeInvalid:
      return "native response size is invalid";
    case FatalKind::kResponseSerializationFailed:
      return "native response serialization failed";
    case FatalKind::kOperatingSystem:
      return "operating-system I/O error";
  }
  return "unknown";
}

}  // namespace ombrelin::native_host
