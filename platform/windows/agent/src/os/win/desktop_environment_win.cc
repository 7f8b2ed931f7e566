// The real Windows implementation of the operating-system seam. Each class is a
// thin translation of one capability into Win32 calls; every decision lives in
// the shared code above the seam.

#include <windows.h>
// After windows.h:
#include <bcrypt.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "os/desktop_environment.h"
#include "os/steady_monotonic_clock.h"
#include "os/win/display_api_win.h"
#include "os/win/input_api_win.h"
#include "os/win/text_conversion_win.h"
#include "os/win/unique_handle.h"
#include "os/win/window_system_win.h"

namespace ombrelin::os {
namespace {

using win::last_error;
using win::UniqueHandle;

// Another program may hold the configuration open in any way it likes.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Largest single ReadFile/WriteFile request.
constexpr std::size_t kMaxTransfer = 1u << 30;

// Standard input read through the raw handle: no C runtime, so no text-mode
// translation of CR LF and no buffering between the pipe and the frame reader.
class HandleInput final : public ByteInput {
 public:
  std::expected<std::size_t, OsError> read_some(std::span<std::uint8_t> buffer) override {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
      return std::unexpected(last_error("standard input handle"));
    }
    DWORD count = 0;
    const auto request = static_cast<DWORD>(std::min(buffer.size(), kMaxTransfer));
    if (!ReadFile(input, buffer.data(), request, &count, nullptr)) {
      // The browser closing its end of the pipe is the ordinary end of input.
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
        return 0;
      }
      return std::unexpected(OsError{static_cast<std::uint32_t>(error), "read standard input"});
    }
    return static_cast<std::size_t>(count);
  }
};

// Standard output written through the raw handle. Nothing is buffered, so flush
// has nothing to do (FlushFileBuffers on a pipe would wait for the browser to
// read everything).
class HandleOutput final : public ByteOutput {
 public:
  std::expected<void, OsError> write_all(std::span<const std::uint8_t> bytes) override {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
      return std::unexpected(last_error("standard output handle"));
    }
    while (!bytes.empty()) {
      DWORD written = 0;
      const auto request = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
      if (!WriteFile(output, bytes.data(), request, &written, nullptr)) {
        return std::unexpected(last_error("write standard output"));
      }
      if (written == 0) {
        return std::unexpected(OsError{ERROR_WRITE_FAULT, "write standard output"});
      }
      bytes = bytes.subspan(written);
    }
    return {};
  }
  std::expected<void, OsError> flush() override { return {}; }
};

bool is_separator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

bool is_drive_letter(wchar_t unit) {
  return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z');
}

// The extended-length form of a fully qualified path ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), which opens a file whatever the length of its path:
// without it Windows refuses paths of MAX_PATH characters or more unless the
// machine has opted in. The form turns the system's path parsing off, so the part
// of it that a profile path can need is done here: "/" becomes "\", empty and "."
// components go, and ".." takes away the component before it but never the drive
// or the share. Relative paths cannot take the form and are returned as they are,
// and so are paths already in the "\\?\" or "\\.\" namespace.
std::wstring extended_length_path(const std::wstring_view path) {
  const auto separator_at = [&](std::size_t at) {
    return at < path.size() && is_separator(path[at]);
  };
  std::wstring extended;
  std::wstring_view rest;
  std::size_t kept_components = 0;  // those ".." cannot take away
  if (separator_at(0) && separator_at(1)) {
    if (path.size() > 2 && (path[2] == L'?' || path[2] == L'.') && separator_at(3)) {
      return std::wstring(path);
    }
    extended = L"\\\\?\\UNC";
    rest = path.substr(2);
    kept_components = 2;  // the server and the share
  } else if (path.size() > 2 && is_drive_letter(path[0]) && path[1] == L':' && separator_at(2)) {
    extended = L"\\\\?\\";
    extended += path.substr(0, 2);
    rest = path.substr(3);
  } else {
    return std::wstring(path);
  }
  std::vector<std::wstring_view> components;
  while (!rest.empty()) {
    const auto length =
        static_cast<std::size_t>(std::ranges::find_if(rest, is_separator) - rest.begin());
    const std::wstring_view component = rest.substr(0, length);
    rest.remove_prefix(std::min(rest.size(), length + 1));
    if (component.empty() || component == L".") {
      continue;
    }
    if (component == L".." && components.size() >= kept_components) {
      if (components.size() > kept_components) {
        components.pop_back();
      }
      continue;
    }
    components.push_back(component);
  }
  if (components.size() < kept_components) {
    return std::wstring(path);  // no share named: the system refuses it
  }
  for (const std::wstring_view component : components) {
    extended += L'\\';
    extended += component;
  }
  return extended;
}

class Win32ConfigFiles final : public ConfigFileAccess {
 public:
  std::optional<std::filesystem::path> config_file_path() const override {
    const DWORD needed = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (needed == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
      return std::nullopt;
    }
    std::wstring base(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base.data(), needed);
    if (length >= needed) {
      return std::nullopt;  // changed between the two calls
    }
    base.resize(length);
    const std::filesystem::path relative(L"Ombrelin Revozad\\native-host\\native-host-config.json");
    return base.empty() ? relative : std::filesystem::path(base) / relative;
  }

  std::expected<FileFacts, OsError> file_facts(const std::filesystem::path& path) const override {
    // Backup semantics open directories too, and links are followed.
    const UniqueHandle file(CreateFileW(extended_length_path(path.native()).c_str(),
                                        FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
      return std::unexpected(last_error("open configuration metadata"));
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
      return std::unexpected(last_error("read configuration attributes"));
    }
    FileFacts facts;
    facts.is_directory = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.is_name_surrogate = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                              IsReparseTagNameSurrogate(tag.ReparseTag);
    if (!facts.is_directory) {
      LARGE_INTEGER size{};
      if (!GetFileSizeEx(file.get(), &size)) {
        return std::unexpected(last_error("read configuration size"));
      }
      facts.size = static_cast<std::uint64_t>(size.QuadPart);
    }
    return facts;
  }

  std::expected<std::string, OsError> read_file(const std::filesystem::path& path,
                                                std::size_t limit) const override {
    // Shared for writing and deleting too: an installer, an editor or a
    // synchronisation tool that has the file open must not stop the agent. The
    // setup program replaces the file whole, by a rename, so the agent never
    // reads it half-written.
    const UniqueHandle file(CreateFileW(extended_length_path(path.native()).c_str(), GENERIC_READ,
                                        kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
    if (!file.valid()) {
      return std::unexpected(last_error("open configuration"));
    }
    std::string contents(limit + 1, '\0');
    std::size_t filled = 0;
    while (filled < contents.size()) {
      DWORD count = 0;
      if (!ReadFile(file.get(), contents.data() + filled,
                    static_cast<DWORD>(contents.size() - filled), &count, nullptr)) {
        return std::unexpected(last_error("read configuration"));
      }
      if (count == 0) {
        break;
      }
      filled += count;
    }
    contents.resize(filled);
    return contents;
  }
};

class SystemPreferredRandom final : public RandomSource {
 public:
  std::expected<void, OsError> fill(std::span<std::uint8_t> out) override {
    const NTSTATUS status = BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
      return std::unexpected(OsError{static_cast<std::uint32_t>(status), "BCryptGenRandom"});
    }
    return {};
  }
};

// FILETIME counts 100 ns intervals since 1601-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116'444'736'000'000'000;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerMinute = 600'000'000;

std::uint64_t ticks_of(const FILETIME& file_time) {
  return (static_cast<std::uint64_t>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime;
}

class SystemWallClock final : public WallClock {
 public:
  SystemTime now() const override {
    FILETIME file_time{};
    GetSystemTimePreciseAsFileTime(&file_time);
    const std::uint64_t ticks = ticks_of(file_time);
    if (ticks < kUnixEpochTicks) {
      return SystemTime{true, 0, 0};
    }
    const std::uint64_t since_epoch = ticks - kUnixEpochTicks;
    return SystemTime{false, since_epoch / kTicksPerSecond,
                      static_cast<std::uint32_t>(since_epoch % kTicksPerSecond * 100)};
  }

  // The instant converted with the time zone's rules for its own year, so a
  // date across a daylight saving change gets the offset it will have, not
  // today's. (SystemTimeToTzSpecificLocalTimeEx would do both steps at once,
  // but Wine 8 does not have it.)
  std::expected<std::int32_t, OsError> utc_offset_minutes_at(
      std::uint64_t unix_seconds) const override {
    // FILETIME holds instants up to the year 30827.
    constexpr std::uint64_t kLastSecond =
        (static_cast<std::uint64_t>(INT64_MAX) - kUnixEpochTicks) / kTicksPerSecond;
    if (unix_seconds > kLastSecond) {
      return std::unexpected(OsError{ERROR_INVALID_PARAMETER, "FileTimeToSystemTime"});
    }
    const std::uint64_t ticks = kUnixEpochTicks + unix_seconds * kTicksPerSecond;
    const FILETIME utc_file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&utc_file, &utc)) {
      return std::unexpected(last_error("FileTimeToSystemTime"));
    }
    DYNAMIC_TIME_ZONE_INFORMATION dynamic_zone{};
    if (GetDynamicTimeZoneInformation(&dynamic_zone) == TIME_ZONE_ID_INVALID) {
      return std::unexpected(last_error("GetDynamicTimeZoneInformation"));
    }
    TIME_ZONE_INFORMATION zone{};
    if (!GetTimeZoneInformationForYear(utc.wYear, &dynamic_zone, &zone)) {
      return std::unexpected(last_error("GetTimeZoneInformationForYear"));
    }
    SYSTEMTIME local{};
    if (!SystemTimeToTzSpecificLocalTime(&zone, &utc, &local)) {
      return std::unexpected(last_error("SystemTimeToTzSpecificLocalTime"));
    }
    FILETIME local_file{};
    if (!SystemTimeToFileTime(&local, &local_file)) {
      return std::unexpected(last_error("SystemTimeToFileTime"));
    }
    const auto difference =
        static_cast<std::int64_t>(ticks_of(local_file)) - static_cast<std::int64_t>(ticks);
    return static_cast<std::int32_t>(difference / kTicksPerMinute);
  }
};

// Reads the caller origin from the wide command line: the narrow argv of the C
// runtime is in the ANSI code page and would mangle non-ASCII text.
CallerArgument read_caller_argument() {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> arguments(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (!arguments || count < 2) {
    return {};
  }
  auto text = win::utf16_to_utf8(arguments.get()[1]);
  if (!text) {
    return {CallerArgument::State::kNotText, {}};
  }
  return {CallerArgument::State::kPresent, std::move(*text)};
}

class Win32Desktop final : public DesktopEnvironment {
 public:
  explicit Win32Desktop(CallerArgument caller) : caller_(std::move(caller)) {}

  const CallerArgument& caller_argument() const override { return caller_; }
  ConfigFileAccess& config_files() override { return config_files_; }
  RandomSource& random() override { return random_; }
  WallClock& wall_clock() override { return clock_; }
  MonotonicClock& monotonic_clock() override { return monotonic_clock_; }
  DisplayApi& display_api() override { return *display_api_; }
  WindowSystem& window_system() override { return *window_system_; }
  InputApi& input_api() override { return *input_api_; }
  std::unique_ptr<ByteInput> take_standard_input() override {
    return std::make_unique<HandleInput>();
  }
  ByteOutput& standard_output() override { return output_; }

 private:
  CallerArgument caller_;
  Win32ConfigFiles config_files_;
  SystemPreferredRandom random_;
  SystemWallClock clock_;
  std::unique_ptr<DisplayApi> display_api_ = win::make_win32_display_api();
  std::unique_ptr<WindowSystem> window_system_ = win::make_win32_window_system();
  std::unique_ptr<InputApi> input_api_ = win::make_win32_input_api();
  SteadyMonotonicClock monotonic_clock_;
  HandleOutput output_;
};

}  // namespace

std::expected<std::unique_ptr<DesktopEnvironment>, EnvironmentError> create_desktop_environment(
    int /*argc*/, char** /*argv*/) {
  return std::make_unique<Win32Desktop>(read_caller_argument());
}

}  // namespace ombrelin::os
