#pragma once

#include "setup/setup_system.h"

namespace ombrelin::setup::win {

// The setup program's operations as Win32 calls: kernel32 for files and the
// environment, advapi32 for HKEY_CURRENT_USER. Every handle and key is closed
// by its owner's scope.
class WindowsSetupSystem final : public SetupSystem {
 public:
  std::expected<std::string, SystemError> local_app_data() override;
  std::expected<std::string, SystemError> program_folder() override;
  bool is_file(const std::string& path) override;
  std::expected<void, SystemError> create_folder(const std::string& path) override;
  std::expected<void, SystemError> copy_file(const std::string& from,
                                             const std::string& to) override;
  std::expected<void, SystemError> write_file(const std::string& path,
                                              std::string_view contents) override;
  std::expected<void, SystemError> delete_file(const std::string& path) override;
  std::expected<void, SystemError> remove_empty_folder(const std::string& path) override;
  std::expected<void, SystemError> set_default_value(const std::string& key,
                                                     const std::string& value) override;
  std::expected<void, SystemError> delete_key(const std::string& key) override;
};

}  // namespace ombrelin::setup::win
