#include "session/dispatcher.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "session/tests/fake_desktop.h"

namespace ombrelin::session {
namespace {

namespace command = native_protocol::command;
using native_protocol::NativeCommand;

struct CommandCase {
  std::string name;
  NativeCommand command;
  std::optional<CommandError> without_session;  // none: success
};

// A session start whose request cannot be valid (empty identifiers, no ticket).
command::SessionStart invalid_session_start() {
  command::SessionStart start;
  start.requester_name = "Ann";
  start.permissions = {native_protocol::PermissionName::kViewScreen};
  start.lease_expires_at = 1;
  return start;
}

const CommandCase kCommands[] = {
    {"Status", command::Status{}, std::nullopt},
    {"Diagnostics", command::Diagnostics{}, std::nullopt},
    {"Pause", command::Pause{true}, CommandError::kNoActiveSession},
    {"Resume", command::Pause{false}, CommandError::kNoActiveSession},
    {"Stop", command::Stop{}, std::nullopt},
    {"SessionStart", invalid_session_start(), CommandError::kSessionRequestInvalid},
    {"Control", command::Control{"11111111-1111-4111-8111-111111111111", {}},
     CommandError::kNoActiveSession},
    {"SessionPause", command::SessionPause{"11111111-1111-4111-8111-111111111111", true},
     CommandError::kNoActiveSession},
    {"SessionStop", command::SessionStop{"11111111-1111-4111-8111-111111111111"}, std::nullopt},
};

class DispatchWithoutSession : public ::testing::TestWithParam<CommandCase> {
 protected:
  std::expected<void, CommandError> dispatch() {
    NativeCommand command = GetParam().command;
    DispatchContext context{sessions_, desktop_.wall, binding_};
    return dispatch_command(std::move(command), context);
  }

  testing::FakeDesktop desktop_;
  SessionHost sessions_{desktop_.services()};
  protocol::HostBinding binding_;
};

TEST_P(DispatchWithoutSession, AnswersAsNoSessionExists) {
  const auto result = dispatch();
  if (GetParam().without_session) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), *GetParam().without_session);
  } else {
    EXPECT_TRUE(result.has_value());
  }
  EXPECT_EQ(sessions_.session(), nullptr);
  EXPECT_EQ(desktop_.indicator.second.try_receive(), std::nullopt);
}

// A clock that cannot be read fails every command, status included, before it
// runs.
TEST_P(DispatchWithoutSession, ClockFailureShortCircuits) {
  desktop_.wall.set(os::SystemTime{true, 1, 0});
  auto result = dispatch();
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), CommandError::kClockInvalid);

  desktop_.wall.set(os::SystemTime{false, std::numeric_limits<std::uint64_t>::max(), 0});
  result = dispatch();
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), CommandError::kClockOutOfBound);
}

INSTANTIATE_TEST_SUITE_P(Commands, DispatchWithoutSession, ::testing::ValuesIn(kCommands),
                         [](const auto& test) { return test.param.name; });

TEST(CommandErrorText, EveryKindHasItsOwnSentence) {
  std::set<std::string_view> seen;
  for (int kind = 0; kind <= static_cast<int>(CommandError::kStopSessionMismatch); ++kind) {
    const std::string_view text = to_string(static_cast<CommandError>(kind));
    EXPECT_TRUE(seen.insert(text).second) << "duplicate text for kind " << kind;
    EXPECT_TRUE(text.ends_with('.')) << text;
  }
}

}  // namespace
}  // namespace ombrelin::session
