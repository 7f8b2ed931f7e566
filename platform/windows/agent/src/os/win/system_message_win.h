#pragma once

#include <cstdint>
#include <string>

namespace ombrelin::os::win {

// The system's text for a Win32 error code or an HRESULT, in UTF-8 and without
// the trailing line break; the code in hexadecimal when Windows has no text.
[[nodiscard]] std::string system_message(std::uint32_t code);

}  // namespace ombrelin::os::win
