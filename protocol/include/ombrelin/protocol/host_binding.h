#pragma once

#include <array>
#include <cstdint>

#include "ombrelin/protocol/text_codecs.h"

namespace ombrelin::protocol {

// This computer's identity as a session ticket must name it.
struct HostBinding {
  std::array<std::uint8_t, 32> identity_fingerprint{};
  Uuid device_id{};
};

}  // namespace ombrelin::protocol
