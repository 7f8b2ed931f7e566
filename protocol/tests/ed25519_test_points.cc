#include "ed25519_test_points.h"

#include <sodium.h>

#include <algorithm>

#include "ombrelin/protocol/ticket_verifier.h"

namespace ombrelin::protocol::testing::points {
namespace {

// A fixed secret scalar, so that failures reproduce.
Scalar secret_scalar() {
  Scalar a{};
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>(i * 7 + 3);
  a[31] = 0x05;  // below l
  return a;
}

Ed25519PublicKey times_base(const Scalar& s) {
  Ed25519PublicKey point{};
  crypto_scalarmult_ed25519_base_noclamp(point.data(), s.data());
  return point;
}

Scalar random_scalar() {
  Scalar r{};
  crypto_core_ed25519_scalar_random(r.data());
  return r;
}

// Draws nonces until k mod 8 is (or is not) zero.
Forged sign_with_k_condition(const Bytes& message, const Ed25519PublicKey& key, const Scalar& a,
                             bool k_multiple_of_8) {
  for (;;) {
    const Scalar r = random_scalar();
    const Ed25519PublicKey big_r = times_base(r);
    const Scalar k = challenge(big_r, key, message);
    if (((k[0] & 7) == 0) != k_multiple_of_8) continue;
    Scalar ka{};
    Scalar s{};
    crypto_core_ed25519_scalar_mul(ka.data(), k.data(), a.data());
    crypto_core_ed25519_scalar_add(s.data(), r.data(), ka.data());
    return Forged{signature_of(big_r, s), message, key};
  }
}

}  // namespace

Scalar challenge(std::span<const std::uint8_t> r, const Ed25519PublicKey& key,
                 std::span<const std::uint8_t> message) {
  crypto_hash_sha512_state state;
  crypto_hash_sha512_init(&state);
  crypto_hash_sha512_update(&state, r.data(), r.size());
  crypto_hash_sha512_update(&state, key.data(), key.size());
  crypto_hash_sha512_update(&state, message.data(), message.size());
  std::array<std::uint8_t, 64> hash{};
  crypto_hash_sha512_final(&state, hash.data());
  Scalar k{};
  crypto_core_ed25519_scalar_reduce(k.data(), hash.data());
  return k;
}

Bytes signature_of(std::span<const std::uint8_t> r, const Scalar& s) {
  Bytes signature(r.begin(), r.end());
  signature.insert(signature.end(), s.begin(), s.end());
  return signature;
}

Forged honest(const Bytes& message) {
  const Scalar a = secret_scalar();
  const Ed25519PublicKey key = times_base(a);
  const Scalar r = random_scalar();
  const Ed25519PublicKey big_r = times_base(r);
  const Scalar k = challenge(big_r, key, message);
  Scalar ka{};
  Scalar s{};
  crypto_core_ed25519_scalar_mul(ka.data(), k.data(), a.data());
  crypto_core_ed25519_scalar_add(s.data(), r.data(), ka.data());
  return Forged{signature_of(big_r, s), message, key};
}

void add_group_order_to_s(Bytes& signature) {
  unsigned carry = 0;
  for (std::size_t i = 0; i < 32; ++i) {
    const unsigned sum = signature[32 + i] + kGroupOrder[i] + carry;
    signature[32 + i] = static_cast<std::uint8_t>(sum);
    carry = sum >> 8;
  }
}

Forged small_order_key(const Bytes& message) {
  for (;;) {
    const Scalar r = random_scalar();
    const Ed25519PublicKey big_r = times_base(r);
    const Scalar k = challenge(big_r, kOrderEight, message);
    if ((k[0] & 7) != 0) continue;
    return Forged{signature_of(big_r, r), message, kOrderEight};
  }
}

Forged identity_r(const Bytes& message, const Ed25519PublicKey& identity_spelling) {
  const Scalar a = secret_scalar();
  const Ed25519PublicKey key = times_base(a);
  const Scalar k = challenge(identity_spelling, key, message);
  Scalar s{};
  crypto_core_ed25519_scalar_mul(s.data(), k.data(), a.data());
  return Forged{signature_of(identity_spelling, s), message, key};
}

Ed25519PublicKey mixed_order_point() {
  Ed25519PublicKey mixed{};
  crypto_core_ed25519_add(mixed.data(), times_base(secret_scalar()).data(), kOrderEight.data());
  return mixed;
}

Forged mixed_order_key(const Bytes& message, bool cancelled) {
  return sign_with_k_condition(message, mixed_order_point(), secret_scalar(), cancelled);
}

Forged mixed_order_ticket_signature(const Bytes& payload, bool cancelled) {
  return mixed_order_key(ticket_signing_message(payload), cancelled);
}

}  // namespace ombrelin::protocol::testing::points
