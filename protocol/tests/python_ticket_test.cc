// A ticket made by tools/ombrelin_tickets.py must verify here: the two encoders and
// the signing message agree, or a developer's tickets would be refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "ombrelin/protocol/session_start.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

// "name value" lines; the value is the rest of the line.
std::map<std::string, std::string> read_fixture() {
  std::ifstream in(std::string(OMBRELIN_PROTOCOL_TEST_DATA) + "/python_ticket.txt");
  std::map<std::string, std::string> values;
  for (std::string line; std::getline(in, line);) {
    const auto space = line.find(' ');
    if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
    values[line.substr(0, space)] = line.substr(space + 1);
  }
  return values;
}

TEST(PythonTicket, VerifiesWithTheFixedKeyAndClock) {
  auto v = read_fixture();
  ASSERT_EQ(v.size(), 15u) << "fixture missing or incomplete";

  HostBinding host;
  host.device_id = *parse_uuid_text(v["host_device_id"]);
  const Bytes print = testing::from_hex(v["host_identity_fingerprint"]);
  std::ranges::copy(print, host.identity_fingerprint.begin());

  std::vector<PermissionIndex> permissions;
  std::istringstream list(v["permissions"]);
  for (int index = 0; list >> index;) permissions.push_back(static_cast<PermissionIndex>(index));

  const SessionStartRequest request{
      .session_id = v["session_id"],
      .requester_name = v["requester_name"],
      .permissions = permissions,
      .lease_expires_at_ms = std::stoull(v["lease_expires_at_ms"]),
      .signed_ticket = v["signed_ticket"],
      .ticket_key = {v["key_id"], v["algorithm"], v["public_key"], v["encoding"]},
  };
  const std::uint64_t now_ms = std::stoull(v["now_ms"]);
  const auto grant = check_session_start(request, host, now_ms);
  ASSERT_TRUE(grant.has_value()) << "failure code " << static_cast<int>(grant.error());
  EXPECT_EQ(encode_lower_hex(grant->ticket_payload_digest), v["payload_sha256"]);
  EXPECT_EQ(grant->requester_fingerprint_text, v["requester_fingerprint"]);
  EXPECT_EQ(grant->display_id, v["display_id"]);
  EXPECT_EQ(grant->session_id_text, v["session_id"]);
  EXPECT_EQ(grant->granted_permissions, permissions);

  // The same ticket at another host is refused.
  host.device_id[15] ^= 1;
  EXPECT_FALSE(check_session_start(request, host, now_ms).has_value());
}

}  // namespace
}  // namespace ombrelin::protocol
