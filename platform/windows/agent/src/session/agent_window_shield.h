#pragma once

#include <bitset>
#include <string_view>

#include "os/low_level_input.h"
#include "os/window_system.h"

namespace ombrelin::session {

// The window class of every session indicator, of this agent process or of
// another one started by another page.
inline constexpr std::string_view kIndicatorClassName = "OmbrelinConnectVisibleIndicator";
// The window class of a message box.
inline constexpr std::string_view kDialogClassName = "#32770";

// Whether a top-level window is one of the agent's own: an indicator, or a
// consent box (a message box with the consent caption).
[[nodiscard]] bool is_agent_window(const os::WindowIdentity& identity);

// Keeps software away from the agent's windows: an injected click on a consent
// box or an indicator, or an injected key while one of them has the foreground,
// is dropped, so the remote side (or any program) can neither answer the box
// nor press Pause, Resume or Stop, nor close or move the indicator. The release
// of a dropped press is dropped too; every other release goes through, so that
// nothing pressed elsewhere stays held. Input from the local user's devices is
// never touched. Used on the thread that watches the input.
class AgentWindowShield {
 public:
  explicit AgentWindowShield(os::WindowSystem& windows) : windows_(windows) {}

  [[nodiscard]] os::InputVerdict judge(const os::LowLevelInput& input);

 private:
  [[nodiscard]] bool aimed_at_agent_window(const os::LowLevelInput& input);
  [[nodiscard]] bool is_agent(os::WindowHandle window);

  os::WindowSystem& windows_;
  // The presses dropped, whose releases are dropped too: virtual keys, then buttons.
  static constexpr std::size_t kButtonBase = 256;
  std::bitset<kButtonBase + 8> dropped_;
};

}  // namespace ombrelin::session
