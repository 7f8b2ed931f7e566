#pragma once

// What a session needs of the operating system, all as small fakes: a window
// system whose boxes answer from a list, one primary 1920 x 1080 display, an
// input API that records what it was sent, and clocks the test moves. Also a
// grant as the ticket check would yield it.

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "base/channel.h"
#include "display/tests/fake_display_api.h"
#include "input/tests/fake_input_api.h"
#include "ombrelin/protocol/permissions.h"
#include "ombrelin/protocol/session_start.h"
#include "os/tests/fake_clocks.h"
#include "session/indicator_event.h"
#include "session/session_services.h"
#include "session/tests/fake_window_system.h"

namespace ombrelin::session::testing {

inline constexpr std::uint64_t kNowS = 1'700'000'000;
inline constexpr std::uint64_t kLeaseS = kNowS + 300;
inline constexpr char kSessionIdText[] = "01020304-0506-4708-890a-0b0c0d0e0f10";

// The permissions a grant lists, as ticket positions.
inline constexpr protocol::PermissionIndex kViewScreen = 0;
inline constexpr protocol::PermissionIndex kSendPointer = 2;
inline constexpr protocol::PermissionIndex kSendKeyboard = 3;

inline protocol::SessionGrant grant_of(std::vector<protocol::PermissionIndex> permissions,
                                       std::uint8_t ticket = 1) {
  protocol::SessionGrant grant;
  grant.requester_name = "Field Support";
  grant.session_id = {1, 2, 3, 4, 5, 6, 0x47, 8, 0x89, 10, 11, 12, 13, 14, 15, 16};
  grant.requester_device_id = {9};
  grant.requester_identity_fingerprint = {7};
  grant.lease_expires_at_unix_s = kLeaseS;
  for (const protocol::PermissionIndex permission : permissions) {
    grant.allowed_permissions |= protocol::PermissionMask{1} << permission;
  }
  grant.requested_permissions = grant.allowed_permissions;
  grant.granted_permissions = std::move(permissions);
  grant.session_id_text = kSessionIdText;
  grant.display_id = "primary";
  grant.requester_fingerprint_text = std::string(64, 'a');
  grant.ticket_payload_digest = {ticket};
  return grant;
}

struct FakeDesktop {
  FakeDesktop() {
    displays.monitors.emplace_back();
    wall.set_seconds(kNowS);
    windows.message_box_answers = std::vector<int>(8, FakeWindowSystem::kIdYes);
  }

  SessionServices services() {
    return SessionServices{windows,
                           displays,
                           input,
                           wall,
                           monotonic,
                           indicator.first,
                           [this] { return page_gone.load(); }};
  }

  FakeWindowSystem windows;
  display::test_support::FakeDisplayApi displays;
  input::testing::FakeInputApi input;
  os::testing::FakeWallClock wall;
  os::testing::FakeMonotonicClock monotonic;
  std::pair<IndicatorSender, IndicatorReceiver> indicator = IndicatorChannel::create();
  std::atomic<bool> page_gone = false;
};

}  // namespace ombrelin::session::testing
