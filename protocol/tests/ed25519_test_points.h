#pragma once

// Hand-made Ed25519 keys and signatures for the strict rules: each satisfies the
// cofactorless verification equation except where a case says otherwise, so only
// the strictness rule under test can refuse it.

#include <array>
#include <cstdint>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/ed25519_strict.h"

namespace ombrelin::protocol::testing::points {

using Scalar = std::array<std::uint8_t, 32>;

// The group order l, little-endian.
inline constexpr Scalar kGroupOrder = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
inline constexpr Ed25519PublicKey kFieldPrime = {
    0xed, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f};
inline constexpr Ed25519PublicKey kIdentity = {1};
// y = p + 1: the identity again, in a non-canonical spelling.
inline constexpr Ed25519PublicKey kIdentityPlusPrime = {
    0xee, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f};
// A point of order 8.
inline constexpr Ed25519PublicKey kOrderEight = {
    0x26, 0xe8, 0x95, 0x8f, 0xc2, 0xb2, 0x27, 0xb0, 0x45, 0xc3, 0xf4, 0x89, 0xf2, 0xef, 0x98, 0xf0,
    0xd5, 0xdf, 0xac, 0x05, 0xd3, 0xc6, 0x33, 0x39, 0xb1, 0x38, 0x02, 0x88, 0x6d, 0x53, 0xfc, 0x05};

struct Forged {
  Bytes signature;
  Bytes message;
  Ed25519PublicKey key{};
};

// k = SHA-512(R, A, message) mod l.
Scalar challenge(std::span<const std::uint8_t> r, const Ed25519PublicKey& key,
                 std::span<const std::uint8_t> message);

Bytes signature_of(std::span<const std::uint8_t> r, const Scalar& s);

// An ordinary key pair's signature, made by hand (R = rB, S = r + ka).
Forged honest(const Bytes& message);

// S + l: the same point equation, a non-canonical scalar.
void add_group_order_to_s(Bytes& signature);

// A = a point of order 8 and R = rB, S = r with k a multiple of 8, so kA vanishes.
Forged small_order_key(const Bytes& message);

// R = the given spelling of the identity and S = ka, so [S]B - [k]A is the identity.
Forged identity_r(const Bytes& message, const Ed25519PublicKey& identity_spelling);

// aB plus the order-8 point: a mixed-order key.
Ed25519PublicKey mixed_order_point();

// A signature under mixed_order_point()'s secret; with `cancelled` k is a multiple
// of 8 so the torsion part drops out of the equation, otherwise it does not.
Forged mixed_order_key(const Bytes& message, bool cancelled);

// The same, over the ticket signing message of `payload`.
Forged mixed_order_ticket_signature(const Bytes& payload, bool cancelled);

}  // namespace ombrelin::protocol::testing::points
