#include "native_host/handshake.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "native_host/caller_origin.h"

namespace ombrelin::native_host {
namespace {

using native_protocol::ChallengeAckMessage;
using native_protocol::CommandMessage;
using native_protocol::HelloMessage;
using native_protocol::IncomingMessage;
namespace command = native_protocol::command;

const std::string kIdA = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
const std::string kIdB = "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";
const std::string kCaller = "chrome-extension://" + kIdB + "/";
const std::string kService = "https://service.example";
const std::string kHelloId = "0123456789abcdef0123456789abcdef";
const std::string kExtensionChallenge = "fedcba9876543210fedcba9876543210";
// What FixedRandom's bytes 0, 1, ..., 15 encode to.
const std::string kAgentChallenge = "000102030405060708090a0b0c0d0e0f";

struct OriginCase {
  std::string origin;
  bool allowed;
};

class CallerOrigin : public ::testing::TestWithParam<OriginCase> {};

TEST_P(CallerOrigin, MatchesAnAllowedIdExactly) {
  EXPECT_EQ(is_allowed_caller_origin({kIdA, kIdB}, GetParam().origin), GetParam().allowed)
      << GetParam().origin;
}

INSTANTIATE_TEST_SUITE_P(
    Origins, CallerOrigin,
    ::testing::Values(OriginCase{"chrome-extension://" + kIdA + "/", true},
                      OriginCase{kCaller, true}, OriginCase{"chrome-extension://" + kIdA, false},
                      OriginCase{"chrome-extension://" + kIdA + "//", false},
                      OriginCase{"chrome-extension://" + kIdA + "/x", false},
                      OriginCase{"Chrome-extension://" + kIdA + "/", false},
                      OriginCase{"moz-extension://" + kIdA + "/", false},
                      OriginCase{"chrome-extension://" + kIdA.substr(1) + "/", false},
                      OriginCase{"chrome-extension://" + kIdA + "a/", false},
                      OriginCase{" chrome-extension://" + kIdA + "/", false},
                      OriginCase{"chrome-extension:///", false}, OriginCase{"", false}));

TEST(CallerOrigin, NothingIsAllowedByAnEmptyList) {
  EXPECT_FALSE(is_allowed_caller_origin({}, kCaller));
}

// Hands out 0, 1, 2, ... or fails.
class FixedRandom final : public os::RandomSource {
 public:
  bool fails = false;
  int calls = 0;
  std::expected<void, os::OsError> fill(std::span<std::uint8_t> out) override {
    ++calls;
    EXPECT_EQ(out.size(), 16u);
    if (fails) {
      return std::unexpected(os::OsError{1, "random"});
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = static_cast<std::uint8_t>(i);
    }
    return {};
  }
};

HelloMessage good_hello() {
  return HelloMessage{1, kHelloId, "chrome-extension://" + kIdB, kService, kExtensionChallenge};
}
ChallengeAckMessage good_ack() { return ChallengeAckMessage{1, kHelloId, kAgentChallenge}; }
CommandMessage command_with_id(std::string request_id) {
  return CommandMessage{1, std::move(request_id), kAgentChallenge, command::Status{}};
}

class HandshakeTest : public ::testing::Test {
 protected:
  // Built per step, so that a test may change the caller or the allowed list first.
  HandshakeContext context() { return {allowed_, caller_, kService, random_, cache_}; }
  std::expected<HandshakeAction, FatalError> step(IncomingMessage message) {
    return handshake_.step(std::move(message), context());
  }
  void reach_ready() {
    ASSERT_TRUE(step(good_hello()).has_value());
    ASSERT_TRUE(step(good_ack()).has_value());
  }
  static std::string reply_of(const std::expected<HandshakeAction, FatalError>& action) {
    EXPECT_TRUE(action.has_value());
    if (!action || !std::holds_alternative<WriteReply>(*action)) {
      ADD_FAILURE() << "not a reply";
      return {};
    }
    return std::get<WriteReply>(*action).body.value_or("<serialisation failed>");
  }
  static void expect_fatal(const std::expected<HandshakeAction, FatalError>& action,
                           FatalKind kind) {
    ASSERT_FALSE(action.has_value());
    EXPECT_EQ(action.error().kind, kind);
  }

  std::vector<std::string> allowed_{kIdA, kIdB};
  std::string caller_ = kCaller;
  FixedRandom random_;
  RequestIdCache cache_;
  Handshake handshake_;
};

TEST_F(HandshakeTest, FullHandshakeRepliesHelloAckThenReady) {
  EXPECT_EQ(reply_of(step(good_hello())),
            R"({"v":1,"type":"hello-ack","requestId":"0123456789abcdef0123456789abcdef",)"
            R"("extensionChallenge":"fedcba9876543210fedcba9876543210",)"
            R"("agentChallenge":"000102030405060708090a0b0c0d0e0f",)"
            R"("origin":"https://service.example"})");
  EXPECT_EQ(random_.calls, 1);
  EXPECT_EQ(reply_of(step(good_ack())),
            R"({"v":1,"type":"ready","requestId":"0123456789abcdef0123456789abcdef",)"
            R"("agentChallenge":"000102030405060708090a0b0c0d0e0f"})");
  EXPECT_EQ(cache_.size(), 0u);  // handshake ids are not remembered
}

struct HelloCase {
  std::string name;
  std::function<void(HelloMessage&, std::string& caller, std::vector<std::string>& allowed)> change;
};

class HelloChecks : public HandshakeTest, public ::testing::WithParamInterface<HelloCase> {};

TEST_P(HelloChecks, FailFreshnessBeforeDrawingRandom) {
  HelloMessage hello = good_hello();
  GetParam().change(hello, caller_, allowed_);
  random_.fails = true;  // a check that ran after the draw would report this instead
  expect_fatal(step(hello), FatalKind::kFreshnessHelloFailed);
  EXPECT_EQ(random_.calls, 0);
}

using Allowed = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Failures, HelloChecks,
    ::testing::Values(HelloCase{"Version2",
                                [](HelloMessage& h, std::string&, Allowed&) { h.v = 2; }},
                      HelloCase{"Version0",
                                [](HelloMessage& h, std::string&, Allowed&) { h.v = 0; }},
                      HelloCase{"RequestIdUppercase",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.request_id = "0123456789ABCDEF0123456789abcdef";
                                }},
                      HelloCase{"RequestId31", [](HelloMessage& h, std::string&,
                                                  Allowed&) { h.request_id.pop_back(); }},
                      HelloCase{"RequestId33", [](HelloMessage& h, std::string&,
                                                  Allowed&) { h.request_id += "0"; }},
                      HelloCase{"ChallengeNotHex",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.extension_challenge[0] = 'g';
                                }},
                      HelloCase{"ChallengeEmpty", [](HelloMessage& h, std::string&,
                                                     Allowed&) { h.extension_challenge.clear(); }},
                      HelloCase{"WebOriginTrailingSlash",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.trusted_web_origin += "/";
                                }},
                      HelloCase{"WebOriginCase",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.trusted_web_origin = "https://Service.example";
                                }},
                      HelloCase{"WebOriginPrefix",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.trusted_web_origin = "https://service.exampl";
                                }},
                      HelloCase{"ExtensionOriginWithSlash",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.extension_origin += "/";
                                }},
                      HelloCase{"OtherAllowedExtension",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.extension_origin = "chrome-extension://" + kIdA;
                                }},
                      HelloCase{"ExtensionOriginShort",
                                [](HelloMessage& h, std::string&, Allowed&) {
                                  h.extension_origin.pop_back();
                                }},
                      HelloCase{"CallerWithoutSlash",
                                [](HelloMessage& h, std::string& caller, Allowed&) {
                                  caller.pop_back();
                                  h.extension_origin.pop_back();
                                }},
                      HelloCase{
                          "CallerNoLongerAllowed",
                          [](HelloMessage&, std::string&, Allowed& allowed) { allowed = {kIdA}; }}),
    [](const auto& test) { return test.param.name; });

TEST_F(HandshakeTest, RandomFailureIsFatal) {
  random_.fails = true;
  expect_fatal(step(good_hello()), FatalKind::kRandomGenerationFailed);
}

TEST_F(HandshakeTest, MessagesOutOfSequenceAreFatal) {
  const auto command = [] { return command_with_id(kIdA); };
  {
    Handshake fresh;
    expect_fatal(fresh.step(good_ack(), context()), FatalKind::kHandshakeSequenceFailed);
  }
  {
    Handshake fresh;
    expect_fatal(fresh.step(command(), context()), FatalKind::kHandshakeSequenceFailed);
  }
  {
    Handshake after_hello;
    ASSERT_TRUE(after_hello.step(good_hello(), context()).has_value());
    expect_fatal(after_hello.step(good_hello(), context()), FatalKind::kHandshakeSequenceFailed);
  }
  {
    Handshake after_hello;
    ASSERT_TRUE(after_hello.step(good_hello(), context()).has_value());
    expect_fatal(after_hello.step(command(), context()), FatalKind::kHandshakeSequenceFailed);
  }
  reach_ready();
  expect_fatal(step(good_hello()), FatalKind::kHandshakeSequenceFailed);
  Handshake ready;
  ASSERT_TRUE(ready.step(good_hello(), context()).has_value());
  ASSERT_TRUE(ready.step(good_ack(), context()).has_value());
  expect_fatal(ready.step(good_ack(), context()), FatalKind::kHandshakeSequenceFailed);
}

struct AckCase {
  std::string name;
  ChallengeAckMessage ack;
};

class ChallengeAckChecks : public HandshakeTest, public ::testing::WithParamInterface<AckCase> {};

TEST_P(ChallengeAckChecks, EndTheRun) {
  ASSERT_TRUE(step(good_hello()).has_value());
  expect_fatal(step(GetParam().ack), FatalKind::kHandshakeSequenceFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ChallengeAckChecks,
    ::testing::Values(AckCase{"Version2", {2, kHelloId, kAgentChallenge}},
                      AckCase{"OtherRequestId", {1, kIdA, kAgentChallenge}},
                      AckCase{"EchoesExtensionChallenge", {1, kHelloId, kExtensionChallenge}},
                      AckCase{"ChallengeUppercase",
                              {1, kHelloId, "000102030405060708090A0B0C0D0E0F"}},
                      AckCase{"ChallengeTruncated", {1, kHelloId, kAgentChallenge.substr(1)}}),
    [](const auto& test) { return test.param.name; });

TEST_F(HandshakeTest, CommandWithWrongVersionOrChallengeIsFatal) {
  reach_ready();
  CommandMessage version = command_with_id(kIdA);
  version.v = 2;
  expect_fatal(step(std::move(version)), FatalKind::kHandshakeSequenceFailed);

  CommandMessage challenge = command_with_id(kIdA);
  challenge.agent_challenge = kExtensionChallenge;
  expect_fatal(step(std::move(challenge)), FatalKind::kHandshakeSequenceFailed);
  EXPECT_EQ(cache_.size(), 0u);
}

TEST_F(HandshakeTest, FreshCommandIsRememberedBeforeItIsHandedOn) {
  reach_ready();
  CommandMessage message = command_with_id(kIdA);
  message.command = command::SessionPause{"s", true};
  const auto action = step(std::move(message));
  ASSERT_TRUE(action.has_value());
  const auto* execute = std::get_if<ExecuteCommand>(&*action);
  ASSERT_NE(execute, nullptr);
  EXPECT_EQ(execute->request_id, kIdA);
  const auto* pause = std::get_if<command::SessionPause>(&execute->command);
  ASSERT_NE(pause, nullptr);
  EXPECT_EQ(pause->session_id, "s");
  EXPECT_TRUE(cache_.contains(kIdA));
  EXPECT_EQ(cache_.size(), 1u);
}

TEST_F(HandshakeTest, ReplayedOrMalformedIdIsAnsweredAndNotRemembered) {
  reach_ready();
  ASSERT_TRUE(std::holds_alternative<ExecuteCommand>(*step(command_with_id(kIdA))));
  const std::string refused =
      R"(","ok":false,"error":"The request identifier is invalid or replayed."})";
  EXPECT_EQ(reply_of(step(command_with_id(kIdA))),
            R"({"v":1,"type":"response","requestId":")" + kIdA + refused);
  for (const std::string bad : {"", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", "a\"\\b", "0123"}) {
    std::string escaped;
    for (const char c : bad) {
      if (c == '"' || c == '\\') {
        escaped.push_back('\\');
      }
      escaped.push_back(c);
    }
    EXPECT_EQ(reply_of(step(command_with_id(bad))),
              R"({"v":1,"type":"response","requestId":")" + escaped + refused);
  }
  EXPECT_EQ(cache_.size(), 1u);
  // The hello's id was never remembered, so a command may use it once.
  EXPECT_TRUE(std::holds_alternative<ExecuteCommand>(*step(command_with_id(kHelloId))));
  EXPECT_TRUE(std::holds_alternative<WriteReply>(*step(command_with_id(kHelloId))));
}

TEST(RequestIdCache, ForgetsTheOldestBeyondCapacity) {
  RequestIdCache cache;
  const auto id = [](std::size_t n) {
    char text[33];
    std::snprintf(text, sizeof text, "%032zx", n);
    return std::string(text);
  };
  for (std::size_t n = 0; n < kRequestIdCacheCapacity; ++n) {
    cache.remember(id(n));
  }
  EXPECT_EQ(cache.size(), kRequestIdCacheCapacity);
  EXPECT_TRUE(cache.contains(id(0)));
  EXPECT_TRUE(cache.contains(id(kRequestIdCacheCapacity - 1)));

  cache.remember(id(kRequestIdCacheCapacity));  // the 4097th evicts the first
  EXPECT_EQ(cache.size(), kRequestIdCacheCapacity);
  EXPECT_FALSE(cache.contains(id(0)));
  EXPECT_TRUE(cache.contains(id(1)));
  EXPECT_TRUE(cache.contains(id(kRequestIdCacheCapacity)));

  cache.remember(id(0));  // back in, as the newest; the second goes
  EXPECT_TRUE(cache.contains(id(0)));
  EXPECT_FALSE(cache.contains(id(1)));
  EXPECT_TRUE(cache.contains(id(2)));
}

TEST(RequestIdCache, DuplicatesNeitherGrowNorRefreshTheQueue) {
  RequestIdCache cache;
  cache.remember("first");
  cache.remember("second");
  cache.remember("first");
  EXPECT_EQ(cache.size(), 2u);
  for (std::size_t n = 0; n < kRequestIdCacheCapacity - 1; ++n) {
    cache.remember("id" + std::to_string(n));
  }
  // "first" kept its original place in the queue, so it went first.
  EXPECT_FALSE(cache.contains("first"));
  EXPECT_TRUE(cache.contains("second"));
  EXPECT_EQ(cache.size(), kRequestIdCacheCapacity);
}

}  // namespace
}  // namespace ombrelin::native_host
