#pragma once

#include <expected>

#include "config/host_config.h"
#include "native_host/fatal_error.h"
#include "ombrelin/protocol/host_binding.h"
#include "os/config_file_access.h"

namespace ombrelin::native_host {

// Reads the configuration file once; any problem is fatal, the host never runs
// half-configured.
[[nodiscard]] std::expected<config::HostConfig, FatalError> load_host_config(
    const os::ConfigFileAccess& files);

// The host's identity from a loaded configuration, or the fatal error that a
// value breaking its rule is.
[[nodiscard]] std::expected<protocol::HostBinding, FatalError> bind_host_config(
    const config::HostConfig& config);

}  // namespace ombrelin::native_host
