#include "ombrelin/protocol/ed25519_strict.h"

#include <sodium.h>

#include <algorithm>

namespace ombrelin::protocol {
namespace {

// The field prime 2^255 - 19, little-endian.
constexpr Ed25519PublicKey kFieldPrime = {
    0xed, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f};

// The base point, a second operand that is certainly on the curve.
constexpr Ed25519PublicKey kBasePoint = {
    0x58, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
    0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};

// Compares the 255-bit y of `key` (sign bit cleared) with a little-endian value.
bool y_less_than(const Ed25519PublicKey& key, const Ed25519PublicKey& bound) noexcept {
  for (std::size_t i = key.size(); i-- > 0;) {
    const std::uint8_t byte = i == 31 ? static_cast<std::uint8_t>(key[i] & 0x7f) : key[i];
    if (byte != bound[i]) {
      return byte < bound[i];
    }
  }
  return false;
}

// x = 0 exactly for y = 1 and y = p - 1.
bool has_zero_x(const Ed25519PublicKey& key) noexcept {
  Ed25519PublicKey y = key;
  y[31] &= 0x7f;
  Ed25519PublicKey one{};
  one[0] = 1;
  Ed25519PublicKey minus_one = kFieldPrime;
  minus_one[0] = 0xec;
  return y == one || y == minus_one;
}

}  // namespace

bool is_compressed_edwards_point(const Ed25519PublicKey& key) noexcept {
  if (!y_less_than(key, kFieldPrime)) {
    return false;
  }
  if ((key[31] & 0x80) != 0 && has_zero_x(key)) {
    return false;
  }
  // libsodium's point addition decodes both operands (y reduced, x recovered, the
  // curve equation checked) and refuses only what is not on the curve; unlike
  // is_valid_point it does not care about the subgroup.
  Ed25519PublicKey sum{};
  return crypto_core_ed25519_add(sum.data(), key.data(), kBasePoint.data()) == 0;
}

bool verify_ed25519_strict(std::span<const std::uint8_t, kEd25519SignatureLength> signature,
                           std::span<const std::uint8_t> message,
                           const Ed25519PublicKey& key) noexcept {
  static constexpr std::uint8_t kNothing = 0;  // never hand a null pointer to C
  const std::uint8_t* data = message.empty() ? &kNothing : message.data();
  return crypto_sign_verify_detached(signature.data(), data, message.size(), key.data()) == 0;
}

}  // namespace ombrelin::protocol
