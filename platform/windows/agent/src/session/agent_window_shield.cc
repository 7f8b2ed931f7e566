#include "session/agent_window_shield.h"

#include "session/consent_prompt.h"

namespace ombrelin::session {
namespace {

using os::LowLevelKind;

bool is_press(LowLevelKind kind) {
  return kind == LowLevelKind::kKeyPress || kind == LowLevelKind::kButtonPress;
}

}  // namespace

bool is_agent_window(const os::WindowIdentity& identity) {
  return identity.class_name == kIndicatorClassName ||
         (identity.class_name == kDialogClassName && identity.text == kConsentCaption);
}

os::InputVerdict AgentWindowShield::judge(const os::LowLevelInput& input) {
  const bool key = input.kind == LowLevelKind::kKeyPress || input.kind == LowLevelKind::kKeyRelease;
  const bool button =
      input.kind == LowLevelKind::kButtonPress || input.kind == LowLevelKind::kButtonRelease;
  if (!key && !button) {
    return os::InputVerdict::kPass;  // moves and wheel turns operate nothing
  }
  const std::size_t index =
      key ? input.vk & 0xFFU : kButtonBase + static_cast<std::size_t>(input.button);
  auto release_owed = dropped_[index];  // a dropped press takes its release with it
  if (!input.injected) {
    // The local user's own press and release are theirs, and settle the key.
    release_owed = false;
    return os::InputVerdict::kPass;
  }
  if (is_press(input.kind)) {
    release_owed = aimed_at_agent_window(input);
    return release_owed ? os::InputVerdict::kDrop : os::InputVerdict::kPass;
  }
  const bool drop = release_owed;
  release_owed = false;
  return drop ? os::InputVerdict::kDrop : os::InputVerdict::kPass;
}

bool AgentWindowShield::aimed_at_agent_window(const os::LowLevelInput& input) {
  if (input.kind == LowLevelKind::kKeyPress) {
    return is_agent(windows_.foreground_window());
  }
  return is_agent(windows_.top_level_window_at(input.point));
}

bool AgentWindowShield::is_agent(os::WindowHandle window) {
  return window != 0 && is_agent_window(windows_.identify_window(window));
}

}  // namespace ombrelin::session
