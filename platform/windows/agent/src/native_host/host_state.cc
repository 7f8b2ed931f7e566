#include "native_host/host_state.h"

#include "native_host/service_origin.h"
#include "native_protocol/permission_name.h"

namespace ombrelin::native_host {

native_protocol::StatusPayload build_status_payload(const HostState& state) {
  native_protocol::StatusPayload status;
  status.device_name = state.config.device_name;
  status.devices.push_back({state.config.target_device_id, state.config.device_name});
  const session::ActiveSession* session = state.sessions.session();
  if (session == nullptr) {
    return status;
  }
  const auto& granted = session->granted_permissions;
  status.connected = true;
  status.paused = session->gate.paused();
  status.active_session_id = session->session_id_text;
  status.active_site = std::string(kServiceWebOrigin);
  status.session_mode = native_protocol::grants_desktop_input(granted) ? "control" : "view";
  status.granted_permissions = granted;
  return status;
}

}  // namespace ombrelin::native_host
