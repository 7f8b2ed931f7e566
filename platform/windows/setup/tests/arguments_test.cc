#include "setup/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrelin::setup {
namespace {

using Args = std::vector<std::string>;

const Args kInstall = {"install",
                       "--extension-id",
                       "abcdefghijklmnopabcdefghijklmnop",
                       "--device-id=6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f",
                       "--identity-fingerprint",
                       "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",
                       "--device-name=Front desk = reception",
                       "--extension-id=ponmlkjihgfedcbaponmlkjihgfedcba"};

Args with(Args args, std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}

std::string refusal(const Args& args) {
  const auto parsed = parse_arguments(args);
  EXPECT_FALSE(parsed.has_value());
  return parsed ? "" : parsed.error().message;
}

TEST(ParseArguments, InstallTakesBothOptionFormsAndKeepsTheIdsInOrder) {
  const auto parsed = parse_arguments(kInstall);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().message;
  EXPECT_EQ(parsed->command, Command::kInstall);
  const InstallValues& values = parsed->install;
  EXPECT_EQ(values.extension_ids, (std::vector<std::string>{"abcdefghijklmnopabcdefghijklmnop",
                                                            "ponmlkjihgfedcbaponmlkjihgfedcba"}));
  EXPECT_EQ(values.device_id, "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f");
  EXPECT_EQ(values.identity_fingerprint, "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8");
  // Only the first "=" separates the name from the value.
  EXPECT_EQ(values.device_name, "Front desk = reception");
  EXPECT_FALSE(values.agent_path.has_value());
}

TEST(ParseArguments, ValuesAreTakenAsGivenEvenWhenTheyLookLikeOptions) {
  const auto parsed = parse_arguments(
      with({"install", "--extension-id", "x", "--device-id", "y", "--identity-fingerprint", "z"},
           {"--device-name", "--agent", "--agent", "C:\\build\\agent.exe"}));
  ASSERT_TRUE(parsed.has_value()) << parsed.error().message;
  EXPECT_EQ(parsed->install.device_name, "--agent");
  EXPECT_EQ(parsed->install.agent_path, "C:\\build\\agent.exe");
}

TEST(ParseArguments, EmptyValuesAreLeftToTheValueChecks) {
  const auto parsed = parse_arguments(Args{
      "install", "--extension-id=", "--device-id=", "--identity-fingerprint=", "--device-name="});
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->install.extension_ids, std::vector<std::string>{""});
}

TEST(ParseArguments, HelpAndUninstall) {
  for (const Args& args : {Args{"help"}, Args{"--help"}, Args{"-h"}, Args{"/?"},
                           with(kInstall, {"--help"}), Args{"uninstall", "-h"}}) {
    const auto parsed = parse_arguments(args);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->command, Command::kHelp) << args.back();
  }
  const auto parsed = parse_arguments(Args{"uninstall"});
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->command, Command::kUninstall);
}

TEST(ParseArguments, MissingPiecesAreNamed) {
  EXPECT_EQ(refusal({}), "a command is needed: install, uninstall or help");
  EXPECT_EQ(
      refusal({"install", "--device-id", "d", "--identity-fingerprint", "f", "--device-name", "n"}),
      "install needs at least one --extension-id");
  EXPECT_EQ(refusal({"install", "--extension-id", "e", "--identity-fingerprint", "f",
                     "--device-name", "n"}),
            "install needs --device-id");
  EXPECT_EQ(refusal({"install", "--extension-id", "e", "--device-id", "d", "--device-name", "n"}),
            "install needs --identity-fingerprint");
  EXPECT_EQ(refusal({"install", "--extension-id", "e", "--device-id", "d", "--identity-fingerprint",
                     "f"}),
            "install needs --device-name");
  EXPECT_EQ(refusal(with(kInstall, {"--agent"})), "--agent needs a value");
}

TEST(ParseArguments, UnknownOrRepeatedPiecesAreRefused) {
  EXPECT_EQ(refusal({"instal"}), "unknown command \"instal\": use install, uninstall or help");
  EXPECT_EQ(refusal(with(kInstall, {"--device-id", "x"})), "--device-id is given more than once");
  EXPECT_EQ(refusal(with(kInstall, {"--device-name=x"})), "--device-name is given more than once");
  EXPECT_EQ(refusal(with(kInstall, {"--identity-fingerprint=x"})),
            "--identity-fingerprint is given more than once");
  EXPECT_EQ(refusal(with(kInstall, {"--agent=a", "--agent=b"})), "--agent is given more than once");
  EXPECT_EQ(refusal(with(kInstall, {"--device"})), "unknown option --device");
  EXPECT_EQ(refusal(with(kInstall, {"--Device-Id=x"})), "unknown option --Device-Id");
  EXPECT_EQ(refusal(with(kInstall, {"-d"})), "unknown option -d");
  EXPECT_EQ(refusal(with(kInstall, {"extra"})), "unexpected argument \"extra\"");
  EXPECT_EQ(refusal({"uninstall", "--device-id=x"}),
            "uninstall takes no options, got \"--device-id=x\"");
}

}  // namespace
}  // namespace ombrelin::setup
