#include "session/dispatcher.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "os/sim/display_api_sim.h"
#include "os/sim/input_api_sim.h"
#include "os/sim/window_system_sim.h"
#include "os/steady_monotonic_clock.h"
#include "session/tests/fake_wall_clock.h"

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
    DispatchContext context{sessions_, clock_, binding_, indicator_.first};
    return dispatch_command(std::move(command), context);
  }

  FakeWallClock clock_{os::SystemTime{false, 1'700'000'000, 0}};
  os::sim::DesktopDescription desktop_ = os::sim::DesktopDescription::standard();
  os::sim::Journal journal_;
  std::unique_ptr<os::WindowSystem> windows_ =
      os::sim::make_simulated_window_system(desktop_, journal_, "");
  std::unique_ptr<os::DisplayApi> displays_ = os::sim::make_simulated_display_api(desktop_);
  std::unique_ptr<os::InputApi> input_ = os::sim::make_simulated_input_api(desktop_, journal_);
  os::SteadyMonotonicClock monotonic_clock_;
  SessionHost sessions_{SessionServices{*windows_, *displays_, *input_, clock_, monotonic_clock_}};
  protocol::HostBinding binding_;
  std::pair<IndicatorSender, IndicatorReceiver> indicator_ = Channel<IndicatorEvent>::create();
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
  EXPECT_EQ(indicator_.second.try_receive(), std::nullopt);
}

// A clock that cannot be read fails every command, status included, before it
// runs.
TEST_P(DispatchWithoutSession, ClockFailureShortCircuits) {
  clock_.set(os::SystemTime{true, 1, 0});
  auto result = dispatch();
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), CommandError::kClockInvalid);

  clock_.set(os::SystemTime{false, std::numeric_limits<std::uint64_t>::max(), 0});
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
