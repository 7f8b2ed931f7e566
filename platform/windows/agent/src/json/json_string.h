#pragma once

#include <string>
#include <string_view>

namespace ombrelin::json {

// Appends `text` as a JSON string: the quotation mark and the backslash escaped,
// \b \t \n \f \r for those five controls, \u00XX in lowercase hexadecimal for the
// other controls, everything else (the solidus and all non-ASCII text included)
// as its raw UTF-8 bytes. Text that is not well-formed UTF-8 appends nothing and
// returns false.
[[nodiscard]] bool append_json_string(std::string& out, std::string_view text);

}  // namespace ombrelin::json
