#include "session/session_gate.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace ombrelin::session {
namespace {

constexpr std::uint64_t kLease = 1'700'000'100;
constexpr protocol::PermissionMask kViewScreen = 1u << 0;
constexpr protocol::PermissionMask kSendPointer = 1u << 2;
constexpr protocol::PermissionMask kSendKeyboard = 1u << 3;
constexpr protocol::PermissionMask kAllowed = kViewScreen | kSendPointer;

GateRequest make_request(std::string name = "Field Support", std::uint64_t lease = kLease) {
  GateRequest request;
  request.requester_name = std::move(name);
  request.session_id.fill(0x11);
  request.requester_device_id.fill(0x22);
  request.requester_identity_fingerprint.fill(0x33);
  request.lease_expires_at_s = lease;
  request.allowed_permissions = kAllowed;
  return request;
}

SessionGate pending_gate() {
  SessionGate gate;
  EXPECT_TRUE(gate.take_request(make_request()));
  return gate;
}

SessionGate active_gate() {
  SessionGate gate = pending_gate();
  EXPECT_TRUE(gate.approve(kAllowed, kLease - 1));
  return gate;
}

// Phases ---------------------------------------------------------------------

struct PhaseCase {
  std::string name;
  std::function<SessionGate()> make;
  GatePhase phase;
  bool takes_request;
};

class GateInPhase : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(GateInPhase, TakesARequestOnlyWhenIdleOrEnded) {
  SessionGate gate = GetParam().make();
  ASSERT_EQ(gate.phase(), GetParam().phase);
  const bool had_grant = gate.active_grant().has_value();

  EXPECT_EQ(gate.take_request(make_request("Other Requester", kLease + 50)),
            GetParam().takes_request);
  if (GetParam().takes_request) {
    EXPECT_EQ(gate.phase(), GatePhase::kPending);
    EXPECT_FALSE(gate.active_grant().has_value());
    EXPECT_FALSE(gate.paused());
  } else {
    EXPECT_EQ(gate.phase(), GetParam().phase);
    EXPECT_EQ(gate.active_grant().has_value(), had_grant);
    if (had_grant) {
      EXPECT_EQ(gate.active_grant()->requester_name, "Field Support");
    }
  }
}

TEST_P(GateInPhase, ApprovesOnlyWhenPending) {
  SessionGate gate = GetParam().make();
  const bool pending = GetParam().phase == GatePhase::kPending;
  EXPECT_EQ(gate.approve(kAllowed, kLease - 1), pending);
  EXPECT_EQ(gate.phase(), pending ? GatePhase::kActive : GetParam().phase);
}

TEST_P(GateInPhase, EndDiscardsEverythingAndPauses) {
  SessionGate gate = GetParam().make();
  gate.end();
  EXPECT_EQ(gate.phase(), GatePhase::kEnded);
  EXPECT_FALSE(gate.active_grant().has_value());
  EXPECT_TRUE(gate.paused());
  EXPECT_FALSE(gate.approve(kAllowed, kLease - 1));  // no pending request survives
}

INSTANTIATE_TEST_SUITE_P(
    Phases, GateInPhase,
    ::testing::Values(PhaseCase{"Idle", [] { return SessionGate(); }, GatePhase::kIdle, true},
                      PhaseCase{"Pending", pending_gate, GatePhase::kPending, false},
                      PhaseCase{"Active", active_gate, GatePhase::kActive, false},
                      PhaseCase{"Ended",
                                [] {
                                  SessionGate gate = active_gate();
                                  gate.end();
                                  return gate;
                                },
                                GatePhase::kEnded, true},
                      PhaseCase{"EndedByExpiry",
                                [] {
                                  SessionGate gate = pending_gate();
                                  EXPECT_FALSE(gate.approve(kAllowed, kLease));
                                  return gate;
                                },
                                GatePhase::kEnded, true}),
    [](const auto& test) { return test.param.name; });

// Taking a request -------------------------------------------------------------

struct NameCase {
  std::string name;
  std::string requester;
  bool taken;
};

class RequesterName : public ::testing::TestWithParam<NameCase> {};

TEST_P(RequesterName, BlankOrOverLongIsRefused) {
  SessionGate gate;
  EXPECT_EQ(gate.take_request(make_request(GetParam().requester)), GetParam().taken);
  EXPECT_EQ(gate.phase(), GetParam().taken ? GatePhase::kPending : GatePhase::kIdle);
}

std::string repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) {
    text.append(piece);
  }
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Names, RequesterName,
    ::testing::Values(NameCase{"Empty", "", false}, NameCase{"Spaces", "   ", false},
                      NameCase{"UnicodeWhiteSpace", "\t\u00a0\u0085\u3000", false},
                      NameCase{"OneLetter", "A", true},
                      NameCase{"Bytes128", std::string(128, 'x'), true},
                      NameCase{"Bytes129", std::string(129, 'x'), false},
                      // The limit counts the untrimmed bytes.
                      NameCase{"Padded128", " " + std::string(126, 'x') + " ", true},
                      NameCase{"Padded129", " " + std::string(127, 'x') + " ", false},
                      NameCase{"TwoByteLetters128", repeat("\u00e9", 64), true},
                      NameCase{"TwoByteLetters129", repeat("\u00e9", 64) + "x", false}),
    [](const auto& test) { return test.param.name; });

TEST(SessionGateTake, RefusesAZeroLease) {
  SessionGate gate;
  EXPECT_FALSE(gate.take_request(make_request("Field Support", 0)));
  EXPECT_EQ(gate.phase(), GatePhase::kIdle);
  EXPECT_TRUE(gate.take_request(make_request("Field Support", 1)));
}

TEST(SessionGateTake, StartsAFreshRound) {
  SessionGate gate = active_gate();
  gate.set_paused(PauseSource::kLocalUser, true);
  gate.end();
  ASSERT_TRUE(gate.paused());

  ASSERT_TRUE(gate.take_request(make_request()));
  EXPECT_FALSE(gate.paused());
  EXPECT_EQ(gate.phase(), GatePhase::kPending);
}

// Each side lifts only its own pause; input is paused while either holds.
TEST(SessionGatePause, EachSideLiftsOnlyItsOwnPause) {
  SessionGate gate = active_gate();
  gate.set_paused(PauseSource::kLocalUser, true);
  gate.set_paused(PauseSource::kRemoteSide, true);
  gate.set_paused(PauseSource::kRemoteSide, false);
  EXPECT_TRUE(gate.paused());
  EXPECT_TRUE(gate.paused_by(PauseSource::kLocalUser));
  gate.set_paused(PauseSource::kRemoteSide, true);
  gate.set_paused(PauseSource::kLocalUser, false);
  EXPECT_TRUE(gate.paused());
  gate.set_paused(PauseSource::kRemoteSide, false);
  EXPECT_FALSE(gate.paused());
}

// Approving --------------------------------------------------------------------

TEST(SessionGateApprove, MovesTheRequestIntoTheGrant) {
  SessionGate gate = pending_gate();
  ASSERT_TRUE(gate.approve(kViewScreen, kLease - 1));
  EXPECT_EQ(gate.phase(), GatePhase::kActive);
  ASSERT_TRUE(gate.active_grant().has_value());
  const ActiveGrant& grant = *gate.active_grant();
  const GateRequest request = make_request();
  EXPECT_EQ(grant.requester_name, request.requester_name);
  EXPECT_EQ(grant.session_id, request.session_id);
  EXPECT_EQ(grant.requester_device_id, request.requester_device_id);
  EXPECT_EQ(grant.requester_identity_fingerprint, request.requester_identity_fingerprint);
  EXPECT_EQ(grant.permission_epoch, 1u);
  EXPECT_EQ(grant.lease_expires_at_s, kLease);
  EXPECT_EQ(grant.granted_permissions, kViewScreen);  // what was asked, not all that was allowed
}

struct ApproveCase {
  std::string name;
  protocol::PermissionMask requested;
  std::uint64_t now;
  GatePhase phase;
};

class Approval : public ::testing::TestWithParam<ApproveCase> {};

TEST_P(Approval, IsRefused) {
  SessionGate gate = pending_gate();
  EXPECT_FALSE(gate.approve(GetParam().requested, GetParam().now));
  EXPECT_EQ(gate.phase(), GetParam().phase);
  EXPECT_FALSE(gate.active_grant().has_value());
  // Only a gate left pending can still be approved.
  EXPECT_EQ(gate.approve(kAllowed, kLease - 1), GetParam().phase == GatePhase::kPending);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, Approval,
    ::testing::Values(ApproveCase{"AtTheLease", kAllowed, kLease, GatePhase::kEnded},
                      ApproveCase{"AfterTheLease", kAllowed, kLease + 1, GatePhase::kEnded},
                      ApproveCase{"MaskOutsideAllowed", kAllowed | kSendKeyboard, kLease - 1,
                                  GatePhase::kPending},
                      // An expired lease ends the gate whatever was asked.
                      ApproveCase{"MaskOutsideAllowedAtTheLease", kSendKeyboard, kLease,
                                  GatePhase::kEnded}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ombrelin::session
