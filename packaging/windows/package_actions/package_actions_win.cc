// ombrelin-package-actions.dll: the package's custom actions, run by Windows
// Installer from the package's Binary table.
//
//   OmbrelinCheckConfiguration (immediate, before anything is written): reads
//     EXTENSION_IDS, DEVICE_ID, IDENTITY_FINGERPRINT and DEVICE_NAME, checks
//     them with the setup program's checks and hands both documents to the
//     two deferred actions; a refused value ends the installation with the
//     setup program's own message.
//   OmbrelinWriteConfiguration (deferred): writes the configuration and the
//     host manifest beside the agent, each replaced whole.
//   OmbrelinUndoConfiguration (rollback): deletes both again.
//   OmbrelinRemoveConfiguration (deferred, uninstalling): deletes both from the
//     folder under the LocalAppDataFolder it is given, so that the folders can
//     go once the agent is removed too.

#include <windows.h>
// After windows.h:
#include <msi.h>
#include <msiquery.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "os/win/text_conversion_win.h"
#include "package_values.h"
#include "setup/install_layout.h"
#include "setup/run_setup.h"
#include "setup/win/setup_system_win.h"

namespace {

using ombrelin::os::win::utf16_to_utf8;
using ombrelin::os::win::utf8_to_utf16;
namespace packaging = ombrelin::packaging;

// Closes an installer handle when it leaves scope.
class RecordHandle {
 public:
  explicit RecordHandle(MSIHANDLE handle) noexcept : handle_(handle) {}
  RecordHandle(const RecordHandle&) = delete;
  RecordHandle& operator=(const RecordHandle&) = delete;
  ~RecordHandle() {
    if (handle_ != 0) {
      MsiCloseHandle(handle_);
    }
  }
  [[nodiscard]] MSIHANDLE get() const noexcept { return handle_; }

 private:
  MSIHANDLE handle_;
};

// A property's value in UTF-8; nullopt when it cannot be read or converted.
std::optional<std::string> property(MSIHANDLE install, const wchar_t* name) {
  std::wstring value(64, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = static_cast<DWORD>(value.size());
    const UINT status = MsiGetPropertyW(install, name, value.data(), &length);
    if (status == ERROR_SUCCESS) {
      value.resize(length);
      return utf16_to_utf8(value);
    }
    if (status != ERROR_MORE_DATA) {
      return std::nullopt;
    }
    value.assign(static_cast<std::size_t>(length) + 1, L'\0');
  }
  return std::nullopt;
}

bool set_property(MSIHANDLE install, const wchar_t* name, std::string_view value) {
  const auto wide = utf8_to_utf16(value);
  return wide && MsiSetPropertyW(install, name, wide->c_str()) == ERROR_SUCCESS;
}

// Puts the message in the installer's log and, with a user interface, in an
// error box. The text goes in a field of its own, so that brackets in a
// refused value are not read as the installer's formatting.
void report(MSIHANDLE install, INSTALLMESSAGE kind, std::string_view message) {
  const RecordHandle record(MsiCreateRecord(1));
  const auto wide = utf8_to_utf16(message);
  if (record.get() == 0 || !wide) {
    return;
  }
  MsiRecordSetStringW(record.get(), 0, L"[1]");
  MsiRecordSetStringW(record.get(), 1, wide->c_str());
  MsiProcessMessage(install, kind, record.get());
}

UINT fail(MSIHANDLE install, std::string_view message) {
  report(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR),
         message);
  return ERROR_INSTALL_FAILURE;
}

std::optional<packaging::PackageFiles> action_files(MSIHANDLE install) {
  const auto data = property(install, L"CustomActionData");
  return data ? packaging::decode_action_data(*data) : std::nullopt;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall OmbrelinCheckConfiguration(MSIHANDLE install) {
  packaging::PackageProperties properties;
  const auto extension_ids = property(install, L"EXTENSION_IDS");
  const auto device_id = property(install, L"DEVICE_ID");
  const auto fingerprint = property(install, L"IDENTITY_FINGERPRINT");
  const auto device_name = property(install, L"DEVICE_NAME");
  const auto local_app_data = property(install, L"LocalAppDataFolder");
  if (!extension_ids || !device_id || !fingerprint || !device_name || !local_app_data) {
    return fail(install, "ombrelin-setup: the package's properties could not be read");
  }
  properties.extension_ids = *extension_ids;
  properties.device_id = *device_id;
  properties.identity_fingerprint = *fingerprint;
  properties.device_name = *device_name;

  const auto files = packaging::prepare_package_files(properties, *local_app_data);
  if (!files) {
    return fail(install, files.error().message);
  }
  const std::string data = packaging::encode_action_data(*files);
  // A deferred action sees only the property named after it.
  if (!set_property(install, L"OmbrelinWriteConfiguration", data) ||
      !set_property(install, L"OmbrelinUndoConfiguration", data)) {
    return fail(install, "ombrelin-setup: the installer did not take the configuration");
  }
  report(install, INSTALLMESSAGE_INFO,
         "ombrelin-setup: the values passed the agent's configuration rules");
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall OmbrelinWriteConfiguration(MSIHANDLE install) {
  const auto files = action_files(install);
  if (!files) {
    return fail(install,
                "ombrelin-setup: the configuration to write did not reach the installer's script");
  }
  ombrelin::setup::win::WindowsSetupSystem system;
  for (const auto& [path, document] :
       {std::pair{&files->config_path, &files->config_document},
        std::pair{&files->manifest_path, &files->manifest_document}}) {
    if (auto written = system.write_file(*path, *document); !written) {
      return fail(install, "ombrelin-setup: " + ombrelin::setup::describe(written.error()));
    }
  }
  return ERROR_SUCCESS;
}

namespace {

// Deletes both files; one already gone is fine. A failure is reported and
// does not stop the rest.
bool delete_both(MSIHANDLE install, const std::string& config, const std::string& manifest) {
  ombrelin::setup::win::WindowsSetupSystem system;
  bool deleted_both = true;
  for (const std::string* path : {&config, &manifest}) {
    if (auto deleted = system.delete_file(*path); !deleted) {
      report(install, INSTALLMESSAGE_WARNING,
             "ombrelin-setup: " + ombrelin::setup::describe(deleted.error()));
      deleted_both = false;
    }
  }
  return deleted_both;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall OmbrelinUndoConfiguration(MSIHANDLE install) {
  const auto files = action_files(install);
  if (files) {
    delete_both(install, files->config_path, files->manifest_path);
  }
  // A rollback goes on whatever happens here.
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall OmbrelinRemoveConfiguration(MSIHANDLE install) {
  const auto local_app_data = property(install, L"CustomActionData");
  if (!local_app_data || local_app_data->empty()) {
    return fail(
        install,
        "ombrelin-setup: the folder to uninstall from did not reach the installer's script");
  }
  const auto layout = ombrelin::setup::install_layout(*local_app_data);
  // Left behind, the files would keep the folders; the uninstallation goes on.
  delete_both(install, layout.config, layout.manifest);
  return ERROR_SUCCESS;
}
