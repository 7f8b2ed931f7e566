#include "session/session_host.h"

#include <algorithm>
#include <ranges>

#include "display/mapping_display.h"
#include "input/control_path.h"
#include "input/windows_input_adapter.h"
#include "session/consent_prompt.h"
#include "session/unix_clock.h"
#include "session/visible_indicator.h"

namespace ombrelin::session {
namespace {

using native_protocol::PermissionName;

std::vector<PermissionName> permission_names(const protocol::SessionGrant& grant) {
  std::vector<PermissionName> names;
  names.reserve(grant.granted_permissions.size());
  for (const protocol::PermissionIndex index : grant.granted_permissions) {
    names.push_back(static_cast<PermissionName>(index));
  }
  return names;
}

std::string join_permission_names(const std::vector<PermissionName>& names) {
  std::string text;
  for (const PermissionName name : names) {
    if (!text.empty()) {
      text.append(", ");
    }
    text.append(native_protocol::to_string(name));
  }
  return text;
}

bool grants_input(const std::vector<PermissionName>& names) {
  return std::ranges::any_of(names, [](PermissionName name) {
    return name == PermissionName::kSendPointer || name == PermissionName::kSendKeyboard;
  });
}

// How long the end of the run waits for indicator threads to finish closing.
constexpr std::chrono::milliseconds kIndicatorCloseLimit{1000};

GateRequest gate_request(const protocol::SessionGrant& grant) {
  return GateRequest{grant.requester_name,          grant.session_id,
                     grant.requester_device_id,     grant.requester_identity_fingerprint,
                     grant.lease_expires_at_unix_s, grant.allowed_permissions};
}

}  // namespace

std::expected<void, CommandError> SessionHost::start_or_refresh_session(
    const protocol::SessionGrant& grant, const IndicatorSender& indicator_sender,
    std::uint64_t now_s) {
  return session_ ? refresh_session(grant, now_s) : start_session(grant, indicator_sender, now_s);
}

std::expected<void, CommandError> SessionHost::start_session(
    const protocol::SessionGrant& grant, const IndicatorSender& indicator_sender,
    std::uint64_t now_s) {
  std::vector<PermissionName> names = permission_names(grant);
  const std::string names_text = join_permission_names(names);

  // Every new session needs the primary display, whatever it may do.
  const auto primary = display::choose_mapping_display(services_.displays);
  if (!primary) {
    return std::unexpected(primary.error() == display::MappingDisplayError::kNoPrimaryDisplay
                               ? CommandError::kNoPrimaryDisplay
                               : CommandError::kDisplayEnumerationFailed);
  }
  const std::string mapping = display::input_mapping_text(grants_input(names), *primary);
  const ConsentRequest consent{grant.requester_name, grant.requester_fingerprint_text, names_text,
                               mapping, grant.lease_expires_at_unix_s};
  if (!ask_local_consent(services_.windows, consent)) {
    return std::unexpected(CommandError::kLocalUserRejected);
  }

  SessionGate gate;
  if (!gate.take_request(gate_request(grant))) {
    return std::unexpected(CommandError::kGateRejectedRequest);
  }
  if (!gate.approve(grant.requested_permissions, now_s)) {
    return std::unexpected(CommandError::kGrantExpiredBeforeAcceptance);
  }

  auto adapter = input::start_input_adapter(services_.input, *primary);
  if (!adapter) {
    return std::unexpected(CommandError::kInputAdapterStartFailed);
  }
  // Should the indicator fail, the adapter is discarded here and releases input.
  auto indicator = start_visible_indicator(services_.windows, grant.requester_name, names_text,
                                           grant.lease_expires_at_unix_s, indicator_sender);
  if (!indicator) {
    // A thread that missed its report closes its own window; the run's end
    // still waits for it like any other.
    if (indicator.error().thread) {
      keep_closing_indicator(std::move(*indicator.error().thread));
    }
    return std::unexpected(indicator.error().error);
  }
  session_.emplace(ActiveSession{
      std::move(gate), std::move(*adapter), input::ControlRateWindow{}, grant.session_id,
      grant.ticket_payload_digest, grant.session_id_text, grant.display_id, std::move(names),
      input::ControlSequenceState{}, IndicatorLink(services_.windows, std::move(*indicator))});
  return {};
}

std::expected<void, CommandError> SessionHost::refresh_session(const protocol::SessionGrant& grant,
                                                               std::uint64_t now_s) {
  const auto& active = session_->gate.active_grant();
  if (!active) {
    return std::unexpected(CommandError::kGateUnavailable);
  }
  if (grant.session_id != session_->session_id ||
      grant.requester_device_id != active->requester_device_id ||
      grant.requester_identity_fingerprint != active->requester_identity_fingerprint ||
      grant.requested_permissions != active->granted_permissions ||
      grant.display_id != session_->display_id) {
    return std::unexpected(CommandError::kDifferentRequesterOrGrant);
  }
  if (grant.ticket_payload_digest == session_->last_ticket_digest) {
    return std::unexpected(CommandError::kRefreshTicketReused);
  }
  SessionGate gate;
  if (!gate.take_request(gate_request(grant))) {
    return std::unexpected(CommandError::kRefreshRequestRejected);
  }
  if (!gate.approve(grant.requested_permissions, now_s)) {
    return std::unexpected(CommandError::kRefreshGrantRejected);
  }
  // Input the local user paused stays paused across a refresh; the indicator
  // still shows the paused state, so it keeps agreeing with the flag.
  gate.set_paused(session_->gate.paused());
  session_->gate = std::move(gate);
  session_->last_ticket_digest = grant.ticket_payload_digest;
  return {};
}

void SessionHost::stop_session() {
  if (!session_) {
    return;
  }
  ActiveSession stopped = std::move(*session_);
  session_.reset();
  stopped.gate.end();
  input::release_session_input(*stopped.adapter, stopped.sequence);
  stopped.indicator.close();
  if (auto thread = stopped.indicator.take_thread()) {
    keep_closing_indicator(std::move(*thread));
  }
}

void SessionHost::keep_closing_indicator(os::StartedThread thread) {
  // Those that have ended are let go, so a long run does not collect threads.
  std::erase_if(closing_indicators_, [](os::StartedThread& closing) {
    return closing.wait_for_end(std::chrono::milliseconds(0));
  });
  closing_indicators_.push_back(std::move(thread));
}

SessionHost::~SessionHost() {
  stop_session();
  const auto deadline = std::chrono::steady_clock::now() + kIndicatorCloseLimit;
  for (os::StartedThread& thread : closing_indicators_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    (void)thread.wait_for_end(std::max(left, std::chrono::milliseconds(0)));
  }
}

std::expected<void, CommandError> SessionHost::set_session_paused(
    std::optional<std::string_view> session_id, bool paused) {
  if (!session_) {
    return std::unexpected(CommandError::kNoActiveSession);
  }
  if (session_id && *session_id != session_->session_id_text) {
    return std::unexpected(CommandError::kPauseSessionMismatch);
  }
  if (session_->gate.phase() != GatePhase::kActive) {
    return std::unexpected(CommandError::kPauseStateUnchanged);
  }
  apply_pause(paused);
  return {};
}

void SessionHost::apply_pause(bool paused) {
  session_->gate.set_paused(paused);
  if (paused) {
    input::release_session_input(*session_->adapter, session_->sequence);
  }
  session_->indicator.show_paused(paused);
}

// What the control path may set off in the session it works on.
class SessionHost::ControlHooks final : public input::ControlHooks {
 public:
  explicit ControlHooks(SessionHost& host) : host_(host) {}

  std::expected<UnixTime, CommandError> read_wall_clock() override {
    return read_unix_clock(host_.services_.wall_clock);
  }
  void end_gate() override { host_.session_->gate.end(); }
  void show_paused(bool paused) override { host_.session_->indicator.show_paused(paused); }
  void stop_session() override { host_.stop_session(); }

 private:
  SessionHost& host_;
};

std::expected<void, CommandError> SessionHost::handle_control(
    std::string_view session_id, const native_protocol::ControlMessage& message) {
  ControlHooks hooks(*this);
  std::optional<input::ControlSession> session;
  if (session_) {
    session.emplace(input::ControlSession{session_->session_id_text, session_->session_id,
                                          session_->display_id, session_->gate, *session_->adapter,
                                          session_->rate_window, session_->sequence});
  }
  const input::ControlContext context{session ? &*session : nullptr, services_.monotonic_clock,
                                      hooks};
  return input::handle_control(context, session_id, message);
}

void SessionHost::on_indicator_event(IndicatorEvent event) {
  if (event == IndicatorEvent::kStop) {
    stop_session();
    return;
  }
  if (session_ && session_->gate.phase() == GatePhase::kActive) {
    apply_pause(event == IndicatorEvent::kPause);
  }
}

void SessionHost::stop_if_lease_expired(std::uint64_t now_s) {
  if (!session_) {
    return;
  }
  const auto& grant = session_->gate.active_grant();
  if (grant && now_s >= grant->lease_expires_at_s) {
    stop_session();
  }
}

}  // namespace ombrelin::session
