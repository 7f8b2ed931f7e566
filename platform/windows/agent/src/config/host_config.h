#pragma once

// The per-user configuration file's document and the rules its values must
// pass. The agent applies them when it starts; the setup programs apply the same
// rules before they write a file, so that they never write one the agent refuses.

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "json/strict_json.h"
#include "ombrelin/protocol/host_binding.h"

namespace ombrelin::config {

inline constexpr std::size_t kMaxConfigBytes = 4096;
inline constexpr std::size_t kMaxAllowedExtensionIds = 8;
inline constexpr std::size_t kExtensionIdLength = 32;
inline constexpr std::size_t kMaxDeviceNameBytes = 128;

// The configuration as written: which extensions may call the host, and which
// device and identity this computer is.
struct HostConfig {
  std::vector<std::string> allowed_extension_ids;
  std::string target_device_id;
  std::string target_identity_fingerprint;
  std::string device_name;
};

// Strict decoding of the file's bytes (no byte-order mark, exactly four members).
[[nodiscard]] json::Decoded<HostConfig> decode_host_config(std::string_view bytes);

// A configuration that breaks one of the value rules; which one is not told.
struct InvalidHostConfig {};

// Checks every member and derives the identity tickets must be bound to.
[[nodiscard]] std::expected<protocol::HostBinding, InvalidHostConfig> validate_host_config(
    const HostConfig& config);

}  // namespace ombrelin::config
