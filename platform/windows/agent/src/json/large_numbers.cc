#include "json/large_numbers.h"

#include <cmath>
#include <cstdlib>

namespace ombrelin::json {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The length of the well-formed JSON number at the start of `text`, or 0:
// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
std::size_t number_length(std::string_view text, bool& integer) {
  std::size_t at = 0;
  const auto digits = [&] {
    const std::size_t start = at;
    while (at < text.size() && is_digit(text[at])) {
      ++at;
    }
    return at - start;
  };
  if (at < text.size() && text[at] == '-') {
    ++at;
  }
  const std::size_t whole = at;
  if (digits() == 0 || (text[whole] == '0' && at - whole > 1)) {
    return 0;
  }
  integer = true;
  if (at < text.size() && text[at] == '.') {
    ++at;
    integer = false;
    if (digits() == 0) {
      return 0;
    }
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    integer = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
      ++at;
    }
    if (digits() == 0) {
      return 0;
    }
  }
  return at;
}

// Whether an integer's digits lie beyond what 64 bits hold (2^64 - 1, or
// -2^63 when negative).
bool integer_too_large(std::string_view number) {
  const bool negative = number.front() == '-';
  const std::string_view digits = negative ? number.substr(1) : number;
  const std::string_view limit = negative ? "9223372036854775808" : "18446744073709551615";
  return digits.size() != limit.size() ? digits.size() > limit.size() : digits > limit;
}

bool real_too_large(std::string_view number) {
  // strtod reads the C locale's "." (the agent never changes the locale).
  const std::string copy(number);
  return std::isinf(std::strtod(copy.c_str(), nullptr));
}

}  // namespace

std::optional<std::string> rewrite_large_numbers(std::string_view text) {
  std::string out;
  bool rewritten = false;
  std::size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (c == '"') {
      // Copy the string through its closing quotation mark; escapes never end it.
      std::size_t end = at + 1;
      while (end < text.size() && text[end] != '"') {
        end += text[end] == '\\' ? std::size_t{2} : std::size_t{1};
      }
      end = std::min(end + 1, text.size());
      out.append(text.substr(at, end - at));
      at = end;
      continue;
    }
    if (c != '-' && !is_digit(c)) {
      out.push_back(c);
      ++at;
      continue;
    }
    bool integer = false;
    const std::size_t length = number_length(text.substr(at), integer);
    if (length == 0) {
      // A malformed number is copied whole, so that no part of it is taken for a
      // number of its own; the parser refuses it.
      std::size_t end = at + 1;
      while (end < text.size() && (is_digit(text[end]) || text[end] == '.' || text[end] == '-' ||
                                   text[end] == '+' || text[end] == 'e' || text[end] == 'E')) {
        ++end;
      }
      out.append(text.substr(at, end - at));
      at = end;
      continue;
    }
    const std::string_view number = text.substr(at, length);
    const bool beyond_integers = integer && integer_too_large(number);
    if ((beyond_integers || !integer) && real_too_large(number)) {
      out.append(number.front() == '-' ? "-1e300" : "1e300");
      rewritten = true;
    } else if (beyond_integers) {
      out.append(number).append(".0");
      rewritten = true;
    } else {
      out.append(number);
    }
    at += length;
  }
  if (!rewritten) {
    return std::nullopt;
  }
  return out;
}

}  // namespace ombrelin::json
