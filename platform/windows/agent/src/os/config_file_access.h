#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "os/os_error.h"

namespace ombrelin::os {

// What the agent must know about the configuration file before reading it.
struct FileFacts {
  bool is_directory = false;
  bool is_name_surrogate = false;  // a link or junction that was not resolved
  std::uint64_t size = 0;
};

// Locates and reads the per-user configuration file. Used once, at start.
class ConfigFileAccess {
 public:
  virtual ~ConfigFileAccess() = default;
  // LOCALAPPDATA joined with the agent's relative path; none when the variable is
  // not set. The variable is taken as the system's own string type.
  [[nodiscard]] virtual std::optional<std::filesystem::path> config_file_path() const = 0;
  // The entry's facts, links followed.
  [[nodiscard]] virtual std::expected<FileFacts, OsError> file_facts(
      const std::filesystem::path& path) const = 0;
  // The file's contents; at most `limit` + 1 bytes are read, so a file that grew
  // past the limit since its facts were taken is still recognised as too large.
  [[nodiscard]] virtual std::expected<std::string, OsError> read_file(
      const std::filesystem::path& path, std::size_t limit) const = 0;
};

}  // namespace ombrelin::os
