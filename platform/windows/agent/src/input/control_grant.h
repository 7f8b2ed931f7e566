#pragma once

#include <cstdint>
#include <string_view>

#include "ombrelin/protocol/permissions.h"
#include "ombrelin/protocol/text_codecs.h"

namespace ombrelin::input {

// The session as one control message sees it: a read-only view the session
// makes for the call. `active` is false once the session's gate has ended (its
// lease ran out or the peer stopped); the other values then mean nothing.
struct ControlGrant {
  protocol::Uuid session_id{};
  std::string_view display_id;
  bool active = false;
  std::uint64_t permission_epoch = 0;
  protocol::PermissionMask permissions = 0;
  std::uint64_t lease_expires_at_s = 0;
  bool paused = false;
  // The local user is using the computer: the remote side's desktop input waits.
  bool held_back = false;
};

}  // namespace ombrelin::input
