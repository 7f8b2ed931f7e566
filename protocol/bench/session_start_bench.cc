// check_session_start on a realistic ticket beside libsodium verifying the same
// signature alone. Everything the check does besides the signature (two decodes,
// canonical comparisons, base64url, key decoding, SHA-256, the rules) should stay
// well below the signature's own cost; the run prints that share.

#include <benchmark/benchmark.h>
#include <sodium.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ombrelin/protocol/session_start.h"
#include "ombrelin/protocol/signed_session_ticket.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ombrelin/protocol/ticket_verifier.h"

namespace {

using namespace ombrelin::protocol;

constexpr std::uint64_t kNowMs = 1'712'345'678'901;
constexpr const char* kSessionId = "1e2d3c4b-5a69-4788-a6b5-c4d3e2f1a0b9";
constexpr const char* kKeyId = "companion-signing-key-2024-05";

// One session start as a companion would send it, with the host it names.
struct Scenario {
  HostBinding host;
  std::string signed_ticket;
  std::string public_key;
  std::vector<PermissionIndex> permissions{0, 1, 2, 3, 7, 8};
  Bytes message;  // what the signature covers
  Bytes signature;
  std::array<std::uint8_t, 32> key{};

  SessionStartRequest request() const {
    return {kSessionId,    "Support desk (Lisbon)",
            permissions,   kNowMs + 300'000,
            signed_ticket, TicketKeyText{kKeyId, "Ed25519", public_key, "raw-base64url"}};
  }
};

Bytes filled(std::size_t size, std::uint8_t value) { return Bytes(size, value); }

Scenario make_scenario() {
  Scenario s;
  s.host.device_id = *parse_uuid_text("6f1c2b3a-4d5e-4f60-9a7b-8c9d0e1f2a3b");
  s.host.identity_fingerprint.fill(0x4b);
  const Uuid session = *parse_uuid_text(kSessionId);
  SessionTicket t;
  t.session_id.assign(session.begin(), session.end());
  t.requester = DeviceBinding{filled(16, 0x21), filled(32, 0x35)};
  t.target =
      DeviceBinding{Bytes(s.host.device_id.begin(), s.host.device_id.end()),
                    Bytes(s.host.identity_fingerprint.begin(), s.host.identity_fingerprint.end())};
  t.role = 2;
  t.permissions = {1, 2, 3, 4, 8, 9};
  t.entitlements = {"audio.stereo", "clipboard.text", "control.full", "view.hd"};
  t.display_id = "\\\\.\\DISPLAY1";
  t.approval_mode = 1;
  t.issued_at_unix_s = kNowMs / 1000 - 3;
  t.expires_at_unix_s = kNowMs / 1000 + 57;
  t.nonce = filled(32, 0x6e);
  t.protocol_major = 1;
  t.signing_key_id = kKeyId;
  t.requester_dtls_fingerprint_sha256 = filled(32, 0x7a);
  t.target_dtls_fingerprint_sha256 = filled(32, 0x7b);

  std::array<std::uint8_t, 32> seed{};
  seed.fill(0x11);
  std::array<std::uint8_t, 64> secret{};
  crypto_sign_seed_keypair(s.key.data(), secret.data(), seed.data());
  const Bytes payload = encode_session_ticket(t);
  s.message = ticket_signing_message(payload);
  s.signature.resize(64);
  crypto_sign_detached(s.signature.data(), nullptr, s.message.data(), s.message.size(),
                       secret.data());
  s.signed_ticket = encode_base64url(encode_signed_session_ticket({payload, s.signature}));
  s.public_key = encode_base64url(s.key);
  return s;
}

void BM_CheckSessionStart(benchmark::State& state) {
  const Scenario s = make_scenario();
  const SessionStartRequest request = s.request();
  if (!check_session_start(request, s.host, kNowMs)) {
    state.SkipWithError("the scenario's ticket was refused");
    return;
  }
  for (auto _ : state) {
    auto grant = check_session_start(request, s.host, kNowMs);
    benchmark::DoNotOptimize(grant);
  }
}
BENCHMARK(BM_CheckSessionStart);

void BM_SignatureAlone(benchmark::State& state) {
  const Scenario s = make_scenario();
  for (auto _ : state) {
    int result = crypto_sign_verify_detached(s.signature.data(), s.message.data(), s.message.size(),
                                             s.key.data());
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_SignatureAlone);

// Prints the share of the check that is not the signature, from this run's times:
// the median when repetitions are asked for, else the one run. CPU time is shown
// beside real time because other work on the machine inflates real time.
class ShareReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool single = run.run_type == Run::RT_Iteration;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if ((single || median) && !run.error_occurred) {
        times_[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto check = times_.find("BM_CheckSessionStart");
    const auto signature = times_.find("BM_SignatureAlone");
    if (check == times_.end() || signature == times_.end()) {
      return;
    }
    const auto [check_real, check_cpu] = check->second;
    const auto [signature_real, signature_cpu] = signature->second;
    std::printf("ratio BM_CheckSessionStart / BM_SignatureAlone = %.3f (real), %.3f (cpu)\n",
                check_real / signature_real, check_cpu / signature_cpu);
    std::printf(
        "everything but the signature: %.1f%% (real), %.1f%% (cpu) of the signature's cost "
        "(aim: < 15%%)\n",
        100.0 * (check_real - signature_real) / signature_real,
        100.0 * (check_cpu - signature_cpu) / signature_cpu);
  }

 private:
  std::map<std::string, std::pair<double, double>> times_;  // real, cpu
};

}  // namespace

int main(int argc, char** argv) {
  if (sodium_init() < 0) {
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  ShareReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
