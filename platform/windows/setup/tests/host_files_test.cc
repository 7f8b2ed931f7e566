#include "setup/host_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrelin::setup {
namespace {

const std::string kId = "abcdefghijklmnopabcdefghijklmnop";
const std::string kOtherId = "ponmlkjihgfedcbaponmlkjihgfedcba";
const std::string kDeviceId = "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f";
// The 32 bytes 0, 1, ..., 31.
const std::string kFingerprint = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8";

InstallValues valid_values() {
  return InstallValues{{kId}, kDeviceId, kFingerprint, "Front desk PC", std::nullopt};
}

TEST(HostConfigDocument, IsWhatTheAgentReadsBackUnchanged) {
  InstallValues values = valid_values();
  values.extension_ids = {kOtherId, kId, kOtherId};
  values.device_name = " Caf\xC3\xA9 \"7\" \\ east ";
  const auto config = checked_host_config(values);
  ASSERT_TRUE(config.has_value()) << config.error().message;
  // A repeated id is kept once, in the order first given.
  EXPECT_EQ(config->allowed_extension_ids, (std::vector<std::string>{kOtherId, kId}));

  const auto document = host_config_document(*config);
  ASSERT_TRUE(document.has_value()) << document.error().message;
  EXPECT_EQ(*document, R"({"allowedExtensionIds":[")" + kOtherId + R"(",")" + kId +
                           R"("],"targetDeviceId":")" + kDeviceId +
                           R"(","targetIdentityFingerprint":")" + kFingerprint +
                           "\",\"deviceName\":\" Caf\xC3\xA9 \\\"7\\\" \\\\ east \"}");
  const auto read_back = config::decode_host_config(*document);
  ASSERT_TRUE(read_back.has_value());
  EXPECT_EQ(read_back->device_name, values.device_name);
  EXPECT_TRUE(config::validate_host_config(*read_back).has_value());
}

TEST(HostConfigDocument, LargestAcceptedValuesStayWithinTheAgentsSizeLimit) {
  InstallValues values = valid_values();
  values.extension_ids.clear();
  for (char c = 'a'; c < 'i'; ++c) {
    values.extension_ids.emplace_back(32, c);
  }
  values.device_name = std::string(128, '"');  // every byte doubled by escaping
  const auto config = checked_host_config(values);
  ASSERT_TRUE(config.has_value()) << config.error().message;
  const auto document = host_config_document(*config);
  ASSERT_TRUE(document.has_value());
  EXPECT_LE(document->size(), config::kMaxConfigBytes);
}

TEST(HostManifestDocument, NamesTheAgentAndEveryAllowedOrigin) {
  const std::vector<std::string> ids = {kId, kOtherId};
  const auto manifest = host_manifest_document(
      "C:\\Users\\Ada\\AppData\\Local\\Ombrelin Revozad\\native-host\\ombrelin-native-host.exe",
      ids);
  ASSERT_TRUE(manifest.has_value());
  EXPECT_EQ(*manifest, R"({"name":"com.ombrelin.revozad.agent",)"
                       R"("description":"Ombrelin Revozad remote-control agent",)"
                       R"("path":"C:\\Users\\Ada\\AppData\\Local\\Ombrelin Revozad\\native-host\\)"
                       R"(ombrelin-native-host.exe","type":"stdio","allowed_origins":[)"
                       R"("chrome-extension://abcdefghijklmnopabcdefghijklmnop/",)"
                       R"("chrome-extension://ponmlkjihgfedcbaponmlkjihgfedcba/"]})");
}

struct Refusal {
  std::string name;
  void (*change)(InstallValues&);
  std::string message;
};

const std::string kIdRule = " is not an extension id: 32 letters from a to p";
const std::string kDeviceIdRule =
    " is not a device id: lowercase UUID text (8-4-4-4-12 hexadecimal digits), version 1 to 8, "
    "variant 8, 9, a or b, not all zero";
const std::string kFingerprintRule =
    " is not an identity fingerprint: 32 bytes, not all zero, in URL-safe base64 without padding "
    "(43 characters)";
const std::string kNameRule =
    " is not a device name: at most 128 bytes of UTF-8, not blank, no control characters";

std::string refused(std::string_view option, std::string_view json_value, std::string_view rule) {
  return std::string(option) + " " + std::string(json_value) + std::string(rule);
}

class CheckedHostConfigRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(CheckedHostConfigRefuses, NamingTheOptionAndItsRule) {
  InstallValues values = valid_values();
  GetParam().change(values);
  const auto config = checked_host_config(values);
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(config.error().message, GetParam().message);
}

// The agent's own edge cases, each refused with the option it came from.
INSTANTIATE_TEST_SUITE_P(
    AgentRules, CheckedHostConfigRefuses,
    ::testing::Values(
        Refusal{"IdWithQ", [](InstallValues& v) { v.extension_ids = {std::string(32, 'q')}; },
                refused("--extension-id", "\"qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq\"", kIdRule)},
        Refusal{"IdUppercase",
                [](InstallValues& v) {
                  v.extension_ids = {kId, "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"};
                },
                refused("--extension-id", "\"ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP\"", kIdRule)},
        Refusal{"Id31", [](InstallValues& v) { v.extension_ids = {std::string(31, 'a')}; },
                refused("--extension-id", "\"" + std::string(31, 'a') + "\"", kIdRule)},
        Refusal{"Id33", [](InstallValues& v) { v.extension_ids = {std::string(33, 'a')}; },
                refused("--extension-id", "\"" + std::string(33, 'a') + "\"", kIdRule)},
        Refusal{"NineIds",
                [](InstallValues& v) {
                  v.extension_ids.clear();
                  for (char c = 'a'; c <= 'i'; ++c) {
                    v.extension_ids.emplace_back(32, c);
                  }
                },
                "--extension-id is given for 9 extensions; the agent allows 1 to 8"},
        Refusal{"DeviceIdUppercase",
                [](InstallValues& v) { v.device_id = "6F1C2A3E-8D4B-4C5A-9E7F-0A1B2C3D4E5F"; },
                refused("--device-id", "\"6F1C2A3E-8D4B-4C5A-9E7F-0A1B2C3D4E5F\"", kDeviceIdRule)},
        Refusal{"DeviceIdVersion0",
                [](InstallValues& v) { v.device_id = "6f1c2a3e-8d4b-0c5a-9e7f-0a1b2c3d4e5f"; },
                refused("--device-id", "\"6f1c2a3e-8d4b-0c5a-9e7f-0a1b2c3d4e5f\"", kDeviceIdRule)},
        Refusal{"DeviceIdVariantC",
                [](InstallValues& v) { v.device_id = "6f1c2a3e-8d4b-4c5a-ce7f-0a1b2c3d4e5f"; },
                refused("--device-id", "\"6f1c2a3e-8d4b-4c5a-ce7f-0a1b2c3d4e5f\"", kDeviceIdRule)},
        Refusal{
            "DeviceIdBraces",
            [](InstallValues& v) { v.device_id = "{6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f}"; },
            refused("--device-id", "\"{6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f}\"", kDeviceIdRule)},
        Refusal{"FingerprintPadded", [](InstallValues& v) { v.identity_fingerprint += "="; },
                refused("--identity-fingerprint", "\"" + kFingerprint + "=\"", kFingerprintRule)},
        Refusal{"FingerprintStandardAlphabet",
                [](InstallValues& v) {
                  v.identity_fingerprint = "+/8AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
                },
                refused("--identity-fingerprint", "\"+/8AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\"",
                        kFingerprintRule)},
        Refusal{"Fingerprint31Bytes",
                [](InstallValues& v) {
                  v.identity_fingerprint = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg";
                },
                refused("--identity-fingerprint", "\"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg\"",
                        kFingerprintRule)},
        Refusal{"Fingerprint33Bytes",
                [](InstallValues& v) {
                  v.identity_fingerprint = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8g";
                },
                refused("--identity-fingerprint",
                        "\"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8g\"", kFingerprintRule)},
        Refusal{"FingerprintAllZero",
                [](InstallValues& v) { v.identity_fingerprint = std::string(43, 'A'); },
                refused("--identity-fingerprint", "\"" + std::string(43, 'A') + "\"",
                        kFingerprintRule)},
        Refusal{"NameSpaces", [](InstallValues& v) { v.device_name = "   "; },
                refused("--device-name", "\"   \"", kNameRule)},
        Refusal{"NameEmpty", [](InstallValues& v) { v.device_name = ""; },
                refused("--device-name", "\"\"", kNameRule)},
        Refusal{"Name129Bytes", [](InstallValues& v) { v.device_name = std::string(129, 'n'); },
                refused("--device-name", "\"" + std::string(129, 'n') + "\"", kNameRule)},
        // The message shows a control character escaped, never raw.
        Refusal{"NameEndsInLineFeed", [](InstallValues& v) { v.device_name = "Desk\n"; },
                refused("--device-name", "\"Desk\\n\"", kNameRule)},
        Refusal{"NameWithTab", [](InstallValues& v) { v.device_name = "Front\tdesk"; },
                refused("--device-name", "\"Front\\tdesk\"", kNameRule)}),
    [](const ::testing::TestParamInfo<Refusal>& entry) { return entry.param.name; });

TEST(CheckedHostConfig, AcceptsTheLongestNameOfNonAsciiLetters) {
  InstallValues values = valid_values();
  values.device_name.clear();
  while (values.device_name.size() < 128) {
    values.device_name += "\xC3\xA9";  // é, two bytes
  }
  const auto config = checked_host_config(values);
  ASSERT_TRUE(config.has_value()) << config.error().message;
  EXPECT_EQ(config->device_name, values.device_name);
}

}  // namespace
}  // namespace ombrelin::setup
