// One pointer control message through the host's path (frame decoding, the
// message-level checks, conversion, event rules and injection into the simulated
// input adapter) beside simdjson parsing the same frame alone.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "input/control_path.h"
#include "input/windows_input_adapter.h"
#include "native_protocol/message_decoder.h"
#include "ombrelin/protocol/permissions.h"
#include "os/sim/desktop_description.h"
#include "os/sim/input_api_sim.h"
#include "os/wall_clock.h"
#include "ratio_reporter.h"

namespace ombrelin::bench {
namespace {

constexpr std::string_view kSessionIdText = "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f";
constexpr std::size_t kFrames = 4096;
constexpr std::uint64_t kNowSeconds = 1'800'000'000;

// A monotonic clock that moves 5 ms per reading: 200 messages a second, inside
// the rate limit however fast the loop runs.
class SteppingClock final : public os::MonotonicClock {
 public:
  std::chrono::steady_clock::time_point now() const override {
    now_ += std::chrono::milliseconds(5);
    return now_;
  }

 private:
  mutable std::chrono::steady_clock::time_point now_{};
};

class FixedWallClock final : public os::WallClock {
 public:
  os::SystemTime now() const override { return os::SystemTime{false, kNowSeconds, 0}; }
  std::expected<std::int32_t, os::OsError> utc_offset_minutes_at(std::uint64_t) const override {
    return 0;
  }
};

// Control frames with rising "seq" and moving positions, padded for the parser.
std::vector<std::string> control_frames() {
  std::vector<std::string> frames;
  frames.reserve(kFrames);
  for (std::size_t i = 0; i < kFrames; ++i) {
    const double x = static_cast<double>(i % 1000) / 1000.0;
    std::string body = R"({"v":1,"type":"command","requestId":"00112233445566778899aabbccddeeff",)"
                       R"("agentChallenge":"00112233445566778899aabbccddeeff","command":)"
                       R"({"type":"control","sessionId":")" +
                       std::string(kSessionIdText) +
                       R"(","control":{"type":"pointer","v":1,"seq":)" + std::to_string(i + 1) +
                       R"(,"x":)" + std::to_string(x) + R"(,"y":0.25,"buttons":0}}})";
    frames.push_back(body + std::string(json::DocumentParser::kPadding, ' '));
  }
  return frames;
}

std::string_view unpadded(const std::string& frame) {
  return std::string_view(frame).substr(0, frame.size() - json::DocumentParser::kPadding);
}

void BM_ControlThroughHostPath(benchmark::State& state) {
  const auto frames = control_frames();
  os::sim::Journal journal;  // off: the benchmark measures the agent, not the journal
  const auto description = os::sim::DesktopDescription::standard();
  os::sim::DesktopState desktop_state(description);
  const auto api = os::sim::make_simulated_input_api(description, desktop_state, journal);
  const display::DisplayRecord primary{
      "\\\\.\\DISPLAY1", "\\\\.\\DISPLAY1", "Display", 0, 0, 1920, 1080, 0, 1, 60, true};
  const auto adapter = input::start_input_adapter(*api, primary);

  const auto session_id = *protocol::parse_uuid_text(kSessionIdText);
  constexpr protocol::PermissionMask kPointer =
      protocol::permission_bit(protocol::TicketPermission::kViewScreen) |
      protocol::permission_bit(protocol::TicketPermission::kSendPointer);
  const std::string session_id_text(kSessionIdText);
  const std::string display_id;
  input::ControlState control_state;
  SteppingClock clock;
  FixedWallClock wall_clock;
  native_protocol::MessageDecoder decoder;

  std::size_t next = 0;
  for (auto _ : state) {
    if (next == 0) {
      control_state.sequence.last_seq.reset();  // the frames' "seq" start again from 1
    }
    auto message = decoder.decode_padded(unpadded(frames[next]));
    next = (next + 1) % frames.size();
    auto& command = std::get<native_protocol::CommandMessage>(*message);
    auto& control = std::get<native_protocol::command::Control>(command.command);
    // What the session does for each message: its view of the grant, then the core.
    const input::ControlGrant grant{session_id, display_id,         true, 1,
                                    kPointer,   kNowSeconds + 3600, false};
    const auto match = control.session_id == session_id_text ? input::SessionMatch::kActiveSession
                                                             : input::SessionMatch::kOtherSession;
    const auto result = input::run_control(input::ControlTarget{grant, control_state, *adapter},
                                           match, control.control, clock, wall_clock);
    if (!result) {
      state.SkipWithError("a control message was refused");
      break;
    }
  }
}
BENCHMARK(BM_ControlThroughHostPath);

void BM_SimdjsonParseControlOnly(benchmark::State& state) {
  const auto frames = control_frames();
  simdjson::dom::parser parser;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto body = unpadded(frames[next]);
    next = (next + 1) % frames.size();
    auto parsed = parser.parse(body.data(), body.size(), false);
    benchmark::DoNotOptimize(parsed);
  }
}
BENCHMARK(BM_SimdjsonParseControlOnly);

}  // namespace
}  // namespace ombrelin::bench

int main(int argc, char** argv) {
  return ombrelin::bench::run_with_ratios(
      argc, argv, {{"BM_ControlThroughHostPath", "BM_SimdjsonParseControlOnly"}});
}
