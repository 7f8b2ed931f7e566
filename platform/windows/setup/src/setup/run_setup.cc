#include "setup/run_setup.h"

#include <algorithm>
#include <vector>

#include "setup/arguments.h"
#include "setup/host_files.h"
#include "setup/install_layout.h"

namespace ombrelin::setup {
namespace {

constexpr std::string_view kProgram = "ombrelin-setup: ";

// Every browser's key names the host under its NativeMessagingHosts key.
static_assert(std::ranges::all_of(kBrowserRegistrations, [](const BrowserRegistration& entry) {
  return entry.key.ends_with(kHostName) && entry.key.substr(0, entry.key.size() - kHostName.size())
                                               .ends_with("\\NativeMessagingHosts\\");
}));

int fail(SetupOutput& output, int status, std::string_view message) {
  output.err.append(kProgram).append(message).append("\n");
  return status;
}

int system_failure(SetupOutput& output, const SystemError& error) {
  return fail(output, kExitSystemFailure, describe(error));
}

std::string browser_list() {
  std::string list;
  for (std::size_t i = 0; i < kBrowserRegistrations.size(); ++i) {
    if (i > 0) {
      list.append(i + 1 == kBrowserRegistrations.size() ? " and " : ", ");
    }
    list.append(kBrowserRegistrations[i].browser);
  }
  return list;
}

int install(const InstallValues& values, SetupSystem& system, SetupOutput& output) {
  const auto config = checked_host_config(values);
  if (!config) {
    return fail(output, kExitRefused, config.error().message);
  }
  const auto config_document = host_config_document(*config);
  if (!config_document) {
    return fail(output, kExitRefused, config_document.error().message);
  }
  const auto local_app_data = system.local_app_data();
  if (!local_app_data) {
    return system_failure(output, local_app_data.error());
  }
  const InstallLayout layout = install_layout(*local_app_data);
  std::string source;
  if (values.agent_path) {
    source = *values.agent_path;
  } else {
    const auto folder = system.program_folder();
    if (!folder) {
      return system_failure(output, folder.error());
    }
    source = join_path(*folder, kAgentFileName);
  }
  if (!system.is_file(source)) {
    return fail(output, kExitRefused, "the agent to install is not a file: " + json_quoted(source));
  }
  const auto manifest_document =
      host_manifest_document(layout.agent, config->allowed_extension_ids);
  if (!manifest_document) {
    return fail(output, kExitRefused, manifest_document.error().message);
  }

  for (const std::string& folder : {layout.product_folder, layout.folder}) {
    if (auto made = system.create_folder(folder); !made) {
      return system_failure(output, made.error());
    }
  }
  if (auto copied = system.copy_file(source, layout.agent); !copied) {
    return system_failure(output, copied.error());
  }
  if (auto written = system.write_file(layout.config, *config_document); !written) {
    return system_failure(output, written.error());
  }
  if (auto written = system.write_file(layout.manifest, *manifest_document); !written) {
    return system_failure(output, written.error());
  }
  for (const auto& registration : kBrowserRegistrations) {
    if (auto set = system.set_default_value(std::string(registration.key), layout.manifest); !set) {
      return system_failure(output, set.error());
    }
  }
  output.out.append("Installed the Ombrelin Revozad agent in ")
      .append(layout.folder)
      .append("\nRegistered ")
      .append(kHostName)
      .append(" for ")
      .append(browser_list())
      .append(": ")
      .append(layout.manifest)
      .append("\n");
  return kExitSuccess;
}

int uninstall(SetupSystem& system, SetupOutput& output) {
  const auto local_app_data = system.local_app_data();
  if (!local_app_data) {
    return system_failure(output, local_app_data.error());
  }
  const InstallLayout layout = install_layout(*local_app_data);
  std::vector<SystemError> failures;
  const auto keep = [&failures](std::expected<void, SystemError> done) {
    if (!done) {
      failures.push_back(std::move(done.error()));
    }
  };
  // Registrations first: from then on no browser starts the agent being removed.
  for (const auto& registration : kBrowserRegistrations) {
    keep(system.delete_key(std::string(registration.key)));
  }
  for (const std::string* file : {&layout.manifest, &layout.config, &layout.agent}) {
    keep(system.delete_file(*file));
  }
  keep(system.remove_empty_folder(layout.folder));
  keep(system.remove_empty_folder(layout.product_folder));
  if (!failures.empty()) {
    for (const SystemError& failure : failures) {
      fail(output, kExitSystemFailure, describe(failure));
    }
    return kExitSystemFailure;
  }
  output.out.append("Removed the Ombrelin Revozad agent from ")
      .append(layout.folder)
      .append(" and its registrations for ")
      .append(browser_list())
      .append("\n");
  return kExitSuccess;
}

}  // namespace

std::string describe(const SystemError& error) {
  std::string text = "could not " + error.action + " " + json_quoted(error.target) + ": ";
  text.append(error.reason.empty() ? "system error" : error.reason);
  text.append(" (error ").append(std::to_string(error.code)).append(")");
  return text;
}

int run_setup(std::span<const std::string> args, SetupSystem& system, SetupOutput& output) {
  const auto arguments = parse_arguments(args);
  if (!arguments) {
    return fail(output, kExitRefused,
                arguments.error().message + "\nRun \"ombrelin-setup help\" for the usage.");
  }
  switch (arguments->command) {
    case Command::kHelp:
      output.out.append(usage_text());
      return kExitSuccess;
    case Command::kInstall:
      return install(arguments->install, system, output);
    case Command::kUninstall:
      return uninstall(system, output);
  }
  return kExitRefused;
}

}  // namespace ombrelin::setup
