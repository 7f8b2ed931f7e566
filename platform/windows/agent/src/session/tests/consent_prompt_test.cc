#include "session/consent_prompt.h"

#include <gtest/gtest.h>

#include <string>

namespace ombrelin::session {
namespace {

constexpr std::string_view kFingerprint =
    "3f00112233445566778899aabbccddeeff00112233445566778899aabbccdd9c";

TEST(ConsentText, ListsTheRequestLineByLine) {
  EXPECT_EQ(format_consent_text({"Field Support", kFingerprint, "VIEW_SCREEN, SEND_POINTER",
                                 "Office Display", "2023-11-14 23:13:20 (UTC+01:00)"}),
            "Requester: Field Support\r\n"
            "Requester identity: " +
                std::string(kFingerprint) +
                "\r\n"
                "Permissions: VIEW_SCREEN, SEND_POINTER\r\n"
                "Input mapping: Office Display\r\n"
                "Expires: 2023-11-14 23:13:20 (UTC+01:00)\r\n"
                "\r\n"
                "Allow this visible session? You can Pause or Stop at any time. "
                "Ctrl+Alt+Shift+F12 is the emergency Stop shortcut.");
}

TEST(ConsentText, KeepsTheNameAsSent) {
  const std::string text =
      format_consent_text({" Ann  ", kFingerprint, "VIEW_SCREEN", "No operating-system input",
                           "2023-11-14 17:13:20 (UTC-05:00)"});
  EXPECT_TRUE(text.starts_with("Requester:  Ann  \r\n")) << text;
  EXPECT_NE(text.find("\r\nInput mapping: No operating-system input\r\n"
                      "Expires: 2023-11-14 17:13:20 (UTC-05:00)\r\n\r\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace ombrelin::session
