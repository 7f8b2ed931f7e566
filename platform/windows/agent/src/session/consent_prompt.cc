#include "session/consent_prompt.h"

#include "session/agent_window_shield.h"

namespace ombrelin::session {
namespace {

// Keeps injected clicks and keys away from the box while it is open, so that no
// program, the remote side of another session included, can answer it.
class ConsentBoxGuard final : public os::LowLevelInputListener {
 public:
  explicit ConsentBoxGuard(os::WindowSystem& windows) : shield_(windows) {}

  os::InputVerdict on_low_level_input(const os::LowLevelInput& input) noexcept override {
    return shield_.judge(input);
  }

 private:
  AgentWindowShield shield_;
};

}  // namespace

std::string format_consent_text(const ConsentRequest& request) {
  std::string text;
  text.append("Requester: ").append(request.requester_name);
  text.append("\r\nRequester identity: ").append(request.requester_identity);
  text.append("\r\nPermissions: ").append(request.permission_names);
  text.append("\r\nInput mapping: ").append(request.input_mapping);
  text.append("\r\nExpires: ").append(request.expires);
  text.append(
      "\r\n\r\nAllow this visible session? You can Pause or Stop at any time. "
      "Ctrl+Alt+Shift+F12 is the emergency Stop shortcut.");
  return text;
}

bool ask_local_consent(os::WindowSystem& windows, const ConsentRequest& request,
                       std::function<bool()> page_gone) {
  ConsentBoxGuard guard(windows);
  const auto watch = windows.watch_low_level_input(guard);
  if (!watch) {
    return false;  // a box that software could answer asks nobody
  }
  const os::MessageBoxLimits limits{kConsentTimeLimit, std::move(page_gone)};
  return windows.message_box(format_consent_text(request), kConsentCaption, kConsentStyle,
                             limits) == os::kIdYes;
}

}  // namespace ombrelin::session
