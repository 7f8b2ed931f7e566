#include "setup/host_files.h"

#include <algorithm>

#include "json/json_writer.h"

namespace ombrelin::setup {
namespace {

using config::HostConfig;

// Values that pass the agent's rules, so that each value given can be put
// through those rules on its own and a refusal pinned on it.
HostConfig placeholder_config() {
  return HostConfig{{std::string(config::kExtensionIdLength, 'a')},
                    "00000000-0000-4000-8000-000000000001",
                    "AQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQE",
                    "Setup check"};
}

bool agent_accepts(const HostConfig& config) {
  return config::validate_host_config(config).has_value();
}

std::unexpected<ValueError> refuse(std::string message) {
  return std::unexpected(ValueError{std::move(message)});
}

}  // namespace

std::string json_quoted(std::string_view text) {
  json::JsonWriter writer;
  writer.string(text);
  if (writer.failed()) {
    return "(a value that is not UTF-8 text)";
  }
  return std::move(writer).take();
}

std::expected<HostConfig, ValueError> checked_host_config(const InstallValues& values) {
  HostConfig config;
  for (const std::string& id : values.extension_ids) {
    if (std::ranges::find(config.allowed_extension_ids, id) == config.allowed_extension_ids.end()) {
      config.allowed_extension_ids.push_back(id);
    }
  }
  config.target_device_id = values.device_id;
  config.target_identity_fingerprint = values.identity_fingerprint;
  config.device_name = values.device_name;

  for (const std::string& id : config.allowed_extension_ids) {
    HostConfig probe = placeholder_config();
    probe.allowed_extension_ids = {id};
    if (!agent_accepts(probe)) {
      return refuse("--extension-id " + json_quoted(id) +
                    " is not an extension id: 32 letters from a to p");
    }
  }
  {
    HostConfig probe = placeholder_config();
    probe.allowed_extension_ids = config.allowed_extension_ids;
    if (!agent_accepts(probe)) {
      return refuse(
          "--extension-id is given for " + std::to_string(config.allowed_extension_ids.size()) +
          " extensions; the agent allows 1 to " + std::to_string(config::kMaxAllowedExtensionIds));
    }
  }
  {
    HostConfig probe = placeholder_config();
    probe.target_device_id = config.target_device_id;
    if (!agent_accepts(probe)) {
      return refuse("--device-id " + json_quoted(config.target_device_id) +
                    " is not a device id: lowercase UUID text (8-4-4-4-12 hexadecimal "
                    "digits), version 1 to 8, variant 8, 9, a or b, not all zero");
    }
  }
  {
    HostConfig probe = placeholder_config();
    probe.target_identity_fingerprint = config.target_identity_fingerprint;
    if (!agent_accepts(probe)) {
      return refuse("--identity-fingerprint " + json_quoted(config.target_identity_fingerprint) +
                    " is not an identity fingerprint: 32 bytes, not all zero, in URL-safe "
                    "base64 without padding (43 characters)");
    }
  }
  {
    HostConfig probe = placeholder_config();
    probe.device_name = config.device_name;
    if (!agent_accepts(probe)) {
      return refuse("--device-name " + json_quoted(config.device_name) +
                    " is not a device name: at most " +
                    std::to_string(config::kMaxDeviceNameBytes) +
                    " bytes of UTF-8, not blank, no control characters");
    }
  }
  // Each value passed alone; the whole must pass as well.
  if (!agent_accepts(config)) {
    return refuse("the values together are refused by the agent's configuration rules");
  }
  return config;
}

std::expected<std::string, ValueError> host_config_document(const HostConfig& config) {
  json::JsonWriter writer;
  writer.begin_object();
  writer.key("allowedExtensionIds");
  writer.begin_array();
  for (const std::string& id : config.allowed_extension_ids) {
    writer.string(id);
  }
  writer.end_array();
  writer.key("targetDeviceId");
  writer.string(config.target_device_id);
  writer.key("targetIdentityFingerprint");
  writer.string(config.target_identity_fingerprint);
  writer.key("deviceName");
  writer.string(config.device_name);
  writer.end_object();
  if (writer.failed()) {
    return refuse("the configuration cannot be written as JSON");
  }
  std::string document = std::move(writer).take();
  // What the agent will do with the file, done here first.
  const auto read_back = config::decode_host_config(document);
  if (document.size() > config::kMaxConfigBytes || !read_back ||
      read_back->allowed_extension_ids != config.allowed_extension_ids ||
      read_back->target_device_id != config.target_device_id ||
      read_back->target_identity_fingerprint != config.target_identity_fingerprint ||
      read_back->device_name != config.device_name || !agent_accepts(*read_back)) {
    return refuse("the configuration file would not be accepted by the agent");
  }
  return document;
}

std::expected<std::string, ValueError> host_manifest_document(
    std::string_view agent_path, std::span<const std::string> extension_ids) {
  json::JsonWriter writer;
  writer.begin_object();
  writer.key("name");
  writer.string(kHostName);
  writer.key("description");
  writer.string(kHostDescription);
  writer.key("path");
  writer.string(agent_path);
  writer.key("type");
  writer.string("stdio");
  writer.key("allowed_origins");
  writer.begin_array();
  for (const std::string& id : extension_ids) {
    writer.string("chrome-extension://" + id + "/");
  }
  writer.end_array();
  writer.end_object();
  if (writer.failed()) {
    return refuse("the host manifest cannot be written as JSON");
  }
  return std::move(writer).take();
}

}  // namespace ombrelin::setup
