#include "config/host_config.h"

#include <algorithm>

#include "ombrelin/protocol/text_codecs.h"
#include "ombrelin/protocol/unicode_text.h"

namespace ombrelin::config {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool is_extension_id(std::string_view id) {
  return id.size() == kExtensionIdLength &&
         std::ranges::all_of(id, [](char c) { return c >= 'a' && c <= 'p'; });
}

bool is_acceptable_device_name(std::string_view name) {
  return name.size() <= kMaxDeviceNameBytes && !protocol::trim_unicode_white_space(name).empty() &&
         !protocol::contains_control_character(name);
}

}  // namespace

json::Decoded<HostConfig> decode_host_config(std::string_view bytes) {
  using json::DecodeError;
  if (bytes.starts_with(kUtf8ByteOrderMark)) {
    return std::unexpected(DecodeError{});
  }
  json::DocumentParser parser;
  const auto root = parser.parse(bytes);
  if (!root) {
    return std::unexpected(DecodeError{});
  }
  auto object = json::StrictObject::open(*root);
  if (!object) {
    return std::unexpected(DecodeError{});
  }
  HostConfig config;
  const auto ids = object->take_array("allowedExtensionIds");
  if (!ids) {
    return std::unexpected(DecodeError{});
  }
  for (const simdjson::dom::element item : *ids) {
    auto id = json::StrictObject::read_string(item);
    if (!id) {
      return std::unexpected(DecodeError{});
    }
    config.allowed_extension_ids.push_back(std::move(*id));
  }
  auto device_id = object->take_string("targetDeviceId");
  auto fingerprint = object->take_string("targetIdentityFingerprint");
  auto device_name = object->take_string("deviceName");
  if (!device_id || !fingerprint || !device_name || !object->finish()) {
    return std::unexpected(DecodeError{});
  }
  config.target_device_id = std::move(*device_id);
  config.target_identity_fingerprint = std::move(*fingerprint);
  config.device_name = std::move(*device_name);
  return config;
}

std::expected<protocol::HostBinding, InvalidHostConfig> validate_host_config(
    const HostConfig& config) {
  const auto& ids = config.allowed_extension_ids;
  if (ids.empty() || ids.size() > kMaxAllowedExtensionIds ||
      !std::ranges::all_of(ids, is_extension_id)) {
    return std::unexpected(InvalidHostConfig{});
  }
  if (!is_acceptable_device_name(config.device_name)) {
    return std::unexpected(InvalidHostConfig{});
  }
  const auto device_id = protocol::parse_uuid_text(config.target_device_id);
  if (!device_id) {
    return std::unexpected(InvalidHostConfig{});
  }
  const auto fingerprint =
      protocol::decode_base64url_canonical(config.target_identity_fingerprint, 32);
  protocol::HostBinding binding;
  if (!fingerprint || fingerprint->size() != binding.identity_fingerprint.size() ||
      std::ranges::all_of(*fingerprint, [](std::uint8_t b) { return b == 0; })) {
    return std::unexpected(InvalidHostConfig{});
  }
  std::ranges::copy(*fingerprint, binding.identity_fingerprint.begin());
  binding.device_id = *device_id;
  return binding;
}

}  // namespace ombrelin::config
