#include "native_host/host_config.h"

namespace ombrelin::native_host {
namespace {

std::unexpected<FatalError> fail(FatalKind kind) { return std::unexpected(FatalError::of(kind)); }

}  // namespace

std::expected<config::HostConfig, FatalError> load_host_config(const os::ConfigFileAccess& files) {
  const auto path = files.config_file_path();
  if (!path) {
    return fail(FatalKind::kLocalAppDataUnavailable);
  }
  const auto facts = files.file_facts(*path);
  if (!facts) {
    return std::unexpected(FatalError::from(facts.error()));
  }
  if (facts->is_name_surrogate || facts->is_directory || facts->size == 0 ||
      facts->size > config::kMaxConfigBytes) {
    return fail(FatalKind::kConfigSizeInvalid);
  }
  const auto contents = files.read_file(*path, config::kMaxConfigBytes);
  if (!contents) {
    return std::unexpected(FatalError::from(contents.error()));
  }
  // The file may have changed since its size was taken; the limit still holds.
  if (contents->empty() || contents->size() > config::kMaxConfigBytes) {
    return fail(FatalKind::kConfigSizeInvalid);
  }
  auto config = config::decode_host_config(*contents);
  if (!config) {
    return fail(FatalKind::kConfigSchemaInvalid);
  }
  return std::move(*config);
}

std::expected<protocol::HostBinding, FatalError> bind_host_config(
    const config::HostConfig& config) {
  const auto binding = config::validate_host_config(config);
  if (!binding) {
    return fail(FatalKind::kConfigValidationFailed);
  }
  return *binding;
}

}  // namespace ombrelin::native_host
