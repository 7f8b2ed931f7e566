#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace ombrelin::setup {

// An operating-system call that failed: what the setup was doing, to what, and
// the system's own account of why.
struct SystemError {
  std::string action;  // "create the folder", "register the host for Chrome at", ...
  std::string target;  // the path or registry key
  std::uint32_t code = 0;
  std::string reason;  // the system's message for the code, may be empty
};

// Everything the setup program asks of Windows. Paths are Windows paths and
// registry keys are relative to HKEY_CURRENT_USER, all in UTF-8. Operations
// that make something replace what is there; operations that remove something
// succeed when it is already gone. Used from one thread.
class SetupSystem {
 public:
  SetupSystem() = default;
  SetupSystem(const SetupSystem&) = delete;
  SetupSystem& operator=(const SetupSystem&) = delete;
  virtual ~SetupSystem() = default;

  // The LOCALAPPDATA environment variable, which the agent reads too.
  [[nodiscard]] virtual std::expected<std::string, SystemError> local_app_data() = 0;
  // The folder that holds the running setup program.
  [[nodiscard]] virtual std::expected<std::string, SystemError> program_folder() = 0;
  [[nodiscard]] virtual bool is_file(const std::string& path) = 0;

  // One folder level; an existing folder is fine.
  [[nodiscard]] virtual std::expected<void, SystemError> create_folder(const std::string& path) = 0;
  // Copies to a temporary file beside `to`, then moves it over `to`: a browser
  // starting the agent meanwhile finds the old file or the new one, never half.
  [[nodiscard]] virtual std::expected<void, SystemError> copy_file(const std::string& from,
                                                                   const std::string& to) = 0;
  // Writes a temporary file beside `path`, flushes it and moves it over `path`;
  // on any failure the temporary file is removed and `path` is left as it was.
  [[nodiscard]] virtual std::expected<void, SystemError> write_file(const std::string& path,
                                                                    std::string_view contents) = 0;
  [[nodiscard]] virtual std::expected<void, SystemError> delete_file(const std::string& path) = 0;
  // Removes a folder that holds nothing; a folder that still holds something stays.
  [[nodiscard]] virtual std::expected<void, SystemError> remove_empty_folder(
      const std::string& path) = 0;

  // Creates the key if needed and sets its default value (REG_SZ).
  [[nodiscard]] virtual std::expected<void, SystemError> set_default_value(
      const std::string& key, const std::string& value) = 0;
  // Deletes the key (it has no subkeys); its parents stay.
  [[nodiscard]] virtual std::expected<void, SystemError> delete_key(const std::string& key) = 0;
};

}  // namespace ombrelin::setup
