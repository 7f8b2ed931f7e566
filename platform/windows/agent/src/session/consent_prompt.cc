#include "session/consent_prompt.h"

namespace ombrelin::session {
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
  const os::MessageBoxLimits limits{kConsentTimeLimit, std::move(page_gone)};
  return windows.message_box(format_consent_text(request), kConsentCaption, kConsentStyle,
                             limits) == os::kIdYes;
}

}  // namespace ombrelin::session
