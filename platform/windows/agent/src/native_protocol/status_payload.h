#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "native_protocol/permission_name.h"
#include "ombrelin_version.h"

namespace ombrelin::native_protocol {

inline constexpr std::string_view kAgentVersion = OMBRELIN_VERSION_TEXT;

struct DeviceEntry {
  std::string id;
  std::string name;
};

// What every successful command answers: the session as the host sees it now.
struct StatusPayload {
  bool connected = false;
  bool paused = false;
  std::string device_name;
  std::optional<std::string> active_session_id;
  std::optional<std::string> active_site;
  std::optional<std::string> session_mode;  // "control" or "view"
  std::vector<PermissionName> granted_permissions;
  std::vector<DeviceEntry> devices;
};

}  // namespace ombrelin::native_protocol
