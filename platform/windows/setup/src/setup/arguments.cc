#include "setup/arguments.h"

#include <algorithm>
#include <array>

namespace ombrelin::setup {
namespace {

constexpr std::string_view kUsage =
    "Installs the Ombrelin Revozad agent for the current user and registers it with\n"
    "Chrome, Edge and Chromium as the native messaging host com.ombrelin.revozad.agent.\n"
    "\n"
    "Usage:\n"
    "  ombrelin-setup install --extension-id ID [--extension-id ID ...]\n"
    "                         --device-id UUID --identity-fingerprint FINGERPRINT\n"
    "                         --device-name NAME [--agent PATH]\n"
    "  ombrelin-setup uninstall\n"
    "  ombrelin-setup help\n"
    "\n"
    "  --extension-id           an extension allowed to call the agent: 32 letters a to p\n"
    "                           (1 to 8 extensions)\n"
    "  --device-id              this device's id, lowercase UUID text\n"
    "  --identity-fingerprint   this computer's 32-byte identity fingerprint, URL-safe\n"
    "                           base64 without padding\n"
    "  --device-name            the name the status shows, at most 128 bytes\n"
    "  --agent                  the ombrelin-native-host.exe to install (default: the one\n"
    "                           beside this program)\n"
    "\n"
    "Files go to %LOCALAPPDATA%\\Ombrelin Revozad\\native-host. Exit status: 0 done,\n"
    "1 a system operation failed, 2 the command line or a value was refused (nothing\n"
    "was changed).\n";

enum class Option : std::uint8_t {
  kExtensionId,
  kDeviceId,
  kIdentityFingerprint,
  kDeviceName,
  kAgent,
};

struct OptionName {
  std::string_view name;
  Option option;
};

constexpr std::array<OptionName, 5> kOptions{{
    {"--extension-id", Option::kExtensionId},
    {"--device-id", Option::kDeviceId},
    {"--identity-fingerprint", Option::kIdentityFingerprint},
    {"--device-name", Option::kDeviceName},
    {"--agent", Option::kAgent},
}};

bool is_help(std::string_view arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }

std::unexpected<UsageError> usage_error(std::string message) {
  return std::unexpected(UsageError{std::move(message)});
}

// Single-valued options remember whether they were given, so that a second
// occurrence is refused rather than silently winning.
struct InstallParser {
  InstallValues values;
  bool has_device_id = false;
  bool has_fingerprint = false;
  bool has_device_name = false;

  std::expected<void, UsageError> set(const OptionName& option, std::string value) {
    const auto once = [&](bool& given, std::string& target) -> std::expected<void, UsageError> {
      if (given) {
        return usage_error(std::string(option.name) + " is given more than once");
      }
      given = true;
      target = std::move(value);
      return {};
    };
    switch (option.option) {
      case Option::kExtensionId:
        values.extension_ids.push_back(std::move(value));
        return {};
      case Option::kDeviceId:
        return once(has_device_id, values.device_id);
      case Option::kIdentityFingerprint:
        return once(has_fingerprint, values.identity_fingerprint);
      case Option::kDeviceName:
        return once(has_device_name, values.device_name);
      case Option::kAgent:
        if (values.agent_path) {
          return usage_error("--agent is given more than once");
        }
        values.agent_path = std::move(value);
        return {};
    }
    return usage_error("unknown option");
  }

  std::expected<void, UsageError> finish() const {
    if (values.extension_ids.empty()) {
      return usage_error("install needs at least one --extension-id");
    }
    if (!has_device_id) {
      return usage_error("install needs --device-id");
    }
    if (!has_fingerprint) {
      return usage_error("install needs --identity-fingerprint");
    }
    if (!has_device_name) {
      return usage_error("install needs --device-name");
    }
    return {};
  }
};

// The install options; none when one of them asks for help instead.
std::expected<std::optional<InstallValues>, UsageError> parse_install(
    std::span<const std::string> args) {
  InstallParser parser;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (is_help(arg)) {
      return std::nullopt;
    }
    const auto equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const auto known = std::ranges::find(kOptions, name, &OptionName::name);
    if (!arg.starts_with("--") || known == kOptions.end()) {
      return usage_error(arg.starts_with("-") ? "unknown option " + std::string(name)
                                              : "unexpected argument \"" + std::string(arg) + "\"");
    }
    std::string value;
    if (equals != std::string_view::npos) {
      value = std::string(arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return usage_error(std::string(name) + " needs a value");
    }
    if (auto set = parser.set(*known, std::move(value)); !set) {
      return std::unexpected(set.error());
    }
  }
  if (auto finished = parser.finish(); !finished) {
    return std::unexpected(finished.error());
  }
  return std::optional<InstallValues>(std::move(parser.values));
}

}  // namespace

std::expected<Arguments, UsageError> parse_arguments(std::span<const std::string> args) {
  if (args.empty()) {
    return usage_error("a command is needed: install, uninstall or help");
  }
  const std::string_view command = args.front();
  const auto options = args.subspan(1);
  if (command == "help" || is_help(command)) {
    return Arguments{Command::kHelp, {}};
  }
  if (command == "install") {
    auto values = parse_install(options);
    if (!values) {
      return std::unexpected(values.error());
    }
    if (!*values) {
      return Arguments{Command::kHelp, {}};
    }
    return Arguments{Command::kInstall, std::move(**values)};
  }
  if (command == "uninstall") {
    if (!options.empty() && is_help(options.front())) {
      return Arguments{Command::kHelp, {}};
    }
    if (!options.empty()) {
      return usage_error("uninstall takes no options, got \"" + options.front() + "\"");
    }
    return Arguments{Command::kUninstall, {}};
  }
  return usage_error("unknown command \"" + std::string(command) +
                     "\": use install, uninstall or help");
}

std::string_view usage_text() noexcept { return kUsage; }

}  // namespace ombrelin::setup
