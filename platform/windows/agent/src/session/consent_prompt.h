#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "os/window_system.h"

namespace ombrelin::session {

// What the local user is asked to allow.
struct ConsentRequest {
  std::string_view requester_name;      // exactly as the page sent it
  std::string_view requester_identity;  // 64 lowercase hexadecimal digits
  std::string_view permission_names;    // the granted names joined by ", "
  std::string_view input_mapping;       // the display input lands on, or no input
  std::string_view expires;             // the lease's end in local time
};

inline constexpr std::string_view kConsentCaption =
    "Ombrelin Revozad \u2014 Local consent required";
// Yes/No, warning icon, brought to the foreground and topmost. No is the
// default button, so a stray Enter or Space declines.
inline constexpr std::uint32_t kConsentStyle =
    os::kMbYesNo | os::kMbIconWarning | os::kMbDefButton2 | os::kMbSetForeground | os::kMbTopmost;

[[nodiscard]] std::string format_consent_text(const ConsentRequest& request);

// How long the consent box waits for the local user: a box that nobody answers
// declines.
inline constexpr std::chrono::seconds kConsentTimeLimit{60};

// Shows the modal consent box on the calling (main) thread and waits for the
// answer. Only Yes accepts; No, a box that could not be shown, a box left
// unanswered for kConsentTimeLimit, and a box whose asker went away
// (`page_gone`, asked while the box is open) refuse. Injected input never
// reaches the box: without the watch that drops it, nobody is asked.
[[nodiscard]] bool ask_local_consent(os::WindowSystem& windows, const ConsentRequest& request,
                                     std::function<bool()> page_gone);

}  // namespace ombrelin::session
