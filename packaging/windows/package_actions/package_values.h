#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace ombrelin::packaging {

// The package's public properties as msiexec was given them, in UTF-8; an
// empty text is a property that was not set.
struct PackageProperties {
  std::string extension_ids;         // EXTENSION_IDS: ids separated by commas
  std::string device_id;             // DEVICE_ID
  std::string identity_fingerprint;  // IDENTITY_FINGERPRINT
  std::string device_name;           // DEVICE_NAME
};

// The two files the package writes beside the agent: the configuration the
// agent reads and the host manifest the browsers read.
struct PackageFiles {
  std::string config_path;
  std::string config_document;
  std::string manifest_path;
  std::string manifest_document;

  friend bool operator==(const PackageFiles&, const PackageFiles&) = default;
};

// A refusal, worded as the setup program words it on its standard error
// ("ombrelin-setup: ..."), so that an administrator finds the same sentence in
// the installer's log as on the setup program's console.
struct PackageRefusal {
  std::string message;
};

// Checks the properties with the setup program's checks (the agent's own
// configuration rules) and makes both documents for the folder the setup
// program installs into under `local_app_data`, where the agent reads its
// configuration. Nothing is written here; a refusal names the first problem.
[[nodiscard]] std::expected<PackageFiles, PackageRefusal> prepare_package_files(
    const PackageProperties& properties, std::string_view local_app_data);

// The files as one text for the installer's deferred action (its
// CustomActionData), and back. The four parts are separated by line feeds,
// which neither a Windows path nor a compact JSON document contains.
[[nodiscard]] std::string encode_action_data(const PackageFiles& files);
[[nodiscard]] std::optional<PackageFiles> decode_action_data(std::string_view data);

}  // namespace ombrelin::packaging
