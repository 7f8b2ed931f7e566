// Process entry of ombrelin-setup.exe: the wide command line in, UTF-8 through
// the portable program, the messages out on the console or the pipe.

#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "os/win/text_conversion_win.h"
#include "setup/run_setup.h"
#include "setup/win/setup_system_win.h"

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* arguments) const noexcept { LocalFree(arguments); }
};

// A console shows UTF-16 through WriteConsoleW; a pipe or a file gets UTF-8.
void write_text(DWORD which, std::string_view text) {
  const HANDLE stream = GetStdHandle(which);
  if (text.empty() || stream == nullptr || stream == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD mode = 0;
  if (GetConsoleMode(stream, &mode) != FALSE) {
    const auto wide = ombrelin::os::win::utf8_to_utf16(text);
    if (wide) {
      DWORD written = 0;
      WriteConsoleW(stream, wide->data(), static_cast<DWORD>(wide->size()), &written, nullptr);
      return;
    }
  }
  while (!text.empty()) {
    DWORD written = 0;
    if (WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ==
            FALSE ||
        written == 0) {
      return;
    }
    text.remove_prefix(written);
  }
}

}  // namespace

int main() {
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(
      CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < count; ++i) {
    auto arg = ombrelin::os::win::utf16_to_utf8(argv.get()[i]);
    if (!arg) {
      write_text(STD_ERROR_HANDLE, "ombrelin-setup: an argument is not valid text\n");
      return ombrelin::setup::kExitRefused;
    }
    args.push_back(std::move(*arg));
  }
  ombrelin::setup::win::WindowsSetupSystem system;
  ombrelin::setup::SetupOutput output;
  const int status = ombrelin::setup::run_setup(args, system, output);
  write_text(STD_OUTPUT_HANDLE, output.out);
  write_text(STD_ERROR_HANDLE, output.err);
  return status;
}
