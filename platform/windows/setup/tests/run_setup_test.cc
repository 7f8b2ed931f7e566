#include "setup/run_setup.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fake_setup_system.h"

namespace ombrelin::setup {
namespace {

using Args = std::vector<std::string>;

const std::string kId = "abcdefghijklmnopabcdefghijklmnop";
const std::string kFolder = "C:\\Users\\Ada\\AppData\\Local\\Ombrelin Revozad\\native-host";
const std::string kProduct = "C:\\Users\\Ada\\AppData\\Local\\Ombrelin Revozad";
const std::string kAgent = kFolder + "\\ombrelin-native-host.exe";
const std::string kManifest = kFolder + "\\com.ombrelin.revozad.agent.json";
const std::string kConfig = kFolder + "\\native-host-config.json";
const std::string kChrome =
    "Software\\Google\\Chrome\\NativeMessagingHosts\\com.ombrelin.revozad.agent";
const std::string kEdge =
    "Software\\Microsoft\\Edge\\NativeMessagingHosts\\com.ombrelin.revozad.agent";
const std::string kChromium =
    "Software\\Chromium\\NativeMessagingHosts\\com.ombrelin.revozad.agent";

Args install_args(std::string device_name = "Front desk PC") {
  return {"install", "--extension-id=" + kId, "--device-id=6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f",
          "--identity-fingerprint=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",
          "--device-name=" + device_name};
}

std::string config_for(const std::string& device_name) {
  return R"({"allowedExtensionIds":[")" + kId +
         R"("],"targetDeviceId":"6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f",)"
         R"("targetIdentityFingerprint":"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",)"
         R"("deviceName":")" +
         device_name + "\"}";
}

struct Outcome {
  int status;
  SetupOutput output;
};

Outcome run(FakeSetupSystem& system, const Args& args) {
  Outcome result{};
  result.status = run_setup(args, system, result.output);
  return result;
}

TEST(Install, PutsTheAgentItsFilesAndTheThreeRegistrationsInPlace) {
  FakeSetupSystem system;
  const Outcome result = run(system, install_args());
  ASSERT_EQ(result.status, kExitSuccess) << result.output.err;
  EXPECT_EQ(result.output.err, "");
  EXPECT_EQ(result.output.out,
            "Installed the Ombrelin Revozad agent in " + kFolder +
                "\nRegistered com.ombrelin.revozad.agent for Chrome, Edge and Chromium: " +
                kManifest + "\n");

  EXPECT_EQ(system.files[kAgent], "agent build 1");
  EXPECT_EQ(system.files[kConfig], config_for("Front desk PC"));
  EXPECT_EQ(system.files[kManifest],
            R"({"name":"com.ombrelin.revozad.agent","description":"Ombrelin Revozad )"
            R"(remote-control agent","path":"C:\\Users\\Ada\\AppData\\Local\\Ombrelin Revozad\\)"
            R"(native-host\\ombrelin-native-host.exe","type":"stdio","allowed_origins":[)"
            R"("chrome-extension://abcdefghijklmnopabcdefghijklmnop/"]})");
  EXPECT_EQ(system.registry,
            (std::map<std::string, std::string>{
                {kChrome, kManifest}, {kEdge, kManifest}, {kChromium, kManifest}}));
  // The registrations come last: no browser is pointed at a folder still being made.
  EXPECT_EQ(system.log,
            (std::vector<std::string>{
                "create_folder " + kProduct, "create_folder " + kFolder, "copy_file " + kAgent,
                "write_file " + kConfig, "write_file " + kManifest, "set_default_value " + kChrome,
                "set_default_value " + kEdge, "set_default_value " + kChromium}));
}

TEST(Install, AgainReplacesTheFilesWithTheNewValues) {
  FakeSetupSystem system;
  ASSERT_EQ(run(system, install_args()).status, kExitSuccess);
  system.files[FakeSetupSystem::kBuiltAgent] = "agent build 2";
  Args again = install_args("Reception");
  again.push_back("--extension-id=ponmlkjihgfedcbaponmlkjihgfedcba");
  ASSERT_EQ(run(system, again).status, kExitSuccess);
  EXPECT_EQ(system.files[kAgent], "agent build 2");
  EXPECT_NE(system.files[kConfig].find(R"(["abcdefghijklmnopabcdefghijklmnop",)"
                                       R"("ponmlkjihgfedcbaponmlkjihgfedcba"])"),
            std::string::npos);
  EXPECT_NE(system.files[kConfig].find(R"("deviceName":"Reception")"), std::string::npos);
  EXPECT_NE(system.files[kManifest].find("chrome-extension://ponmlkjihgfedcbaponmlkjihgfedcba/"),
            std::string::npos);
  EXPECT_EQ(system.registry.size(), 3U);
}

TEST(Install, TakesTheAgentNamedOnTheCommandLine) {
  FakeSetupSystem system;
  system.files["E:\\builds\\agent.exe"] = "agent from elsewhere";
  Args args = install_args();
  args.push_back("--agent=E:\\builds\\agent.exe");
  ASSERT_EQ(run(system, args).status, kExitSuccess);
  EXPECT_EQ(system.files[kAgent], "agent from elsewhere");
}

TEST(Install, RefusedValuesChangeNothing) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{"install", "--device-id=x"},
       "ombrelin-setup: install needs at least one --extension-id\n"
       "Run \"ombrelin-setup help\" for the usage.\n"},
      {install_args(" "),
       "ombrelin-setup: --device-name \" \" is not a device name: at most 128 bytes of UTF-8, "
       "not blank, no control characters\n"},
      {[] {
         Args args = install_args();
         args.push_back("--agent=E:\\missing.exe");
         return args;
       }(),
       "ombrelin-setup: the agent to install is not a file: \"E:\\\\missing.exe\"\n"},
  };
  for (const auto& [args, message] : cases) {
    FakeSetupSystem system;
    const Outcome result = run(system, args);
    EXPECT_EQ(result.status, kExitRefused);
    EXPECT_EQ(result.output.err, message);
    EXPECT_EQ(result.output.out, "");
    EXPECT_EQ(system.log, std::vector<std::string>{});
  }
}

TEST(Install, RefusedValuesLeaveAnEarlierInstallationAsItWas) {
  FakeSetupSystem system;
  ASSERT_EQ(run(system, install_args()).status, kExitSuccess);
  const auto files = system.files;
  const auto registry = system.registry;
  system.log.clear();
  EXPECT_EQ(run(system, install_args("Desk\r\n")).status, kExitRefused);
  EXPECT_EQ(system.files, files);
  EXPECT_EQ(system.registry, registry);
  EXPECT_EQ(system.log, std::vector<std::string>{});
}

TEST(Install, StopsAtAFailureAndRegistersNothingAfterIt) {
  FakeSetupSystem system;
  system.failing = "write_file " + kConfig;
  const Outcome result = run(system, install_args());
  EXPECT_EQ(result.status, kExitSystemFailure);
  EXPECT_EQ(result.output.err,
            "ombrelin-setup: could not write_file \"C:\\\\Users\\\\Ada\\\\AppData\\\\Local\\\\"
            "Ombrelin Revozad\\\\native-host\\\\native-host-config.json\": Access is denied. "
            "(error 5)\n");
  EXPECT_EQ(result.output.out, "");
  EXPECT_FALSE(system.files.contains(kManifest));
  EXPECT_TRUE(system.registry.empty());
}

TEST(Install, NeedsLocalAppData) {
  FakeSetupSystem system;
  system.local_app_data_set = false;
  const Outcome result = run(system, install_args());
  EXPECT_EQ(result.status, kExitSystemFailure);
  EXPECT_EQ(result.output.err,
            "ombrelin-setup: could not read the environment variable \"LOCALAPPDATA\": The system "
            "could not find the environment option. (error 203)\n");
  EXPECT_EQ(system.log, std::vector<std::string>{});
}

TEST(Uninstall, RemovesEverythingInstalled) {
  FakeSetupSystem system;
  ASSERT_EQ(run(system, install_args()).status, kExitSuccess);
  const Outcome result = run(system, {"uninstall"});
  ASSERT_EQ(result.status, kExitSuccess) << result.output.err;
  EXPECT_EQ(result.output.out, "Removed the Ombrelin Revozad agent from " + kFolder +
                                   " and its registrations for Chrome, Edge and Chromium\n");
  EXPECT_TRUE(system.registry.empty());
  EXPECT_EQ(system.files,
            (std::map<std::string, std::string>{{FakeSetupSystem::kBuiltAgent, "agent build 1"}}));
  EXPECT_FALSE(system.folders.contains(kFolder));
  EXPECT_FALSE(system.folders.contains(kProduct));
  EXPECT_TRUE(system.folders.contains(FakeSetupSystem::kLocalAppData));

  // Nothing left to remove is no failure.
  EXPECT_EQ(run(system, {"uninstall"}).status, kExitSuccess);
}

TEST(Uninstall, KeepsAFolderThatHoldsSomethingElse) {
  FakeSetupSystem system;
  ASSERT_EQ(run(system, install_args()).status, kExitSuccess);
  system.files[kFolder + "\\notes.txt"] = "mine";
  ASSERT_EQ(run(system, {"uninstall"}).status, kExitSuccess);
  EXPECT_TRUE(system.folders.contains(kFolder));
  EXPECT_TRUE(system.folders.contains(kProduct));
  EXPECT_FALSE(system.files.contains(kConfig));
}

TEST(Uninstall, GoesOnPastAFailureAndReportsIt) {
  FakeSetupSystem system;
  ASSERT_EQ(run(system, install_args()).status, kExitSuccess);
  system.failing = "delete_key " + kEdge;
  const Outcome result = run(system, {"uninstall"});
  EXPECT_EQ(result.status, kExitSystemFailure);
  EXPECT_EQ(result.output.err, "ombrelin-setup: could not delete_key \"" + std::string() +
                                   "Software\\\\Microsoft\\\\Edge\\\\NativeMessagingHosts\\\\"
                                   "com.ombrelin.revozad.agent\": Access is denied. (error 5)\n");
  EXPECT_EQ(system.registry, (std::map<std::string, std::string>{{kEdge, kManifest}}));
  EXPECT_FALSE(system.files.contains(kAgent));
  EXPECT_FALSE(system.folders.contains(kFolder));
}

TEST(RunSetup, HelpPrintsTheUsage) {
  FakeSetupSystem system;
  const Outcome result = run(system, {"help"});
  EXPECT_EQ(result.status, kExitSuccess);
  EXPECT_TRUE(result.output.out.starts_with("Installs the Ombrelin Revozad agent"));
  EXPECT_EQ(system.log, std::vector<std::string>{});
}

}  // namespace
}  // namespace ombrelin::setup
