// The main loop against the local user's events: a Stop or Pause that reached
// the agent is served before any later message of the page, also when it comes
// in while the loop waits.

#include "native_host/host_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "display/tests/fake_display_api.h"
#include "native_host/service_origin.h"
#include "os/tests/fake_clocks.h"
#include "session/tests/fake_desktop.h"
#include "session/tests/fake_window_system.h"

namespace ombrelin::native_host {
namespace {

using namespace std::chrono_literals;
namespace control = native_protocol::control;

constexpr char kExtensionId[] = "abcdefghijklmnopabcdefghijklmnop";

// Standard output that keeps every frame and lets the test wait for the next.
class CapturedOutput final : public os::ByteOutput {
 public:
  std::expected<void, os::OsError> write_all(std::span<const std::uint8_t> bytes) override {
    {
      const std::lock_guard lock(mutex_);
      written_.append(bytes.begin(), bytes.end());
    }
    changed_.notify_all();
    return {};
  }
  std::expected<void, os::OsError> flush() override { return {}; }

  // Waits until the written bytes contain `text`, and returns everything written.
  std::string wait_for(const std::string& text) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 10s, [&] { return written_.find(text) != std::string::npos; });
    return written_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string written_;
};

// Counts SendInput calls; everything is inserted.
class CountingInput final : public os::InputApi {
 public:
  std::uint32_t send_input(std::span<const os::InputRecord> records) override {
    sent += records.size();
    return static_cast<std::uint32_t>(records.size());
  }
  std::uint32_t scan_code(std::uint16_t) override { return 0; }
  std::int32_t screen_metric(os::ScreenMetric metric) override {
    switch (metric) {
      case os::ScreenMetric::kWidth:
        return 1920;
      case os::ScreenMetric::kHeight:
        return 1080;
      case os::ScreenMetric::kSwapButton:
        return 0;
    }
    return 0;
  }
  std::expected<os::CursorPoint, os::OsError> cursor_position() override {
    return os::CursorPoint{};
  }

  std::atomic<std::size_t> sent = 0;
};

// The loop's world: fakes for everything a session touches.
class LoopDesktop final : public os::DesktopEnvironment {
 public:
  LoopDesktop() {
    displays_.monitors.emplace_back();
    windows_.message_box_answers = {os::kIdYes};
    wall_.set_seconds(session::testing::kNowS);
  }
  const os::CallerArgument& caller_argument() const override { return caller_; }
  os::ConfigFileAccess& config_files() override { std::abort(); }
  os::RandomSource& random() override { return random_; }
  os::WallClock& wall_clock() override { return wall_; }
  os::MonotonicClock& monotonic_clock() override { return monotonic_; }
  os::DisplayApi& display_api() override { return displays_; }
  os::WindowSystem& window_system() override { return windows_; }
  os::InputApi& input_api() override { return input_; }
  std::unique_ptr<os::ByteInput> take_standard_input() override { return nullptr; }
  os::ByteOutput& standard_output() override { return output_; }

  CapturedOutput output_;
  CountingInput input_;

 private:
  class ZeroRandom final : public os::RandomSource {
   public:
    std::expected<void, os::OsError> fill(std::span<std::uint8_t> out) override {
      std::ranges::fill(out, 0x5A);
      return {};
    }
  };

  const os::CallerArgument caller_{os::CallerArgument::State::kPresent,
                                   "chrome-extension://" + std::string(kExtensionId) + "/"};
  session::testing::FakeWindowSystem windows_;
  display::test_support::FakeDisplayApi displays_;
  os::testing::FakeWallClock wall_;
  os::testing::FakeMonotonicClock monotonic_;
  ZeroRandom random_;
};

std::unique_ptr<native_protocol::IncomingMessage> message(native_protocol::IncomingMessage value) {
  return std::make_unique<native_protocol::IncomingMessage>(std::move(value));
}

class HostLoopRace : public ::testing::Test {
 protected:
  HostLoopRace() {
    auto [reader_sender, reader_receiver] = ReaderChannel::create(4, doorbell_);
    auto [indicator_sender, indicator_receiver] = session::IndicatorChannel::create(0, doorbell_);
    page_.emplace(std::move(reader_sender));
    reader_.emplace(std::move(reader_receiver));
    indicator_.emplace(indicator_sender);
    state_.emplace(config::HostConfig{{kExtensionId}, "", "", "Desk"}, protocol::HostBinding{},
                   desktop_, std::move(indicator_sender), [] { return false; });
    // A session with input, started before the loop takes over the state.
    EXPECT_TRUE(state_->sessions.start_or_refresh_session(
        session::testing::grant_of({session::testing::kSendPointer}), session::testing::kNowS));
    loop_.emplace(desktop_, *state_, "chrome-extension://" + std::string(kExtensionId) + "/",
                  *reader_, std::move(indicator_receiver), *doorbell_);
    runner_ = std::thread([this] { result_ = loop_->run(); });
    handshake();
  }

  ~HostLoopRace() override {
    page_.reset();  // the end of input
    runner_.join();
  }

  void handshake() {
    const std::string request(32, '1');
    (void)page_->send(message(
        native_protocol::HelloMessage{1, request, "chrome-extension://" + std::string(kExtensionId),
                                      std::string(kServiceWebOrigin), std::string(32, '2')}));
    const std::string written = desktop_.output_.wait_for("hello-ack");
    const std::size_t at = written.find("\"agentChallenge\":\"") + 18;
    challenge_ = written.substr(at, 32);
    (void)page_->send(message(native_protocol::ChallengeAckMessage{1, request, challenge_}));
    desktop_.output_.wait_for("\"ready\"");
    // Long enough for the loop to be waiting again when the test goes on.
    std::this_thread::sleep_for(30ms);
  }

  // A control command of the page, moving the pointer.
  std::unique_ptr<native_protocol::IncomingMessage> pointer_command(std::string request_id) {
    return message(native_protocol::CommandMessage{
        1, std::move(request_id), challenge_,
        native_protocol::command::Control{session::testing::kSessionIdText,
                                          control::Pointer{1, 1, 0.5F, 0.5F, 0}}});
  }

  std::shared_ptr<Doorbell> doorbell_ = std::make_shared<Doorbell>();
  LoopDesktop desktop_;
  std::optional<ReaderChannel::Sender> page_;
  std::optional<ReaderChannel::Receiver> reader_;
  std::optional<session::IndicatorSender> indicator_;
  std::optional<HostState> state_;
  std::optional<HostLoop> loop_;
  std::thread runner_;
  std::expected<void, FatalError> result_;
  std::string challenge_;
};

// The local user's Stop comes in while the loop waits, and the page's control
// message right after it: the stop is served first, nothing is injected.
TEST_F(HostLoopRace, ALocalStopIsServedBeforeALaterControlMessage) {
  ASSERT_TRUE(indicator_->send({1, session::IndicatorEvent::kStop}));
  ASSERT_TRUE(page_->send(pointer_command(std::string(32, 'a'))));
  const std::string written = desktop_.output_.wait_for(std::string(32, 'a'));
  EXPECT_NE(written.find("No locally approved session is active."), std::string::npos);
  EXPECT_EQ(desktop_.input_.sent, 0U);
}

TEST_F(HostLoopRace, ALocalPauseIsServedBeforeALaterControlMessage) {
  ASSERT_TRUE(indicator_->send({1, session::IndicatorEvent::kPause}));
  ASSERT_TRUE(page_->send(pointer_command(std::string(32, 'b'))));
  const std::string written = desktop_.output_.wait_for(std::string(32, 'b'));
  EXPECT_NE(written.find("Windows rejected the input event; input was paused and released."),
            std::string::npos);
  EXPECT_EQ(desktop_.input_.sent, 0U);
}

}  // namespace
}  // namespace ombrelin::native_host
