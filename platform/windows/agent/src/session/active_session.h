#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "input/control_state.h"
#include "input/input_adapter.h"
#include "native_protocol/permission_name.h"
#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/text_codecs.h"
#include "os/window_system.h"
#include "session/session_gate.h"
#include "session/visible_indicator.h"

namespace ombrelin::session {

// The session's tie to its indicator window: closing it posts the close message,
// once, and a session discarded without an explicit stop still closes its window.
class IndicatorLink {
 public:
  IndicatorLink() = default;
  IndicatorLink(os::WindowSystem& windows, RunningIndicator indicator)
      : windows_(&windows), window_(indicator.window), thread_(std::move(indicator.thread)) {}
  IndicatorLink(IndicatorLink&& other) noexcept
      : windows_(other.windows_),
        window_(std::exchange(other.window_, 0)),
        thread_(std::move(other.thread_)) {}
  IndicatorLink& operator=(IndicatorLink&&) = delete;
  IndicatorLink(const IndicatorLink&) = delete;
  IndicatorLink& operator=(const IndicatorLink&) = delete;
  ~IndicatorLink() { close(); }

  // Tells the indicator to show the pause state; a failed post is ignored.
  void show_paused(bool paused) const;
  // Tells the indicator whether remote input is held back for the local user.
  void show_local_activity(bool active) const;
  // Tells the indicator to close, once; a failed post is ignored.
  void close();
  // After close(): the indicator's thread, still closing its window.
  [[nodiscard]] std::optional<os::StartedThread> take_thread() {
    return std::exchange(thread_, std::nullopt);
  }

 private:
  os::WindowSystem* windows_ = nullptr;
  os::WindowHandle window_ = 0;
  std::optional<os::StartedThread> thread_;
};

// The one remote session the local user approved. Owned by SessionHost on the
// main thread.
struct ActiveSession {
  std::uint64_t number = 0;  // names the session in its indicator's events
  SessionGate gate;
  // Releases everything it still holds when the session is discarded.
  std::unique_ptr<input::InputAdapter> adapter;
  protocol::Uuid session_id{};
  protocol::Sha256Digest last_ticket_digest{};
  std::string session_id_text;
  std::string display_id;
  // The GDI device name of the display the local user approved; input stays on
  // it, and the session ends when it is no longer the primary display.
  std::string display_device;
  std::vector<native_protocol::PermissionName> granted_permissions;
  // The rate window, the sequence state and the replay window of the remote
  // party's control messages.
  input::ControlState control;
  IndicatorLink indicator;
  // Until when the remote side's desktop input is held back for the local user
  // (none: it is not), on the monotonic clock.
  std::optional<std::chrono::steady_clock::time_point> local_input_until;
};

}  // namespace ombrelin::session
