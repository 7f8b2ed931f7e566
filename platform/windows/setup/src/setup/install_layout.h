#pragma once

#include <array>
#include <string>
#include <string_view>

namespace ombrelin::setup {

// Where an installation lives for one user. Paths are Windows paths in UTF-8.
struct InstallLayout {
  std::string product_folder;  // %LOCALAPPDATA%\Ombrelin Revozad
  std::string folder;          // ...\native-host: the agent, its manifest, its configuration
  std::string agent;           // ...\ombrelin-native-host.exe
  std::string manifest;        // ...\com.ombrelin.revozad.agent.json
  std::string config;          // ...\native-host-config.json, where the agent reads it
};

// The layout under the given LOCALAPPDATA, the folder the agent itself reads.
[[nodiscard]] InstallLayout install_layout(std::string_view local_app_data);

// folder + "\" + name, without doubling a separator the folder already ends with.
[[nodiscard]] std::string join_path(std::string_view folder, std::string_view name);

inline constexpr std::string_view kAgentFileName = "ombrelin-native-host.exe";

// One browser's per-user registration: a key under HKEY_CURRENT_USER whose
// default value is the manifest's path.
struct BrowserRegistration {
  std::string_view browser;
  std::string_view key;
};

inline constexpr std::array<BrowserRegistration, 3> kBrowserRegistrations{{
    {"Chrome", "Software\\Google\\Chrome\\NativeMessagingHosts\\com.ombrelin.revozad.agent"},
    {"Edge", "Software\\Microsoft\\Edge\\NativeMessagingHosts\\com.ombrelin.revozad.agent"},
    {"Chromium", "Software\\Chromium\\NativeMessagingHosts\\com.ombrelin.revozad.agent"},
}};

}  // namespace ombrelin::setup
