#pragma once

// The control path against one approved grant: a settable grant view, the
// control state, an adapter of the test's choice, and clocks the test moves.

#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "input/control_path.h"
#include "input/tests/control_messages.h"
#include "ombrelin/protocol/permissions.h"
#include "os/tests/fake_clocks.h"

namespace ombrelin::input::testing {

inline constexpr protocol::PermissionMask kPointerAndKeyboard =
    protocol::permission_bit(protocol::TicketPermission::kSendPointer) |
    protocol::permission_bit(protocol::TicketPermission::kSendKeyboard);

class ControlHarness {
 public:
  static constexpr std::uint64_t kNowS = 1'700'000'000;
  static constexpr std::uint64_t kLeaseS = kNowS + 120;
  static constexpr std::string_view kSessionIdText = "01020304-0506-0708-090a-0b0c0d0e0f10";

  explicit ControlHarness(InputAdapter& adapter,
                          protocol::PermissionMask granted = kPointerAndKeyboard)
      : adapter_(adapter) {
    grant.session_id = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    grant.display_id = "primary";
    grant.active = true;
    grant.permission_epoch = 1;
    grant.permissions = granted;
    grant.lease_expires_at_s = kLeaseS;
    wall.set_seconds(kNowS);
  }
  ControlHarness(const ControlHarness&) = delete;
  ControlHarness& operator=(const ControlHarness&) = delete;

  std::expected<ControlEffect, ControlRefusal> send(
      const native_protocol::ControlMessage& message) {
    return send(kSessionIdText, message);
  }

  std::expected<ControlEffect, ControlRefusal> send(
      std::string_view id, const native_protocol::ControlMessage& message) {
    const SessionMatch match = !has_session           ? SessionMatch::kNoSession
                               : id == kSessionIdText ? SessionMatch::kActiveSession
                                                      : SessionMatch::kOtherSession;
    std::optional<ControlTarget> target;
    if (has_session) {
      target.emplace(ControlTarget{grant, state, adapter_});
    }
    return run_control(target, match, message, monotonic, wall);
  }

  ControlGrant grant;
  ControlState state;
  os::testing::FakeMonotonicClock monotonic;
  os::testing::FakeWallClock wall;
  bool has_session = true;

 private:
  InputAdapter& adapter_;
};

}  // namespace ombrelin::input::testing
