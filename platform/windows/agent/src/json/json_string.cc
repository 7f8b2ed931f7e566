#include "json/json_string.h"

#include <cstdint>
#include <span>

#include "ombrelin/protocol/utf8_validation.h"

namespace ombrelin::json {

bool append_json_string(std::string& out, std::string_view text) {
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  if (!protocol::is_valid_utf8(bytes)) {
    return false;
  }
  constexpr std::string_view kHex = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\t':
        out.append("\\t");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\r':
        out.append("\\r");
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          const auto code = static_cast<unsigned char>(c);
          out.append("\\u00");
          out.push_back(kHex[code >> 4]);
          out.push_back(kHex[code & 0x0f]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return true;
}

}  // namespace ombrelin::json
