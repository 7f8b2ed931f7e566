#pragma once

#include <functional>

#include "native_host/host_config.h"
#include "native_host/request_id_cache.h"
#include "native_protocol/status_payload.h"
#include "ombrelin/protocol/host_binding.h"
#include "os/desktop_environment.h"
#include "session/session_host.h"

namespace ombrelin::native_host {

// The one record of run state, built once before the loop and owned by the main
// loop; only the main thread touches it.
struct HostState {
  // `indicator_sender` is the main loop's own sender of the indicator channel,
  // copied into every indicator the sessions start; `page_gone` tells whether
  // the page's input has ended.
  HostState(config::HostConfig host_config, protocol::HostBinding host_binding,
            os::DesktopEnvironment& desktop, session::IndicatorSender indicator_sender,
            std::function<bool()> page_gone)
      : config(std::move(host_config)),
        binding(host_binding),
        sessions(session::SessionServices{desktop.window_system(), desktop.display_api(),
                                          desktop.input_api(), desktop.wall_clock(),
                                          desktop.monotonic_clock(), std::move(indicator_sender),
                                          std::move(page_gone)}) {}
  HostState(const HostState&) = delete;
  HostState& operator=(const HostState&) = delete;

  const config::HostConfig config;
  const protocol::HostBinding binding;
  RequestIdCache request_ids;
  session::SessionHost sessions;
};

// The status every successful command answers with, read from the state as the
// command left it.
[[nodiscard]] native_protocol::StatusPayload build_status_payload(const HostState& state);

}  // namespace ombrelin::native_host
