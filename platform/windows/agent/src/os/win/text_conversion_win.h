#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "os/os_error.h"

namespace ombrelin::os::win {

// UTF-16 from Windows to the agent's UTF-8; none when the text holds an unpaired
// surrogate and so is not text at all.
[[nodiscard]] std::optional<std::string> utf16_to_utf8(std::wstring_view text);

// The agent's UTF-8 to UTF-16 for Windows; none when the text is not valid UTF-8.
[[nodiscard]] std::optional<std::wstring> utf8_to_utf16(std::string_view text);

// The calling thread's last error, with what the agent was doing.
[[nodiscard]] OsError last_error(const char* context);

}  // namespace ombrelin::os::win
