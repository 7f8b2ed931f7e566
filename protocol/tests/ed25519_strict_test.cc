#include "ombrelin/protocol/ed25519_strict.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <functional>
#include <string>

#include "ed25519_test_points.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

using testing::PrintTo;

using testing::from_hex;
namespace points = testing::points;

struct RfcVector {
  std::string name;
  std::string public_key;
  std::string message;
  std::string signature;
};

class Rfc8032 : public ::testing::TestWithParam<RfcVector> {};

Ed25519PublicKey key_from_hex(const std::string& hex) {
  Ed25519PublicKey key{};
  const Bytes bytes = from_hex(hex);
  std::copy_n(bytes.begin(), key.size(), key.begin());
  return key;
}

TEST_P(Rfc8032, VerifiesAndRefusesAnyChange) {
  const Ed25519PublicKey key = key_from_hex(GetParam().public_key);
  Bytes message = from_hex(GetParam().message);
  Bytes signature = from_hex(GetParam().signature);
  ASSERT_EQ(signature.size(), 64u);
  EXPECT_TRUE(is_compressed_edwards_point(key));
  EXPECT_TRUE(verify_ed25519_strict(std::span<const std::uint8_t, 64>(signature), message, key));

  message.push_back(0x00);
  EXPECT_FALSE(verify_ed25519_strict(std::span<const std::uint8_t, 64>(signature), message, key));
  message.pop_back();
  signature[63] ^= 0x01;
  EXPECT_FALSE(verify_ed25519_strict(std::span<const std::uint8_t, 64>(signature), message, key));
}

// The message of TEST 1024 (1023 bytes).
std::string rfc_test_1024_message() {
  return "08b8b2b733424243760fe426a4b54908632110a66c2f6591eabd3345e3e4eb98fa6e264bf09efe12ee50f8f54"
         "e9f77b1e355f6c50544e23fb1433ddf73be84d8"
         "79de7c0046dc4996d9e773f4bc9efe5738829adb26c81b37c93a1b270b20329d658675fc6ea534e0810a44328"
         "26bf58c941efb65d57a338bbd2e26640f89ffbc"
         "1a858efcb8550ee3a5e1998bd177e93a7363c344fe6b199ee5d02e82d522c4feba15452f80288a821a579116e"
         "c6dad2b3b310da903401aa62100ab5d1a36553e"
         "06203b33890cc9b832f79ef80560ccb9a39ce767967ed628c6ad573cb116dbefefd75499da96bd68a8a97b928"
         "a8bbc103b6621fcde2beca1231d206be6cd9ec7"
         "aff6f6c94fcd7204ed3455c68c83f4a41da4af2b74ef5c53f1d8ac70bdcb7ed185ce81bd84359d44254d95629"
         "e9855a94a7c1958d1f8ada5d0532ed8a5aa3fb2"
         "d17ba70eb6248e594e1a2297acbbb39d502f1a8c6eb6f1ce22b3de1a1f40cc24554119a831a9aad6079cad884"
         "25de6bde1a9187ebb6092cf67bf2b13fd65f270"
         "88d78b7e883c8759d2c4f5c65adb7553878ad575f9fad878e80a0c9ba63bcbcc2732e69485bbc9c90bfbd6248"
         "1d9089beccf80cfe2df16a2cf65bd92dd597b07"
         "07e0917af48bbb75fed413d238f5555a7a569d80c3414a8d0859dc65a46128bab27af87a71314f318c782b23e"
         "bfe808b82b0ce26401d2e22f04d83d1255dc51a"
         "ddd3b75a2b1ae0784504df543af8969be3ea7082ff7fc9888c144da2af58429ec96031dbcad3dad9af0dcbaaa"
         "f268cb8fcffead94f3c7ca495e056a9b47acdb7"
         "51fb73e666c6c655ade8297297d07ad1ba5e43f1bca32301651339e22904cc8c42f58c30c04aafdb038dda084"
         "7dd988dcda6f3bfd15c4b4c4525004aa06eeff8"
         "ca61783aacec57fb3d1f92b0fe2fd1a85f6724517b65e614ad6808d6f6ee34dff7310fdc82aebfd904b01e1dc"
         "54b2927094b2db68d6f903b68401adebf5a7e08"
         "d78ff4ef5d63653a65040cf9bfd4aca7984a74d37145986780fc0b16ac451649de6188a7dbdf191f64b5fc5e2"
         "ab47b57f7f7276cd419c17a3ca8e1b939ae49e4"
         "88acba6b965610b5480109c8b17b80e1b7b750dfc7598d5d5011fd2dcc5600a32ef5b52a1ecc820e308aa3427"
         "21aac0943bf6686b64b2579376504ccc493d97e"
         "6aed3fb0f9cd71a43dd497f01f17c0e2cb3797aa2a2f256656168e6c496afc5fb93246f6b1116398a346f1a64"
         "1f3b041e989f7914f90cc2c7fff357876e506b5"
         "0d334ba77c225bc307ba537152f3f1610e4eafe595f6d9d90d11faa933a15ef1369546868a7f3a45a96768d40"
         "fd9d03412c091c6315cf4fde7cb68606937380d"
         "b2eaaa707b4c4185c32eddcdd306705e4dc1ffc872eeee475a64dfac86aba41c0618983f8741c5ef68d3a101e"
         "8a3b8cac60c905c15fc910840b94c00a0b9d0";
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, Rfc8032,
    ::testing::Values(
        RfcVector{"Test1", "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
                  "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33b"
                  "acc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
        RfcVector{"Test2", "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
                  "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e1599"
                  "6e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
        RfcVector{"Test3", "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025",
                  "af82",
                  "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f2"
                  "90ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
        RfcVector{"Test1024", "278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e",
                  rfc_test_1024_message(),
                  "0aab4c900501b3e24d7cdf4663326a3a87df5e4843b2cbdb67cbf6e460fec350aa5371b1508f9f"
                  "4528ecea23c436d94b5e8fcd4f681e30a6ac00a9704a188a03"}),
    testing::CaseName{});

struct StrictCase {
  std::string name;
  std::function<points::Forged()> forge;
  bool accepted;
};

class StrictVerification : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictVerification, FollowsTheStrictRules) {
  const points::Forged f = GetParam().forge();
  ASSERT_EQ(f.signature.size(), 64u);
  EXPECT_EQ(verify_ed25519_strict(std::span<const std::uint8_t, 64>(f.signature), f.message, f.key),
            GetParam().accepted);
}

const Bytes kMessage = {'t', 'i', 'c', 'k', 'e', 't'};

INSTANTIATE_TEST_SUITE_P(
    Cases, StrictVerification,
    ::testing::Values(
        StrictCase{"Honest", [] { return points::honest(kMessage); }, true},
        StrictCase{"WrongMessage",
                   [] {
                     auto f = points::honest(kMessage);
                     f.message.back() ^= 1;
                     return f;
                   },
                   false},
        StrictCase{"SPlusOrder",
                   [] {
                     auto f = points::honest(kMessage);
                     points::add_group_order_to_s(f.signature);
                     return f;
                   },
                   false},
        StrictCase{"SEqualsOrder",
                   [] {
                     auto f = points::honest(kMessage);
                     std::copy(points::kGroupOrder.begin(), points::kGroupOrder.end(),
                               f.signature.begin() + 32);
                     return f;
                   },
                   false},
        StrictCase{"SmallOrderKeySatisfyingEquation",
                   [] { return points::small_order_key(kMessage); }, false},
        StrictCase{"IdentityRSatisfyingEquation",
                   [] { return points::identity_r(kMessage, points::kIdentity); }, false},
        StrictCase{"NonCanonicalIdentityRSatisfyingEquation",
                   [] { return points::identity_r(kMessage, points::kIdentityPlusPrime); }, false},
        StrictCase{"MixedOrderKeyWithTorsionCancelled",
                   [] { return points::mixed_order_key(kMessage, true); }, true},
        StrictCase{"MixedOrderKeyWithTorsionLeft",
                   [] { return points::mixed_order_key(kMessage, false); }, false}),
    testing::CaseName{});

struct KeyCase {
  std::string name;
  Ed25519PublicKey key;
  bool point;
};

class KeyDecoding : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyDecoding, AcceptsEveryCurvePointInCanonicalForm) {
  EXPECT_EQ(is_compressed_edwards_point(GetParam().key), GetParam().point);
}

Ed25519PublicKey y_value(std::uint8_t y, bool plus_prime = false, bool sign = false) {
  Ed25519PublicKey key = plus_prime ? points::kFieldPrime : Ed25519PublicKey{};
  key[0] = static_cast<std::uint8_t>(key[0] + y);
  if (sign) key[31] |= 0x80;
  return key;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyDecoding,
    ::testing::Values(KeyCase{"PrimeOrder", testing::fixed_key_pair().public_key, true},
                      KeyCase{"MixedOrder", points::mixed_order_point(), true},
                      KeyCase{"OrderEight", points::kOrderEight, true},
                      KeyCase{"Identity", points::kIdentity, true},
                      KeyCase{"YThree", y_value(3), true},
                      KeyCase{"YTwoNotOnCurve", y_value(2), false},
                      KeyCase{"YThreePlusPrime", y_value(3, true), false},
                      KeyCase{"IdentityWithSignBit", y_value(1, false, true), false}),
    testing::CaseName{});

// libsodium's own point check refuses a mixed-order key, which is why key decoding
// does not use it.
TEST(LibsodiumPoints, LibsodiumValidPointRefusesTorsion) {
  const Ed25519PublicKey mixed = points::mixed_order_point();
  EXPECT_EQ(crypto_core_ed25519_is_valid_point(mixed.data()), 0);
  EXPECT_TRUE(is_compressed_edwards_point(mixed));
}

}  // namespace
}  // namespace ombrelin::protocol
