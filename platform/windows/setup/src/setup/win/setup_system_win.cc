#include "setup/win/setup_system_win.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

#include "os/win/text_conversion_win.h"
#include "os/win/unique_handle.h"
#include "setup/host_files.h"

namespace ombrelin::setup::win {
namespace {

using os::win::UniqueHandle;

// The system's own sentence for an error code, on one line.
std::string reason_for(DWORD code) {
  std::array<wchar_t, 512> buffer{};
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, code, 0, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
  std::wstring_view text(buffer.data(), length);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n')) {
    text.remove_suffix(1);
  }
  return os::win::utf16_to_utf8(text).value_or("");
}

std::unexpected<SystemError> failure(std::string action, const std::string& target, DWORD code) {
  return std::unexpected(SystemError{std::move(action), target, code, reason_for(code)});
}

std::unexpected<SystemError> last_failure(std::string action, const std::string& target) {
  return failure(std::move(action), target, GetLastError());
}

// UTF-8 from the portable code to the wide text Win32 takes; the code's own
// values are UTF-8 by construction, so a failure here is reported, not expected.
std::expected<std::wstring, SystemError> wide(const std::string& text, const char* action) {
  auto converted = os::win::utf8_to_utf16(text);
  if (!converted) {
    return failure(action, text, ERROR_NO_UNICODE_TRANSLATION);
  }
  return std::move(*converted);
}

// Owns one open registry key.
class UniqueKey {
 public:
  UniqueKey() = default;
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  ~UniqueKey() {
    if (key_ != nullptr) {
      RegCloseKey(key_);
    }
  }
  [[nodiscard]] HKEY get() const noexcept { return key_; }
  [[nodiscard]] HKEY* out() noexcept { return &key_; }

 private:
  HKEY key_ = nullptr;
};

// A file being made beside its final path; removed when its scope ends unless
// it was moved into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& final_path)
      : path_(final_path + L".setup-" + std::to_wstring(GetCurrentProcessId()) + L".tmp") {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!moved_) {
      DeleteFileW(path_.c_str());
    }
  }
  [[nodiscard]] const std::wstring& path() const noexcept { return path_; }

  // Replaces `final_path` with this file in one step, written through to disk.
  [[nodiscard]] bool move_to(const std::wstring& final_path) {
    moved_ = MoveFileExW(path_.c_str(), final_path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    return moved_;
  }

 private:
  std::wstring path_;
  bool moved_ = false;
};

bool is_gone(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

}  // namespace

std::expected<std::string, SystemError> WindowsSetupSystem::local_app_data() {
  constexpr const char* kAction = "read the environment variable";
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      const DWORD code = GetLastError();
      return failure(kAction, "LOCALAPPDATA",
                     code == ERROR_SUCCESS ? ERROR_ENVVAR_NOT_FOUND : code);
    }
    if (length < value.size()) {
      value.resize(length);
      break;
    }
    value.resize(length);  // the size needed, terminator included
  }
  auto text = os::win::utf16_to_utf8(value);
  if (!text) {
    return failure(kAction, "LOCALAPPDATA", ERROR_NO_UNICODE_TRANSLATION);
  }
  return std::move(*text);
}

std::expected<std::string, SystemError> WindowsSetupSystem::program_folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return last_failure("find the setup program's own path", "");
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= std::numeric_limits<DWORD>::max() / 2) {
      return failure("find the setup program's own path", "", ERROR_INSUFFICIENT_BUFFER);
    }
    path.resize(path.size() * 2);
  }
  path.resize(path.rfind(L'\\') == std::wstring::npos ? 0 : path.rfind(L'\\'));
  auto text = os::win::utf16_to_utf8(path);
  if (!text) {
    return failure("find the setup program's own path", "", ERROR_NO_UNICODE_TRANSLATION);
  }
  return std::move(*text);
}

bool WindowsSetupSystem::is_file(const std::string& path) {
  const auto name = wide(path, "find");
  if (!name) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(name->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::expected<void, SystemError> WindowsSetupSystem::create_folder(const std::string& path) {
  constexpr const char* kAction = "create the folder";
  const auto name = wide(path, kAction);
  if (!name) {
    return std::unexpected(name.error());
  }
  if (CreateDirectoryW(name->c_str(), nullptr) != FALSE) {
    return {};
  }
  const DWORD code = GetLastError();
  const DWORD attributes = GetFileAttributesW(name->c_str());
  if (code == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {};
  }
  return failure(kAction, path, code);
}

std::expected<void, SystemError> WindowsSetupSystem::copy_file(const std::string& from,
                                                               const std::string& to) {
  const std::string action = "copy " + json_quoted(from) + " to";
  const auto source = wide(from, "copy");
  const auto target = wide(to, "copy to");
  if (!source || !target) {
    return std::unexpected(!source ? source.error() : target.error());
  }
  TemporaryFile temporary(*target);
  if (CopyFileW(source->c_str(), temporary.path().c_str(), FALSE) == FALSE) {
    return last_failure(action, to);
  }
  // A read-only source would make the copy read-only, and a later install
  // could not replace it.
  if (SetFileAttributesW(temporary.path().c_str(), FILE_ATTRIBUTE_NORMAL) == FALSE ||
      !temporary.move_to(*target)) {
    return last_failure("replace", to);
  }
  return {};
}

std::expected<void, SystemError> WindowsSetupSystem::write_file(const std::string& path,
                                                                std::string_view contents) {
  constexpr const char* kAction = "write";
  const auto target = wide(path, kAction);
  if (!target) {
    return std::unexpected(target.error());
  }
  TemporaryFile temporary(*target);
  {
    const UniqueHandle file(CreateFileW(temporary.path().c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      return last_failure(kAction, path);
    }
    std::string_view left = contents;
    while (!left.empty()) {
      const DWORD chunk =
          static_cast<DWORD>(std::min<std::size_t>(left.size(), std::numeric_limits<DWORD>::max()));
      DWORD written = 0;
      if (WriteFile(file.get(), left.data(), chunk, &written, nullptr) == FALSE) {
        return last_failure(kAction, path);
      }
      if (written == 0) {
        return failure(kAction, path, ERROR_WRITE_FAULT);
      }
      left.remove_prefix(written);
    }
    if (FlushFileBuffers(file.get()) == FALSE) {
      return last_failure(kAction, path);
    }
  }
  if (!temporary.move_to(*target)) {
    return last_failure("replace", path);
  }
  return {};
}

std::expected<void, SystemError> WindowsSetupSystem::delete_file(const std::string& path) {
  constexpr const char* kAction = "delete";
  const auto name = wide(path, kAction);
  if (!name) {
    return std::unexpected(name.error());
  }
  if (DeleteFileW(name->c_str()) == FALSE && !is_gone(GetLastError())) {
    return last_failure(kAction, path);
  }
  return {};
}

std::expected<void, SystemError> WindowsSetupSystem::remove_empty_folder(const std::string& path) {
  constexpr const char* kAction = "remove the folder";
  const auto name = wide(path, kAction);
  if (!name) {
    return std::unexpected(name.error());
  }
  if (RemoveDirectoryW(name->c_str()) == FALSE) {
    const DWORD code = GetLastError();
    if (code != ERROR_DIR_NOT_EMPTY && !is_gone(code)) {
      return failure(kAction, path, code);
    }
  }
  return {};
}

std::expected<void, SystemError> WindowsSetupSystem::set_default_value(const std::string& key,
                                                                       const std::string& value) {
  const std::string action = "register the host at the HKEY_CURRENT_USER registry key";
  const auto subkey = wide(key, "register the host at");
  const auto data = wide(value, "register the host with");
  if (!subkey || !data) {
    return std::unexpected(!subkey ? subkey.error() : data.error());
  }
  UniqueKey opened;
  LSTATUS status =
      RegCreateKeyExW(HKEY_CURRENT_USER, subkey->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, opened.out(), nullptr);
  if (status != ERROR_SUCCESS) {
    return failure(action, key, static_cast<DWORD>(status));
  }
  const std::size_t bytes = (data->size() + 1) * sizeof(wchar_t);  // with the terminator
  if (bytes > std::numeric_limits<DWORD>::max()) {
    return failure(action, key, ERROR_INVALID_DATA);
  }
  status = RegSetValueExW(opened.get(), nullptr, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data->c_str()), static_cast<DWORD>(bytes));
  if (status != ERROR_SUCCESS) {
    return failure(action, key, static_cast<DWORD>(status));
  }
  return {};
}

std::expected<void, SystemError> WindowsSetupSystem::delete_key(const std::string& key) {
  constexpr const char* kAction = "delete the HKEY_CURRENT_USER registry key";
  const auto subkey = wide(key, kAction);
  if (!subkey) {
    return std::unexpected(subkey.error());
  }
  const LSTATUS status = RegDeleteKeyW(HKEY_CURRENT_USER, subkey->c_str());
  if (status != ERROR_SUCCESS && !is_gone(static_cast<DWORD>(status))) {
    return failure(kAction, key, static_cast<DWORD>(status));
  }
  return {};
}

}  // namespace ombrelin::setup::win
