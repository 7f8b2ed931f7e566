#pragma once

// Ed25519 as tickets use it, on top of libsodium 1.0.18.
//
// Signature verification is libsodium's crypto_sign_verify_detached, which is
// already strict: S must be below the group order, R and A must not be of small
// order, A must be canonically encoded, and R must equal [S]B - [k]A byte for
// byte (so a non-canonical R never verifies), without the cofactor.
//
// Decoding a public key is deliberately weaker than libsodium's
// crypto_core_ed25519_is_valid_point, which in 1.0.18 also refuses every point
// outside the prime-order subgroup. A key that merely carries a torsion component
// is still a point; whether it may sign is for the signature rules alone to say.
// The curve check goes through libsodium's point addition, which decodes without
// the subgroup test.

#include <array>
#include <cstdint>
#include <span>

namespace ombrelin::protocol {

using Ed25519PublicKey = std::array<std::uint8_t, 32>;
inline constexpr std::size_t kEd25519SignatureLength = 64;

// True when the 32 bytes are the compressed encoding of a curve point: y below
// the field prime, x recoverable from y, and no sign bit on x = 0.
[[nodiscard]] bool is_compressed_edwards_point(const Ed25519PublicKey& key) noexcept;

// Strict, cofactorless verification of a 64-byte signature over `message`.
[[nodiscard]] bool verify_ed25519_strict(
    std::span<const std::uint8_t, kEd25519SignatureLength> signature,
    std::span<const std::uint8_t> message, const Ed25519PublicKey& key) noexcept;

}  // namespace ombrelin::protocol
