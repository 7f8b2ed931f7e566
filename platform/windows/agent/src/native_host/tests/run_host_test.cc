// The end of a run and the reader thread. A reader that is not waiting in a read
// is ending once nobody receives its events (its last event sent, taken or still
// queued, or a message it cannot hand over), and the run waits for it before the
// process ends.

#include "native_host/run_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>

#include "native_host/service_origin.h"

namespace ombrelin::native_host {
namespace {

constexpr std::string_view kExtensionId = "abcdefghijklmnopabcdefghijklmnop";
// How long the reader's end lingers: long enough that a run that does not wait
// for it is seen returning first, well within the run's own wait for it.
constexpr std::chrono::milliseconds kEndingLinger{200};
constexpr std::chrono::seconds kStepLimit{10};

std::string frame(const std::string& body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  return std::string{static_cast<char>(length & 0xff), static_cast<char>((length >> 8) & 0xff),
                     static_cast<char>((length >> 16) & 0xff), static_cast<char>(length >> 24)} +
         body;
}

std::string hello_frame() {
  return frame(R"({"v":1,"type":"hello","requestId":"0123456789abcdef0123456789abcdef",)"
               R"("extensionOrigin":"chrome-extension://)" +
               std::string(kExtensionId) + R"(","trustedWebOrigin":")" +
               std::string(kServiceWebOrigin) +
               R"(","extensionChallenge":"fedcba9876543210fedcba9876543210"})");
}

// How far the reader thread has come: it is ending once its body has given up
// standard input, and ended once it has left the body.
struct ReaderProgress {
  std::mutex mutex;
  std::condition_variable changed;
  bool ending = false;
  bool ended = false;

  void mark(bool ReaderProgress::*flag) {
    {
      const std::lock_guard lock(mutex);
      this->*flag = true;
    }
    changed.notify_all();
  }
  bool wait_until_ending() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kStepLimit, [this] { return ending; });
  }
  bool has_ended() {
    const std::lock_guard lock(mutex);
    return ended;
  }
};

// Standard input holding `bytes` and then its end. The reader thread destroys it
// as its body returns, after it sent its last event; the destructor lingers.
class ScriptedInput final : public os::ByteInput {
 public:
  ScriptedInput(std::string bytes, std::shared_ptr<ReaderProgress> progress)
      : bytes_(std::move(bytes)), progress_(std::move(progress)) {}
  ~ScriptedInput() override {
    progress_->mark(&ReaderProgress::ending);
    std::this_thread::sleep_for(kEndingLinger);
    progress_->mark(&ReaderProgress::ended);
  }

  std::expected<std::size_t, os::OsError> read_some(std::span<std::uint8_t> buffer) override {
    const std::size_t count = std::min(buffer.size(), bytes_.size() - offset_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset_), count, buffer.begin());
    offset_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t offset_ = 0;
  std::shared_ptr<ReaderProgress> progress_;
};

// Standard output that holds the main loop's first write until the reader is
// ending, so that the reader's last event is queued before the loop goes on.
class HeldOutput final : public os::ByteOutput {
 public:
  HeldOutput(std::shared_ptr<ReaderProgress> progress, bool holds, bool fails)
      : progress_(std::move(progress)), holds_(holds), fails_(fails) {}

  std::expected<void, os::OsError> write_all(std::span<const std::uint8_t> /*bytes*/) override {
    if (holds_) {
      EXPECT_TRUE(progress_->wait_until_ending()) << "the reader never ended";
    }
    if (fails_) {
      return std::unexpected(os::OsError{232, "write standard output"});
    }
    return {};
  }
  std::expected<void, os::OsError> flush() override { return {}; }

 private:
  std::shared_ptr<ReaderProgress> progress_;
  bool holds_;
  bool fails_;
};

class ValidConfigFile final : public os::ConfigFileAccess {
 public:
  std::optional<std::filesystem::path> config_file_path() const override { return "config.json"; }
  std::expected<os::FileFacts, os::OsError> file_facts(
      const std::filesystem::path& /*path*/) const override {
    return os::FileFacts{false, false, kConfig.size()};
  }
  std::expected<std::string, os::OsError> read_file(const std::filesystem::path& /*path*/,
                                                    std::size_t /*limit*/) const override {
    return kConfig;
  }

 private:
  inline static const std::string kConfig =
      R"({"allowedExtensionIds":[")" + std::string(kExtensionId) +
      R"("],"targetDeviceId":"6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f",)"
      R"("targetIdentityFingerprint":"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",)"
      R"("deviceName":"Front desk PC"})";
};

// The simulated desktop, with the caller, the configuration and the two streams
// of the test.
class TestDesktop final : public os::DesktopEnvironment {
 public:
  TestDesktop(std::unique_ptr<os::DesktopEnvironment> simulated,
              std::unique_ptr<os::ByteInput> input, HeldOutput& output)
      : simulated_(std::move(simulated)), input_(std::move(input)), output_(output) {}

  const os::CallerArgument& caller_argument() const override { return caller_; }
  os::ConfigFileAccess& config_files() override { return files_; }
  os::RandomSource& random() override { return simulated_->random(); }
  os::WallClock& wall_clock() override { return simulated_->wall_clock(); }
  os::MonotonicClock& monotonic_clock() override { return simulated_->monotonic_clock(); }
  os::DisplayApi& display_api() override { return simulated_->display_api(); }
  os::WindowSystem& window_system() override { return simulated_->window_system(); }
  os::InputApi& input_api() override { return simulated_->input_api(); }
  std::unique_ptr<os::ByteInput> take_standard_input() override { return std::move(input_); }
  os::ByteOutput& standard_output() override { return output_; }

 private:
  std::unique_ptr<os::DesktopEnvironment> simulated_;
  std::unique_ptr<os::ByteInput> input_;
  HeldOutput& output_;
  ValidConfigFile files_;
  const os::CallerArgument caller_{os::CallerArgument::State::kPresent,
                                   "chrome-extension://" + std::string(kExtensionId) + "/"};
};

struct EndCase {
  std::string name;
  std::string input;  // after the hello
  bool write_fails;
  bool output_held;                // the loop's first write waits until the reader is ending
  std::optional<FatalKind> fatal;  // none: a clean end

  friend void PrintTo(const EndCase& end, std::ostream* out) { *out << end.name; }
};

class RunEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(RunEnd, WaitsForAReaderThatSentItsLastEvent) {
  const EndCase& end = GetParam();
  auto progress = std::make_shared<ReaderProgress>();
  char program[] = "run_host_test";
  char* argv[] = {program, nullptr};
  auto simulated = os::create_desktop_environment(1, argv);
  ASSERT_TRUE(simulated.has_value());
  HeldOutput output(progress, end.output_held, end.write_fails);
  TestDesktop desktop(std::move(*simulated),
                      std::make_unique<ScriptedInput>(hello_frame() + end.input, progress), output);

  const auto result = run_host(desktop);

  if (end.fatal) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, *end.fatal);
  } else {
    EXPECT_TRUE(result.has_value());
  }
  EXPECT_TRUE(progress->has_ended()) << "the run ended before its reader";
}

INSTANTIATE_TEST_SUITE_P(AfterTheHello, RunEnd,
                         ::testing::Values(
                             // The loop takes the end of input itself.
                             EndCase{"EndOfInputTaken", "", false, true, std::nullopt},
                             // The run ends with the reader's last event still queued.
                             EndCase{"FailedWriteBeforeTheEndOfInput", "", true, true,
                                     FatalKind::kOperatingSystem},
                             EndCase{"RefusedMessageBeforeTheEndOfInput", hello_frame(), false,
                                     true, FatalKind::kHandshakeSequenceFailed},
                             EndCase{"RefusedMessageBeforeABadFrame", hello_frame() + frame("{"),
                                     false, true, FatalKind::kHandshakeSequenceFailed},
                             // The run ends while the reader waits for a place in the
                             // full channel: it gives up once nobody receives.
                             EndCase{"RefusedMessageWithTheChannelFull",
                                     [] {
                                       std::string frames;
                                       for (int i = 0; i < 12; ++i) {
                                         frames += hello_frame();
                                       }
                                       return frames;
                                     }(),
                                     false, false, FatalKind::kHandshakeSequenceFailed}),
                         [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ombrelin::native_host
