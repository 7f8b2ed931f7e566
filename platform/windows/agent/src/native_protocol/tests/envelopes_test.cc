#include "native_protocol/envelopes.h"

#include <gtest/gtest.h>

#include <string>

namespace ombrelin::native_protocol {
namespace {

// Golden documents: the exact bytes the extension receives.
const std::string kRequestId = "0123456789abcdef0123456789abcdef";

TEST(Envelopes, HelloAckAndReady) {
  EXPECT_EQ(serialize(HelloAck{kRequestId, "ec", "ac", "https://example.test"}).value(),
            R"({"v":1,"type":"hello-ack","requestId":"0123456789abcdef0123456789abcdef",)"
            R"("extensionChallenge":"ec","agentChallenge":"ac","origin":"https://example.test"})");
  EXPECT_EQ(serialize(Ready{kRequestId, "ac"}).value(),
            R"({"v":1,"type":"ready","requestId":"0123456789abcdef0123456789abcdef",)"
            R"("agentChallenge":"ac"})");
}

TEST(Envelopes, SuccessWithoutSessionWritesNullsAndEmptyArray) {
  StatusPayload status;
  status.device_name = "Desk \"1\"";
  status.devices.push_back({"123e4567-e89b-42d3-a456-426614174000", "Desk \"1\""});
  EXPECT_EQ(serialize(SuccessResponse{"r", status}).value(),
            R"({"v":1,"type":"response","requestId":"r","ok":true,"status":{"connected":false,)"
            R"("paused":false,"agentVersion":"1.0.0","deviceName":"Desk \"1\"",)"
            R"("activeSessionId":null,"activeSite":null,"sessionMode":null,)"
            R"("grantedPermissions":[],"devices":[{"id":"123e4567-e89b-42d3-a456-426614174000",)"
            R"("name":"Desk \"1\""}]}})");
}

TEST(Envelopes, SuccessWithSession) {
  StatusPayload status;
  status.connected = true;
  status.paused = true;
  status.device_name = "D";
  status.active_session_id = "s";
  status.active_site = "https://example.test";
  status.session_mode = "control";
  status.granted_permissions = {PermissionName::kViewScreen, PermissionName::kSendPointer};
  status.devices.push_back({"i", "D"});
  EXPECT_EQ(serialize(SuccessResponse{"r", status}).value(),
            R"({"v":1,"type":"response","requestId":"r","ok":true,"status":{"connected":true,)"
            R"("paused":true,"agentVersion":"1.0.0","deviceName":"D","activeSessionId":"s",)"
            R"("activeSite":"https://example.test","sessionMode":"control",)"
            R"("grantedPermissions":["VIEW_SCREEN","SEND_POINTER"],)"
            R"("devices":[{"id":"i","name":"D"}]}})");
}

TEST(Envelopes, FailureEchoesAMalformedRequestIdEscaped) {
  EXPECT_EQ(
      serialize(FailureResponse{"a\"\\\x01", "No locally approved session is active."}).value(),
      R"({"v":1,"type":"response","requestId":"a\"\\\u0001","ok":false,)"
      R"("error":"No locally approved session is active."})");
}

TEST(Envelopes, InvalidTextFailsSerialisation) {
  StatusPayload status;
  status.device_name = "\xFF";
  EXPECT_FALSE(serialize(SuccessResponse{"r", status}).has_value());
  EXPECT_FALSE(serialize(FailureResponse{"\xC3", "e"}).has_value());
  EXPECT_FALSE(serialize(HelloAck{"r", "\xFF", "a", "o"}).has_value());
  EXPECT_FALSE(serialize(Ready{"r", "\xFF"}).has_value());
}

}  // namespace
}  // namespace ombrelin::native_protocol
