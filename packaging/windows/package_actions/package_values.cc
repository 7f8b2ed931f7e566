#include "package_values.h"

#include <array>
#include <utility>
#include <vector>

#include "setup/arguments.h"
#include "setup/host_files.h"
#include "setup/install_layout.h"

namespace ombrelin::packaging {
namespace {

constexpr std::string_view kProgram = "ombrelin-setup: ";
constexpr char kActionDataSeparator = '\n';

std::unexpected<PackageRefusal> refuse(std::string_view message) {
  return std::unexpected(PackageRefusal{std::string(kProgram) + std::string(message)});
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

// "a, b,c" -> {"a", "b", "c"}. An empty item stays, for the rules to refuse.
std::vector<std::string> split_ids(std::string_view list) {
  std::vector<std::string> ids;
  while (true) {
    const std::size_t comma = list.find(',');
    ids.emplace_back(trimmed(list.substr(0, comma)));
    if (comma == std::string_view::npos) {
      return ids;
    }
    list.remove_prefix(comma + 1);
  }
}

// The setup program's words for a missing option, with the property that
// stands for it in the package.
struct RequiredProperty {
  std::string_view property;
  std::string_view option;
  const std::string PackageProperties::*value;
};

constexpr std::array<RequiredProperty, 4> kRequired{{
    {"EXTENSION_IDS", "at least one --extension-id", &PackageProperties::extension_ids},
    {"DEVICE_ID", "--device-id", &PackageProperties::device_id},
    {"IDENTITY_FINGERPRINT", "--identity-fingerprint", &PackageProperties::identity_fingerprint},
    {"DEVICE_NAME", "--device-name", &PackageProperties::device_name},
}};

}  // namespace

std::expected<PackageFiles, PackageRefusal> prepare_package_files(
    const PackageProperties& properties, std::string_view local_app_data) {
  for (const RequiredProperty& required : kRequired) {
    if ((properties.*required.value).empty()) {
      return refuse("install needs " + std::string(required.option) + " (the package's property " +
                    std::string(required.property) + ")");
    }
  }
  setup::InstallValues values;
  values.extension_ids = split_ids(properties.extension_ids);
  values.device_id = properties.device_id;
  values.identity_fingerprint = properties.identity_fingerprint;
  values.device_name = properties.device_name;

  const auto config = setup::checked_host_config(values);
  if (!config) {
    return refuse(config.error().message);
  }
  auto config_document = setup::host_config_document(*config);
  if (!config_document) {
    return refuse(config_document.error().message);
  }
  const setup::InstallLayout layout = setup::install_layout(local_app_data);
  auto manifest_document =
      setup::host_manifest_document(layout.agent, config->allowed_extension_ids);
  if (!manifest_document) {
    return refuse(manifest_document.error().message);
  }
  return PackageFiles{layout.config, std::move(*config_document), layout.manifest,
                      std::move(*manifest_document)};
}

std::string encode_action_data(const PackageFiles& files) {
  std::string data;
  for (const std::string* part : {&files.config_path, &files.config_document, &files.manifest_path,
                                  &files.manifest_document}) {
    if (!data.empty()) {
      data += kActionDataSeparator;
    }
    data += *part;
  }
  return data;
}

std::optional<PackageFiles> decode_action_data(std::string_view data) {
  std::array<std::string, 4> parts;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t end = data.find(kActionDataSeparator);
    const bool last = i + 1 == parts.size();
    if (last != (end == std::string_view::npos)) {
      return std::nullopt;
    }
    parts[i] = data.substr(0, end);
    if (parts[i].empty()) {
      return std::nullopt;
    }
    data.remove_prefix(last ? data.size() : end + 1);
  }
  return PackageFiles{std::move(parts[0]), std::move(parts[1]), std::move(parts[2]),
                      std::move(parts[3])};
}

}  // namespace ombrelin::packaging
