#include "native_host/host_config.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ombrelin::native_host {
namespace {

using config::kMaxConfigBytes;

const std::string kValidJson =
    R"({"allowedExtensionIds":["abcdefghijklmnopabcdefghijklmnop"],)"
    R"("targetDeviceId":"123e4567-e89b-42d3-a456-426614174000",)"
    R"("targetIdentityFingerprint":"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",)"
    R"("deviceName":"Desk"})";

// The file system as the loader sees it.
class FakeFiles final : public os::ConfigFileAccess {
 public:
  std::optional<std::filesystem::path> path = "/config.json";
  std::expected<os::FileFacts, os::OsError> facts = os::FileFacts{};
  std::expected<std::string, os::OsError> contents = std::string();
  mutable int reads = 0;
  mutable std::size_t read_limit = 0;

  std::optional<std::filesystem::path> config_file_path() const override { return path; }
  std::expected<os::FileFacts, os::OsError> file_facts(
      const std::filesystem::path& asked) const override {
    EXPECT_EQ(asked, *path);
    return facts;
  }
  std::expected<std::string, os::OsError> read_file(const std::filesystem::path& asked,
                                                    std::size_t limit) const override {
    EXPECT_EQ(asked, *path);
    ++reads;
    read_limit = limit;
    return contents;
  }
};

FakeFiles files_holding(const std::string& contents) {
  FakeFiles files;
  files.facts = os::FileFacts{false, false, contents.size()};
  files.contents = contents;
  return files;
}

TEST(LoadHostConfig, ReadsAFileOfExactlyTheLimit) {
  const std::string padded = kValidJson + std::string(kMaxConfigBytes - kValidJson.size(), ' ');
  const FakeFiles files = files_holding(padded);
  const auto config = load_host_config(files);
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(config->device_name, "Desk");
  EXPECT_EQ(files.reads, 1);
  EXPECT_EQ(files.read_limit, kMaxConfigBytes);
}

struct LoadCase {
  std::string name;
  std::function<void(FakeFiles&)> change;
  FatalKind kind;
  bool reads_file;
};

class LoadHostConfigFails : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadHostConfigFails, WithTheRightError) {
  FakeFiles files = files_holding(kValidJson);
  GetParam().change(files);
  const auto config = load_host_config(files);
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(config.error().kind, GetParam().kind);
  EXPECT_EQ(files.reads, GetParam().reads_file ? 1 : 0);
  if (GetParam().kind == FatalKind::kOperatingSystem) {
    EXPECT_EQ(config.error().os_error.code, 13u);  // passed through unchanged
  }
}

const os::OsError kAccessDenied{13, "denied"};

INSTANTIATE_TEST_SUITE_P(
    Causes, LoadHostConfigFails,
    ::testing::Values(
        LoadCase{"NoLocalAppData", [](FakeFiles& f) { f.path.reset(); },
                 FatalKind::kLocalAppDataUnavailable, false},
        LoadCase{"FactsError", [](FakeFiles& f) { f.facts = std::unexpected(kAccessDenied); },
                 FatalKind::kOperatingSystem, false},
        LoadCase{"Directory",
                 [](FakeFiles& f) {
                   f.facts = os::FileFacts{true, false, 10};
                 },
                 FatalKind::kConfigSizeInvalid, false},
        LoadCase{"NameSurrogate",
                 [](FakeFiles& f) {
                   f.facts = os::FileFacts{false, true, 10};
                 },
                 FatalKind::kConfigSizeInvalid, false},
        LoadCase{"Empty",
                 [](FakeFiles& f) {
                   f.facts = os::FileFacts{false, false, 0};
                 },
                 FatalKind::kConfigSizeInvalid, false},
        LoadCase{"OverLimit",
                 [](FakeFiles& f) {
                   f.facts = os::FileFacts{false, false, 4097};
                 },
                 FatalKind::kConfigSizeInvalid, false},
        LoadCase{"ReadError", [](FakeFiles& f) { f.contents = std::unexpected(kAccessDenied); },
                 FatalKind::kOperatingSystem, true},
        LoadCase{"GrewPastTheLimit",
                 [](FakeFiles& f) {
                   f.contents =
                       kValidJson + std::string(kMaxConfigBytes + 1 - kValidJson.size(), ' ');
                 },
                 FatalKind::kConfigSizeInvalid, true},
        LoadCase{"ShrankToNothing", [](FakeFiles& f) { f.contents = std::string(); },
                 FatalKind::kConfigSizeInvalid, true},
        LoadCase{"SchemaError",
                 [](FakeFiles& f) {
                   f.contents = kValidJson.substr(0, kValidJson.size() - 1) + R"(,"x":1})";
                 },
                 FatalKind::kConfigSchemaInvalid, true}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ombrelin::native_host
