#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace ombrelin::protocol {

// An owned byte string of a decoded message (identifiers, digests, signatures).
using Bytes = std::vector<std::uint8_t>;

// A SHA-256 value: identity fingerprints and ticket payload digests.
using Sha256Digest = std::array<std::uint8_t, 32>;

}  // namespace ombrelin::protocol
