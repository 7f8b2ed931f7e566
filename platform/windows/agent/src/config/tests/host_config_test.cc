#include "config/host_config.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace ombrelin::config {
namespace {

const std::string kId = "abcdefghijklmnopabcdefghijklmnop";
const std::string kDeviceId = "123e4567-e89b-42d3-a456-426614174000";
// The 32 bytes 0, 1, ..., 31.
const std::string kFingerprint = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8";

std::string config_json(std::string_view members) {
  return R"({"allowedExtensionIds":[")" + kId + R"("],"targetDeviceId":")" + kDeviceId +
         R"(","targetIdentityFingerprint":")" + kFingerprint + R"(",)" + std::string(members) + "}";
}
const std::string kValidJson = config_json(R"("deviceName":"Desk")");

TEST(DecodeHostConfig, ReadsTheFourMembersInAnyOrder) {
  const auto config = decode_host_config(
      " \n{\"deviceName\":\"Caf\\u00e9 \\\"7\\\"\",\"targetIdentityFingerprint\":\"f\","
      "\"targetDeviceId\":\"d\",\"allowedExtensionIds\":[\"a\",\"b\"]}\r\n");
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(config->allowed_extension_ids, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(config->target_device_id, "d");
  EXPECT_EQ(config->target_identity_fingerprint, "f");
  EXPECT_EQ(config->device_name, "Caf\xC3\xA9 \"7\"");
}

class DecodeHostConfigRefuses : public ::testing::TestWithParam<std::string> {};

TEST_P(DecodeHostConfigRefuses, SchemaErrors) {
  EXPECT_FALSE(decode_host_config(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DecodeHostConfigRefuses,
    ::testing::Values(
        "\xEF\xBB\xBF" + kValidJson, kValidJson + "x", kValidJson + "{}", "", "[]", "null",
        config_json(R"("deviceName":"Desk","comment":"x")"),
        config_json(R"("deviceName":"Desk","deviceName":"Desk")"), config_json(R"("x":"Desk")"),
        config_json(R"("deviceName":null)"), config_json(R"("deviceName":7)"),
        R"({"allowedExtensionIds":"a","targetDeviceId":"d","targetIdentityFingerprint":"f",)"
        R"("deviceName":"n"})",
        R"({"allowedExtensionIds":[1],"targetDeviceId":"d","targetIdentityFingerprint":"f",)"
        R"("deviceName":"n"})",
        R"({"allowedExtensionIds":[null],"targetDeviceId":"d","targetIdentityFingerprint":"f",)"
        R"("deviceName":"n"})",
        R"({"allowedExtensionIds":[],"targetDeviceId":"d","targetIdentityFingerprint":"f"})",
        R"({"allowedExtensionIds":[],"targetDeviceId":"d","targetIdentityFingerprint":"f",)"
        "\"deviceName\":\"\xFF\"}"));

HostConfig valid_config() { return HostConfig{{kId}, kDeviceId, kFingerprint, "Desk"}; }

TEST(ValidateHostConfig, DerivesTheBinding) {
  const auto binding = validate_host_config(valid_config());
  ASSERT_TRUE(binding.has_value());
  const protocol::Uuid device{0x12, 0x3e, 0x45, 0x67, 0xe8, 0x9b, 0x42, 0xd3,
                              0xa4, 0x56, 0x42, 0x66, 0x14, 0x17, 0x40, 0x00};
  EXPECT_EQ(binding->device_id, device);
  for (std::size_t i = 0; i < binding->identity_fingerprint.size(); ++i) {
    EXPECT_EQ(binding->identity_fingerprint[i], i);
  }
}

struct ValidationCase {
  std::string name;
  std::function<void(HostConfig&)> change;
  bool accepted;
};

class ValidateHostConfigCases : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(ValidateHostConfigCases, AppliesTheFieldRules) {
  HostConfig config = valid_config();
  GetParam().change(config);
  const auto binding = validate_host_config(config);
  EXPECT_EQ(binding.has_value(), GetParam().accepted);
}

auto ids(std::vector<std::string> list) {
  return [list](HostConfig& c) { c.allowed_extension_ids = list; };
}
auto device_id(std::string text) {
  return [text](HostConfig& c) { c.target_device_id = text; };
}
auto fingerprint(std::string text) {
  return [text](HostConfig& c) { c.target_identity_fingerprint = text; };
}
auto device_name(std::string text) {
  return [text](HostConfig& c) { c.device_name = text; };
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ValidateHostConfigCases,
    ::testing::Values(
        ValidationCase{"NoIds", ids({}), false},
        ValidationCase{"EightIds", ids(std::vector<std::string>(8, kId)), true},
        ValidationCase{"NineIds", ids(std::vector<std::string>(9, kId)), false},
        ValidationCase{"IdWithQ", ids({"abcdefghijklmnopabcdefghijklmnoq"}), false},
        ValidationCase{"IdUppercase", ids({"Abcdefghijklmnopabcdefghijklmnop"}), false},
        ValidationCase{"IdDigit", ids({"0bcdefghijklmnopabcdefghijklmnop"}), false},
        ValidationCase{"Id31", ids({kId.substr(1)}), false},
        ValidationCase{"Id33", ids({kId + "a"}), false},
        ValidationCase{"SecondIdBad", ids({kId, kId.substr(1)}), false},
        ValidationCase{"DeviceIdUppercase", device_id("123E4567-E89B-42D3-A456-426614174000"),
                       false},
        ValidationCase{"DeviceIdVersion0", device_id("123e4567-e89b-02d3-a456-426614174000"),
                       false},
        ValidationCase{"DeviceIdVersion9", device_id("123e4567-e89b-92d3-a456-426614174000"),
                       false},
        ValidationCase{"DeviceIdVersion8", device_id("123e4567-e89b-82d3-b456-426614174000"), true},
        ValidationCase{"DeviceIdVariantC", device_id("123e4567-e89b-42d3-c456-426614174000"),
                       false},
        ValidationCase{"DeviceIdBraces", device_id("{123e4567-e89b-42d3-a456-426614174000}"),
                       false},
        ValidationCase{"DeviceIdNoHyphens", device_id("123e4567e89b42d3a456426614174000"), false},
        ValidationCase{"FingerprintPadded", fingerprint(kFingerprint + "="), false},
        ValidationCase{"FingerprintStandardAlphabet", fingerprint("+" + kFingerprint.substr(1)),
                       false},
        ValidationCase{"FingerprintUrlAlphabet", fingerprint("-" + kFingerprint.substr(1)), true},
        ValidationCase{"Fingerprint31Bytes",
                       fingerprint("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg"), false},
        ValidationCase{"Fingerprint33Bytes",
                       fingerprint("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8g"), false},
        ValidationCase{"FingerprintAllZero", fingerprint(std::string(43, 'A')), false},
        ValidationCase{"FingerprintDataFreeBitsSet",
                       fingerprint("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh9"), false},
        ValidationCase{"NameEmpty", device_name(""), false},
        ValidationCase{"NameSpaces", device_name("   "), false},
        ValidationCase{"NameNoBreakSpaceOnly", device_name("\xC2\xA0"), false},
        ValidationCase{"Name128Bytes", device_name(std::string(128, 'n')), true},
        ValidationCase{"Name129Bytes", device_name(std::string(129, 'n')), false},
        ValidationCase{"NameEndsInLineFeed", device_name("Desk\n"), false},
        ValidationCase{"NameTabInside", device_name("De\tsk"), false},
        ValidationCase{"NameDelete", device_name("Desk\x7f"), false},
        ValidationCase{"NameC1Control", device_name("Desk\xC2\x85"), false},
        ValidationCase{"NameInnerSpacesAndNonAscii",
                       device_name(" Bureau de Zo\xC3\xAB \xE6\x9D\xB1 "), true}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ombrelin::config
