#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "native_protocol/permission_name.h"

namespace ombrelin::session {

enum class GatePhase : std::uint8_t { kIdle = 0, kPending = 1, kActive = 2, kEnded = 3 };

// The one remote session the local user approved. Owned by SessionHost on the
// main thread.
struct ActiveSession {
  GatePhase phase = GatePhase::kIdle;
  bool paused = false;
  std::optional<std::uint64_t> lease_expires_at_s;  // present while the gate holds a grant
  std::string session_id_text;
  std::vector<native_protocol::PermissionName> granted_permissions;
};

}  // namespace ombrelin::session
