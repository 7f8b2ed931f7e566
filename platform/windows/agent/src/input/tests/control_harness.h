#pragma once

// One approved session wired to the control path: a real gate, the held-state
// adapter, a settable monotonic and wall clock, and hooks that journal what the
// control path asks of the session host (the stop releasing input the way the
// host's stop does).

#include <chrono>
#include <expected>
#include <string>
#include <vector>

#include "input/control_path.h"
#include "input/tests/control_fake_adapter.h"
#include "input/tests/control_messages.h"
#include "ombrelin/protocol/permissions.h"

namespace ombrelin::input::testing {

class FakeMonotonicClock final : public os::MonotonicClock {
 public:
  [[nodiscard]] std::chrono::steady_clock::time_point now() const override { return now_; }
  void advance(std::chrono::steady_clock::duration step) { now_ += step; }

 private:
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1)};
};

inline constexpr protocol::PermissionMask kPointerAndKeyboard =
    protocol::permission_bit(protocol::TicketPermission::kSendPointer) |
    protocol::permission_bit(protocol::TicketPermission::kSendKeyboard);

class ControlHarness final : public ControlHooks {
 public:
  static constexpr std::uint64_t kNowS = 1'700'000'000;
  static constexpr std::uint64_t kLeaseS = kNowS + 120;

  explicit ControlHarness(protocol::PermissionMask granted = kPointerAndKeyboard) {
    // A fresh gate, a lease ahead and nothing beyond what is allowed: approved.
    static_cast<void>(gate.take_request({"peer", session_id, {9}, {7}, kLeaseS, granted}) &&
                      gate.approve(granted, kNowS));
    adapter.journal = [this](std::string entry) { note(std::move(entry)); };
  }
  ControlHarness(const ControlHarness&) = delete;
  ControlHarness& operator=(const ControlHarness&) = delete;

  std::expected<void, session::CommandError> send(const native_protocol::ControlMessage& message) {
    return send(session_id_text, message);
  }
  std::expected<void, session::CommandError> send(std::string_view id,
                                                  const native_protocol::ControlMessage& message) {
    return handle_control({has_session ? &parts_ : nullptr, monotonic, *this}, id, message);
  }

  std::expected<session::UnixTime, session::CommandError> read_wall_clock() override {
    return clock;
  }
  void end_gate() override {
    note("end_gate");
    gate.end();
  }
  void show_paused(bool paused) override { note(paused ? "show_paused 1" : "show_paused 0"); }
  void stop_session() override {
    note("stop");
    has_session = false;
    gate.end();
    release_session_input(adapter, sequence);
  }

  std::string session_id_text = "01020304-0506-0708-090a-0b0c0d0e0f10";
  protocol::Uuid session_id{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  std::string display_id = "primary";
  session::SessionGate gate;
  HeldStateAdapter adapter;
  ControlRateWindow rate_window;
  ControlSequenceState sequence;
  FakeMonotonicClock monotonic;
  std::expected<session::UnixTime, session::CommandError> clock =
      session::UnixTime{kNowS * 1000, kNowS};
  bool has_session = true;
  // Every hook and adapter call, marked when the gate's paused flag was set at
  // that moment.
  std::vector<std::string> journal;

 private:
  void note(std::string entry) {
    journal.push_back(gate.paused() ? entry + " (paused)" : std::move(entry));
  }

  ControlSession parts_{session_id_text, session_id,  display_id, gate,
                        adapter,         rate_window, sequence};
};

}  // namespace ombrelin::input::testing
