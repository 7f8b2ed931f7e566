// One status command through the host's whole path (decode, handshake check,
// dispatch, status serialisation, framing) beside simdjson parsing the same
// bytes alone.

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "native_host/framing.h"
#include "native_host/handshake.h"
#include "native_host/host_state.h"
#include "native_host/service_origin.h"
#include "native_protocol/message_decoder.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ratio_reporter.h"
#include "session/dispatcher.h"

namespace ombrelin::bench {
namespace {

constexpr std::string_view kCaller = "chrome-extension://abcdefghijklmnopabcdefghijklmnop/";
constexpr std::string_view kChallenge = "00112233445566778899aabbccddeeff";
// More distinct ids than the replay cache holds, so each comes back only after
// it has been forgotten.
constexpr std::size_t kDistinctIds = 2 * native_host::kRequestIdCacheCapacity;

class FixedRandom final : public os::RandomSource {
 public:
  std::expected<void, os::OsError> fill(std::span<std::uint8_t> out) override {
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = static_cast<std::uint8_t>(i * 0x11);
    }
    return {};
  }
};

class FixedClock final : public os::WallClock {
 public:
  os::SystemTime now() const override { return {false, 1'800'000'000, 0}; }
  std::expected<std::int32_t, os::OsError> utc_offset_minutes_at(std::uint64_t) const override {
    return 0;
  }
};

class DiscardOutput final : public os::ByteOutput {
 public:
  std::expected<void, os::OsError> write_all(std::span<const std::uint8_t> bytes) override {
    benchmark::DoNotOptimize(bytes.data());
    return {};
  }
  std::expected<void, os::OsError> flush() override { return {}; }
};

// Frame bodies with kPadding spare bytes after each, as the reader allocates them.
std::vector<std::string> command_bodies() {
  std::vector<std::string> bodies;
  bodies.reserve(kDistinctIds);
  for (std::size_t i = 0; i < kDistinctIds; ++i) {
    std::array<std::uint8_t, 16> id{};
    std::memcpy(id.data(), &i, sizeof i);
    std::string body = R"({"v":1,"type":"command","requestId":")" + protocol::encode_lower_hex(id) +
                       R"(","agentChallenge":")" + std::string(kChallenge) +
                       R"(","command":{"type":"status"}})";
    bodies.push_back(body + std::string(json::DocumentParser::kPadding, ' '));
  }
  return bodies;
}

std::string_view unpadded(const std::string& body) {
  return std::string_view(body).substr(0, body.size() - json::DocumentParser::kPadding);
}

config::HostConfig bench_config() {
  return config::HostConfig{{"abcdefghijklmnopabcdefghijklmnop"},
                            "6f1c2a3e-8d4b-4c5a-9e7f-0a1b2c3d4e5f",
                            "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8",
                            "Front desk PC"};
}

void BM_CommandThroughHostPath(benchmark::State& state) {
  const auto bodies = command_bodies();
  const config::HostConfig config = bench_config();
  auto desktop = os::create_desktop_environment(0, nullptr);
  auto [indicator_sender, indicator_receiver] = session::IndicatorChannel::create();
  native_host::HostState host(config, *config::validate_host_config(config), **desktop,
                              std::move(indicator_sender), [] { return false; });
  FixedRandom random;
  FixedClock clock;
  DiscardOutput output;
  native_host::FrameWriter writer(output);
  native_protocol::MessageDecoder decoder;
  native_host::Handshake handshake;
  const native_host::HandshakeContext context{config.allowed_extension_ids, kCaller,
                                              native_host::kServiceWebOrigin, random,
                                              host.request_ids};
  // Bring the handshake to its ready state once.
  const std::string hello_id(32, 'a');
  (void)handshake.step(
      native_protocol::HelloMessage{1, hello_id, std::string(kCaller.substr(0, kCaller.size() - 1)),
                                    std::string(native_host::kServiceWebOrigin),
                                    std::string(32, 'b')},
      context);
  (void)handshake.step(native_protocol::ChallengeAckMessage{1, hello_id, std::string(kChallenge)},
                       context);
  session::DispatchContext dispatch{host.sessions, clock, host.binding};

  std::size_t next = 0;
  for (auto _ : state) {
    auto message = decoder.decode_padded(unpadded(bodies[next]));
    next = (next + 1) % bodies.size();
    auto action = handshake.step(std::move(*message), context);
    auto& command = std::get<native_host::ExecuteCommand>(*action);
    const auto result = session::dispatch_command(std::move(command.command), dispatch);
    const auto status = native_host::build_status_payload(host);
    benchmark::DoNotOptimize(result);
    auto written = writer.write(
        native_protocol::serialize(native_protocol::SuccessResponse{command.request_id, status}));
    benchmark::DoNotOptimize(written);
  }
}
BENCHMARK(BM_CommandThroughHostPath);

void BM_SimdjsonParseOnly(benchmark::State& state) {
  const auto bodies = command_bodies();
  simdjson::dom::parser parser;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto body = unpadded(bodies[next]);
    next = (next + 1) % bodies.size();
    auto parsed = parser.parse(body.data(), body.size(), false);
    benchmark::DoNotOptimize(parsed);
  }
}
BENCHMARK(BM_SimdjsonParseOnly);

}  // namespace
}  // namespace ombrelin::bench

int main(int argc, char** argv) {
  return ombrelin::bench::run_with_ratios(argc, argv,
                                          {{"BM_CommandThroughHostPath", "BM_SimdjsonParseOnly"}});
}
