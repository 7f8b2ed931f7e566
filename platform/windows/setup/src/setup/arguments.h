#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelin::setup {

enum class Command : std::uint8_t { kInstall, kUninstall, kHelp };

// What `install` was given on the command line, in UTF-8, not yet checked.
struct InstallValues {
  std::vector<std::string> extension_ids;  // in the order given
  std::string device_id;
  std::string identity_fingerprint;
  std::string device_name;
  // The agent to copy; by default the one beside the setup program.
  std::optional<std::string> agent_path;
};

struct Arguments {
  Command command = Command::kHelp;
  InstallValues install;
};

// A command line that cannot be understood; the message says what is wrong.
struct UsageError {
  std::string message;
};

// Reads the arguments that follow the program name: a command ("install",
// "uninstall", "help"), then for install its options, each as "--name value" or
// "--name=value". "help", "--help", "-h" or "/?" as the command or in place of
// an option asks for the usage text.
[[nodiscard]] std::expected<Arguments, UsageError> parse_arguments(
    std::span<const std::string> args);

[[nodiscard]] std::string_view usage_text() noexcept;

}  // namespace ombrelin::setup
