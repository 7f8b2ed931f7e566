#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ombrelin::json {

// JSON puts no limit on numbers, but the parser refuses an integer beyond 64
// bits and a real beyond the double range. This rewrites every such number of
// `text` (outside strings, and only when well-formed) into a form the parser
// reads as a double with the same outcome: an integer within the double range
// gains ".0", so it is read as the nearest double; a number beyond the double
// range becomes 1e300 with its sign, which no 32-bit float holds either. None when `text` has no
// such number. The rewritten numbers are no integers any more, so a member that
// must be one still refuses them.
[[nodiscard]] std::optional<std::string> rewrite_large_numbers(std::string_view text);

}  // namespace ombrelin::json
