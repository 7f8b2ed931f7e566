#pragma once

// The four documents the host sends. Each is serialised whole into memory before
// anything is written, so a failure here never leaves half a frame behind.

#include <expected>
#include <string>
#include <string_view>

#include "native_protocol/status_payload.h"

namespace ombrelin::native_protocol {

struct SerializeError {};
using Serialized = std::expected<std::string, SerializeError>;

struct HelloAck {
  std::string_view request_id;
  std::string_view extension_challenge;
  std::string_view agent_challenge;
  std::string_view origin;
};

struct Ready {
  std::string_view request_id;
  std::string_view agent_challenge;
};

struct SuccessResponse {
  std::string_view request_id;
  const StatusPayload& status;
};

struct FailureResponse {
  std::string_view request_id;
  std::string_view error;
};

[[nodiscard]] Serialized serialize(const HelloAck& envelope);
[[nodiscard]] Serialized serialize(const Ready& envelope);
[[nodiscard]] Serialized serialize(const SuccessResponse& envelope);
[[nodiscard]] Serialized serialize(const FailureResponse& envelope);

}  // namespace ombrelin::native_protocol
