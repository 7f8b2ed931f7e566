#include "os/win/system_message_win.h"

#include <windows.h>

#include <memory>
#include <string_view>
#include <utility>

#include "os/win/text_conversion_win.h"

namespace ombrelin::os::win {
namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t* memory) const noexcept { LocalFree(memory); }
};

std::string hexadecimal_code(std::uint32_t code) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string text = "Windows error 0x";
  for (int shift = 28; shift >= 0; shift -= 4) {
    text.push_back(kDigits[(code >> shift) & 0xFu]);
  }
  return text;
}

}  // namespace

std::string system_message(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(buffer);
  std::wstring_view text(owned.get(), owned ? length : 0);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.remove_suffix(1);
  }
  auto converted = utf16_to_utf8(text);
  if (!converted || converted->empty()) {
    return hexadecimal_code(code);
  }
  return std::move(*converted);
}

}  // namespace ombrelin::os::win
