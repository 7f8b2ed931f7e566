#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "native_host/fatal_error.h"
#include "native_protocol/strict_json.h"
#include "ombrelin/protocol/host_binding.h"
#include "os/config_file_access.h"

namespace ombrelin::native_host {

inline constexpr std::size_t kMaxConfigBytes = 4096;
inline constexpr std::size_t kMaxAllowedExtensionIds = 8;
inline constexpr std::size_t kExtensionIdLength = 32;
inline constexpr std::size_t kMaxDeviceNameBytes = 128;

// The per-user configuration file, as written: which extensions may call the
// host, and which device and identity this computer is.
struct HostConfig {
  std::vector<std::string> allowed_extension_ids;
  std::string target_device_id;
  std::string target_identity_fingerprint;
  std::string device_name;
};

// Reads the file once; any problem is fatal, the host never runs half-configured.
[[nodiscard]] std::expected<HostConfig, FatalError> load_host_config(
    const os::ConfigFileAccess& files);

// Strict decoding of the file's bytes (no byte-order mark, exactly four members).
[[nodiscard]] json::Decoded<HostConfig> decode_host_config(std::string_view bytes);

// Checks every member and derives the identity tickets must be bound to.
[[nodiscard]] std::expected<protocol::HostBinding, FatalError> validate_host_config(
    const HostConfig& config);

}  // namespace ombrelin::native_host
