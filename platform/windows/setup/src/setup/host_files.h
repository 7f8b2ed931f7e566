#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "config/host_config.h"
#include "setup/arguments.h"

namespace ombrelin::setup {

// The name under which browsers know the agent, and the manifest's description.
inline constexpr std::string_view kHostName = "com.ombrelin.revozad.agent";
inline constexpr std::string_view kHostDescription = "Ombrelin Revozad remote-control agent";

// A value the agent would refuse; the message names the option and the rule.
struct ValueError {
  std::string message;
};

// The configuration the agent will read, from the install values, checked with
// the agent's own rules (validate_host_config). A repeated extension id is kept
// once. The first problem found is reported, naming its option.
[[nodiscard]] std::expected<config::HostConfig, ValueError> checked_host_config(
    const InstallValues& values);

// The configuration file's contents: compact JSON with exactly the four members
// the agent reads, which its own decoder and rules are shown to accept before
// the text is returned.
[[nodiscard]] std::expected<std::string, ValueError> host_config_document(
    const config::HostConfig& config);

// The native messaging host manifest: name, description, the agent's absolute
// path, type "stdio" and one "chrome-extension://<id>/" origin per extension.
// Refused only when a text is not UTF-8 (paths converted from UTF-16 always are).
[[nodiscard]] std::expected<std::string, ValueError> host_manifest_document(
    std::string_view agent_path, std::span<const std::string> extension_ids);

// A value as a JSON string literal, for messages: quoted, control characters
// escaped.
[[nodiscard]] std::string json_quoted(std::string_view text);

}  // namespace ombrelin::setup
