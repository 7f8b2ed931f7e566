#include "session/session_start.h"

#include "display/mapping_display.h"
#include "input/windows_input_adapter.h"
#include "native_protocol/permission_name.h"
#include "session/consent_prompt.h"
#include "session/local_time_text.h"
#include "session/visible_indicator.h"

namespace ombrelin::session {
namespace {

std::unexpected<SessionStartFailure> refuse(CommandError error) {
  return std::unexpected(SessionStartFailure{error, {}});
}

}  // namespace

GateRequest gate_request(const protocol::SessionGrant& grant) {
  return GateRequest{grant.requester_name,          grant.session_id,
                     grant.requester_device_id,     grant.requester_identity_fingerprint,
                     grant.lease_expires_at_unix_s, grant.allowed_permissions};
}

std::expected<ActiveSession, SessionStartFailure> start_session(SessionServices& services,
                                                                const protocol::SessionGrant& grant,
                                                                std::uint64_t now_s,
                                                                std::uint64_t number) {
  std::vector<native_protocol::PermissionName> names =
      native_protocol::permission_names(grant.granted_permissions);
  const std::string names_text = native_protocol::join_permission_names(names);

  // Every new session needs the primary display, whatever it may do.
  const auto primary = display::choose_mapping_display(services.displays);
  if (!primary) {
    return refuse(primary.error() == display::MappingDisplayError::kNoPrimaryDisplay
                      ? CommandError::kNoPrimaryDisplay
                      : CommandError::kDisplayEnumerationFailed);
  }

  const std::string mapping =
      display::input_mapping_text(native_protocol::grants_desktop_input(names), *primary);
  // The consent box and the indicator say until when, in the local user's time.
  const std::string expires = local_time_text(services.wall_clock, grant.lease_expires_at_unix_s);
  const ConsentRequest consent{grant.requester_name, grant.requester_fingerprint_text, names_text,
                               mapping, expires};
  if (!ask_local_consent(services.windows, consent, services.page_gone)) {
    return refuse(CommandError::kLocalUserRejected);
  }

  SessionGate gate;
  if (!gate.take_request(gate_request(grant))) {
    return refuse(CommandError::kGateRejectedRequest);
  }
  if (!gate.approve(grant.requested_permissions, now_s)) {
    return refuse(CommandError::kGrantExpiredBeforeAcceptance);
  }

  // Should the indicator fail, the adapter is discarded here and releases input.
  std::unique_ptr<input::InputAdapter> adapter =
      input::start_input_adapter(services.input, *primary);
  auto indicator =
      start_visible_indicator(services.windows, services.monotonic_clock,
                              IndicatorRequest{grant.requester_name, names_text, expires, number},
                              services.indicator_sender);
  if (!indicator) {
    return std::unexpected(
        SessionStartFailure{indicator.error().error, std::move(indicator.error().thread)});
  }
  return ActiveSession{number,
                       std::move(gate),
                       std::move(adapter),
                       grant.session_id,
                       grant.ticket_payload_digest,
                       grant.session_id_text,
                       grant.display_id,
                       primary->device_name,
                       std::move(names),
                       input::ControlState{},
                       IndicatorLink(services.windows, std::move(*indicator)),
                       std::nullopt};
}

}  // namespace ombrelin::session
