#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "setup/setup_system.h"

namespace ombrelin::setup {

// An in-memory Windows for the setup program: folders, files and HKCU keys,
// with a log of every operation that changes something, and one operation
// that can be made to fail ("<operation> <target>").
class FakeSetupSystem final : public SetupSystem {
 public:
  static constexpr const char* kLocalAppData = "C:\\Users\\Ada\\AppData\\Local";
  static constexpr const char* kProgramFolder = "D:\\Downloads\\ombrelin";
  static constexpr const char* kBuiltAgent = "D:\\Downloads\\ombrelin\\ombrelin-native-host.exe";

  FakeSetupSystem() {
    folders.insert(kLocalAppData);
    folders.insert(kProgramFolder);
    files[kBuiltAgent] = "agent build 1";
  }

  std::expected<std::string, SystemError> local_app_data() override {
    if (!local_app_data_set) {
      return std::unexpected(SystemError{"read the environment variable", "LOCALAPPDATA", 203,
                                         "The system could not find the environment option."});
    }
    return kLocalAppData;
  }
  std::expected<std::string, SystemError> program_folder() override { return kProgramFolder; }
  bool is_file(const std::string& path) override { return files.contains(path); }

  std::expected<void, SystemError> create_folder(const std::string& path) override {
    return change("create_folder", path, [&]() -> std::expected<void, SystemError> {
      if (!folders.contains(parent(path))) {
        return not_found("create the folder", path);
      }
      folders.insert(path);
      return {};
    });
  }
  std::expected<void, SystemError> copy_file(const std::string& from,
                                             const std::string& to) override {
    return change("copy_file", to, [&]() -> std::expected<void, SystemError> {
      if (!files.contains(from) || !folders.contains(parent(to))) {
        return not_found("copy the agent to", to);
      }
      files[to] = files[from];
      return {};
    });
  }
  std::expected<void, SystemError> write_file(const std::string& path,
                                              std::string_view contents) override {
    return change("write_file", path, [&]() -> std::expected<void, SystemError> {
      if (!folders.contains(parent(path))) {
        return not_found("write", path);
      }
      files[path] = std::string(contents);
      return {};
    });
  }
  std::expected<void, SystemError> delete_file(const std::string& path) override {
    return change("delete_file", path, [&]() -> std::expected<void, SystemError> {
      files.erase(path);
      return {};
    });
  }
  std::expected<void, SystemError> remove_empty_folder(const std::string& path) override {
    return change("remove_empty_folder", path, [&]() -> std::expected<void, SystemError> {
      const std::string inside = path + "\\";
      const auto holds = [&](const auto& entries) {
        for (const auto& entry : entries) {
          if (entry.starts_with(inside)) {
            return true;
          }
        }
        return false;
      };
      std::vector<std::string> file_names;
      for (const auto& [name, contents] : files) {
        file_names.push_back(name);
      }
      if (!holds(folders) && !holds(file_names)) {
        folders.erase(path);
      }
      return {};
    });
  }
  std::expected<void, SystemError> set_default_value(const std::string& key,
                                                     const std::string& value) override {
    return change("set_default_value", key, [&]() -> std::expected<void, SystemError> {
      registry[key] = value;
      return {};
    });
  }
  std::expected<void, SystemError> delete_key(const std::string& key) override {
    return change("delete_key", key, [&]() -> std::expected<void, SystemError> {
      registry.erase(key);
      return {};
    });
  }

  std::set<std::string> folders;
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> registry;
  std::vector<std::string> log;
  std::string failing;  // "<operation> <target>" that answers "Access is denied."
  bool local_app_data_set = true;

 private:
  static std::string parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }

  static std::unexpected<SystemError> not_found(const char* action, const std::string& path) {
    return std::unexpected(
        SystemError{action, path, 3, "The system cannot find the path specified."});
  }

  template <typename Operation>
  std::expected<void, SystemError> change(const char* name, const std::string& target,
                                          Operation operation) {
    std::string entry = std::string(name) + " " + target;
    log.push_back(entry);
    if (entry == failing) {
      return std::unexpected(SystemError{name, target, 5, "Access is denied."});
    }
    return operation();
  }
};

}  // namespace ombrelin::setup
