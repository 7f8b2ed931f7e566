#include "package_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_setup_system.h"
#include "setup/run_setup.h"

namespace ombrelin::packaging {
namespace {

const std::string kId = "abcdefghijklmnopabcdefghijklmnop";
const std::string kOtherId = "ponmlkjihgfedcbaponmlkjihgfedcba";
const std::string kDeviceId = "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f";
const std::string kFingerprint = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8";
const std::string kName =
    "Front desk \xE2\x80\x94 R\xC3\xA9"
    "ception";
// What Windows Installer gives as LocalAppDataFolder: with a trailing separator.
const std::string kLocalAppData = std::string(setup::FakeSetupSystem::kLocalAppData) + "\\";

PackageProperties valid() { return {kId + ", " + kOtherId, kDeviceId, kFingerprint, kName}; }

// What the setup program does with the same values as command-line options.
struct SetupRun {
  int status;
  setup::SetupOutput output;
  setup::FakeSetupSystem system;
};

void run_setup_with(SetupRun& run, const std::vector<std::string>& ids,
                    const PackageProperties& p) {
  std::vector<std::string> args{"install"};
  for (const std::string& id : ids) {
    args.push_back("--extension-id=" + id);
  }
  args.insert(args.end(),
              {"--device-id=" + p.device_id, "--identity-fingerprint=" + p.identity_fingerprint,
               "--device-name=" + p.device_name});
  run.status = setup::run_setup(args, run.system, run.output);
}

TEST(PreparePackageFiles, WritesWhatTheSetupProgramWrites) {
  const auto files = prepare_package_files(valid(), kLocalAppData);
  ASSERT_TRUE(files.has_value()) << files.error().message;

  SetupRun setup;
  run_setup_with(setup, {kId, kOtherId}, valid());
  ASSERT_EQ(setup.status, setup::kExitSuccess) << setup.output.err;
  EXPECT_EQ(setup.system.files.at(files->config_path), files->config_document);
  EXPECT_EQ(setup.system.files.at(files->manifest_path), files->manifest_document);
  EXPECT_EQ(
      files->config_path,
      "C:\\Users\\Ada\\AppData\\Local\\Ombrelin Revozad\\native-host\\native-host-config.json");
  EXPECT_EQ(files->manifest_path,
            "C:\\Users\\Ada\\AppData\\Local\\Ombrelin Revozad\\native-host\\"
            "com.ombrelin.revozad.agent.json");
}

TEST(PreparePackageFiles, ReadsTheIdListWithOrWithoutSpacesAndKeepsARepeatOnce) {
  PackageProperties spaced = valid();
  spaced.extension_ids = " " + kId + " ,  " + kOtherId + "," + kId;
  PackageProperties tight = valid();
  tight.extension_ids = kId + "," + kOtherId;
  const auto a = prepare_package_files(spaced, kLocalAppData);
  const auto b = prepare_package_files(tight, kLocalAppData);
  ASSERT_TRUE(a.has_value() && b.has_value());
  EXPECT_EQ(*a, *b);
  EXPECT_NE(a->config_document.find("[\"" + kId + "\",\"" + kOtherId + "\"]"), std::string::npos);
}

struct Missing {
  const char* name;
  std::string PackageProperties::*value;
  const char* message;
};

class MissingProperty : public testing::TestWithParam<Missing> {};

TEST_P(MissingProperty, IsNamedWithTheSetupProgramsOption) {
  PackageProperties properties = valid();
  properties.*GetParam().value = "";
  const auto files = prepare_package_files(properties, kLocalAppData);
  ASSERT_FALSE(files.has_value());
  EXPECT_EQ(files.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    EachProperty, MissingProperty,
    testing::Values(
        Missing{"ExtensionIds", &PackageProperties::extension_ids,
                "ombrelin-setup: install needs at least one --extension-id (the package's property "
                "EXTENSION_IDS)"},
        Missing{"DeviceId", &PackageProperties::device_id,
                "ombrelin-setup: install needs --device-id (the package's property DEVICE_ID)"},
        Missing{"Fingerprint", &PackageProperties::identity_fingerprint,
                "ombrelin-setup: install needs --identity-fingerprint (the package's property "
                "IDENTITY_FINGERPRINT)"},
        Missing{
            "DeviceName", &PackageProperties::device_name,
            "ombrelin-setup: install needs --device-name (the package's property DEVICE_NAME)"}),
    [](const testing::TestParamInfo<Missing>& param) { return std::string(param.param.name); });

struct Refused {
  const char* name;
  PackageProperties properties;
  std::vector<std::string> ids;  // the same ids as separate options
};

class RefusedValue : public testing::TestWithParam<Refused> {};

// The administrator reads in the installer's log the line the setup program
// prints for the same value, and nothing is prepared.
TEST_P(RefusedValue, GetsTheSetupProgramsMessage) {
  const auto files = prepare_package_files(GetParam().properties, kLocalAppData);
  ASSERT_FALSE(files.has_value());

  SetupRun setup;
  run_setup_with(setup, GetParam().ids, GetParam().properties);
  ASSERT_EQ(setup.status, setup::kExitRefused);
  EXPECT_EQ(files.error().message + "\n", setup.output.err);
}

PackageProperties with(std::string PackageProperties::*member, std::string value) {
  PackageProperties properties = valid();
  properties.*member = std::move(value);
  return properties;
}

INSTANTIATE_TEST_SUITE_P(
    AgentRules, RefusedValue,
    testing::Values(
        Refused{"UppercaseDeviceId",
                with(&PackageProperties::device_id, "6F1C2A3E-8D4B-4C5A-9E7F-0A1B2C3D4E5F"),
                {kId, kOtherId}},
        Refused{"PaddedFingerprint",
                with(&PackageProperties::identity_fingerprint, kFingerprint + "="),
                {kId, kOtherId}},
        Refused{"BlankName", with(&PackageProperties::device_name, "   "), {kId, kOtherId}},
        Refused{"LongName",
                with(&PackageProperties::device_name, std::string(129, 'n')),
                {kId, kOtherId}},
        Refused{"BracketedId",
                with(&PackageProperties::extension_ids, "[ProductCode]"),
                {"[ProductCode]"}},
        Refused{"EmptyItem",
                with(&PackageProperties::extension_ids, kId + ",," + kOtherId),
                {kId, "", kOtherId}},
        Refused{"NineIds",
                with(&PackageProperties::extension_ids,
                     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa,bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb,"
                     "cccccccccccccccccccccccccccccccc,dddddddddddddddddddddddddddddddd,"
                     "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee,ffffffffffffffffffffffffffffffff,"
                     "gggggggggggggggggggggggggggggggg,hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh,"
                     "iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"),
                {std::string(32, 'a'), std::string(32, 'b'), std::string(32, 'c'),
                 std::string(32, 'd'), std::string(32, 'e'), std::string(32, 'f'),
                 std::string(32, 'g'), std::string(32, 'h'), std::string(32, 'i')}}),
    [](const testing::TestParamInfo<Refused>& param) { return std::string(param.param.name); });

TEST(ActionData, CarriesTheFilesToTheDeferredAction) {
  const auto files = prepare_package_files(valid(), kLocalAppData);
  ASSERT_TRUE(files.has_value());
  EXPECT_EQ(decode_action_data(encode_action_data(*files)), *files);
}

TEST(ActionData, RefusesTextThatIsNotFourParts) {
  for (const std::string data : {"", "a\nb\nc", "a\nb\nc\nd\ne", "a\n\nc\nd", "a\nb\nc\n"}) {
    EXPECT_FALSE(decode_action_data(data).has_value()) << data;
  }
}

}  // namespace
}  // namespace ombrelin::packaging
