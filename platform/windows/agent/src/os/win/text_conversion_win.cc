#include "os/win/text_conversion_win.h"

#include <windows.h>

#include <climits>

namespace ombrelin::os::win {

std::optional<std::string> utf16_to_utf8(std::wstring_view text) {
  if (text.empty()) {
    return std::string();
  }
  if (text.size() > INT_MAX / 3) {
    return std::nullopt;
  }
  const int length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length,
                                         nullptr, 0, nullptr, nullptr);
  if (needed <= 0) {
    return std::nullopt;
  }
  std::string out(static_cast<std::size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, out.data(), needed,
                          nullptr, nullptr) != needed) {
    return std::nullopt;
  }
  return out;
}

std::optional<std::wstring> utf8_to_utf16(std::string_view text) {
  if (text.empty()) {
    return std::wstring();
  }
  if (text.size() > INT_MAX) {
    return std::nullopt;
  }
  const int length = static_cast<int>(text.size());
  const int needed =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) {
    return std::nullopt;
  }
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, out.data(), needed) !=
      needed) {
    return std::nullopt;
  }
  return out;
}

OsError last_error(const char* context) {
  return OsError{static_cast<std::uint32_t>(GetLastError()), context};
}

}  // namespace ombrelin::os::win
