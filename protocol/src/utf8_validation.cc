#include "ombrelin/protocol/utf8_validation.h"

#include <cstddef>

namespace ombrelin::protocol {

bool is_valid_utf8(std::span<const std::uint8_t> bytes) noexcept {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    // The allowed range of the second byte rules out overlong forms, surrogates
    // and code points above U+10FFFF.
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      if (lead == 0xe0) {
        low = 0xa0;
      } else if (lead == 0xed) {
        high = 0x9f;
      }
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      if (lead == 0xf0) {
        low = 0x90;
      } else if (lead == 0xf4) {
        high = 0x8f;
      }
    } else {
      return false;
    }
    if (bytes.size() - i < length) {
      return false;
    }
    if (bytes[i + 1] < low || bytes[i + 1] > high) {
      return false;
    }
    for (std::size_t k = 2; k < length; ++k) {
      if ((bytes[i + k] & 0xc0) != 0x80) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

}  // namespace ombrelin::protocol
