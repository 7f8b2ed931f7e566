#include "ombrelin/protocol/ticket_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

using testing::PrintTo;

using testing::expectations;
using testing::filled;
using testing::valid_ticket;

struct PermissionListCase {
  std::vector<std::int32_t> values;
  std::expected<PermissionMask, PermissionListError> result;
};

class PermissionList : public ::testing::TestWithParam<PermissionListCase> {};

TEST_P(PermissionList, BuildsTheMaskOrNamesTheFirstOffendingValue) {
  EXPECT_EQ(build_permission_mask(GetParam().values), GetParam().result);
}

using PP = PermissionProblem;
std::unexpected<PermissionListError> bad(PP problem, std::int32_t value) {
  return std::unexpected(PermissionListError{problem, value});
}

INSTANTIATE_TEST_SUITE_P(
    Rule, PermissionList,
    ::testing::Values(PermissionListCase{{}, 0u}, PermissionListCase{{1, 3, 16}, 0x8005u},
                      PermissionListCase{{1, 3, 3}, bad(PP::kDuplicate, 3)},
                      PermissionListCase{{3, 1}, bad(PP::kOutOfOrder, 1)},
                      PermissionListCase{{0}, bad(PP::kUnspecified, 0)},
                      PermissionListCase{{2, 17}, bad(PP::kUnknown, 17)},
                      PermissionListCase{{-1}, bad(PP::kUnknown, -1)},
                      PermissionListCase{
                          {std::numeric_limits<std::int32_t>::min()},
                          bad(PP::kUnknown, std::numeric_limits<std::int32_t>::min())}));

struct FieldCase {
  std::string name;
  std::function<void(SessionTicket&, TicketExpectations&)> edit;
  std::optional<ProtocolError> error;  // none: the ticket passes
};

class TicketFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(TicketFields, ReportsTheFirstBrokenRule) {
  SessionTicket ticket = valid_ticket();
  TicketExpectations expected = expectations();
  GetParam().edit(ticket, expected);
  const auto result = validate_ticket_fields(ticket, expected);
  if (GetParam().error) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), *GetParam().error) << to_string(result.error());
  } else {
    EXPECT_TRUE(result.has_value()) << to_string(result.error());
  }
}

using E = ProtocolError;
using L = FieldLabel;
using K = ProtocolErrorKind;
using T = SessionTicket;
using X = TicketExpectations;

// Makes requester and target bindings and expectations agree on new values.
void set_requester(T& tk, X& x, std::uint8_t device, std::uint8_t print) {
  tk.requester = DeviceBinding{filled(16, device), filled(32, print)};
  std::ranges::fill(x.requester_device_id, device);
  std::ranges::fill(x.requester_identity_fingerprint, print);
}

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Rules, TicketFields,
    ::testing::Values(
        FieldCase{"Valid", [](T&, X&) {}, std::nullopt},
        FieldCase{"SessionIdShort", [](T& tk, X&) { tk.session_id.pop_back(); },
                  E::wrong_length(16, 15, L::kSessionId)},
        FieldCase{"SessionIdZero",
                  [](T& tk, X& x) {
                    tk.session_id = filled(16, 0);
                    x.session_id = {};
                  },
                  E::invalid(L::kSessionId)},
        FieldCase{"SessionIdOther", [](T& tk, X&) { tk.session_id[15] ^= 1; },
                  E::mismatch(L::kSessionId)},
        FieldCase{"BothBindingsMissing",
                  [](T& tk, X&) {
                    tk.requester.reset();
                    tk.target.reset();
                  },
                  E::missing(L::kRequester)},
        FieldCase{"TargetMissing", [](T& tk, X&) { tk.target.reset(); }, E::missing(L::kTarget)},
        FieldCase{"EmptyRequester", [](T& tk, X&) { tk.requester = DeviceBinding{}; },
                  E::wrong_length(16, 0, L::kDeviceId)},
        FieldCase{"RequesterPrintShort",
                  [](T& tk, X&) { tk.requester->identity_key_fingerprint_sha256.pop_back(); },
                  E::wrong_length(32, 31, L::kIdentityKeyFingerprint)},
        FieldCase{"RequesterOther", [](T& tk, X&) { tk.requester->device_id[0] ^= 1; },
                  E::mismatch(L::kRequester)},
        FieldCase{"TargetDeviceOther", [](T& tk, X&) { tk.target->device_id[3] ^= 1; },
                  E::mismatch(L::kTarget)},
        FieldCase{"RequesterDeviceZero", [](T& tk, X& x) { set_requester(tk, x, 0x00, 0x44); },
                  E::invalid(L::kDeviceId)},
        FieldCase{"RequesterPrintZero", [](T& tk, X& x) { set_requester(tk, x, 0x33, 0x00); },
                  E::invalid(L::kIdentityKeyFingerprint)},
        FieldCase{"SameDeviceTwice",
                  [](T& tk, X& x) {
                    tk.requester->device_id = tk.target->device_id;
                    x.requester_device_id = x.target_device_id;
                  },
                  E::invalid(L::kRequesterTargetDevice)},
        FieldCase{"RoleZero", [](T& tk, X&) { tk.role = 0; }, E::invalid(L::kRole)},
        FieldCase{"RoleFour", [](T& tk, X&) { tk.role = 4; }, E::invalid(L::kRole)},
        FieldCase{"ApprovalZero", [](T& tk, X&) { tk.approval_mode = 0; },
                  E::invalid(L::kApprovalMode)},
        FieldCase{"ProtocolTwo", [](T& tk, X&) { tk.protocol_major = 2; },
                  E::mismatch(L::kProtocolMajor)},
        FieldCase{"EmptyWindow", [](T& tk, X&) { tk.expires_at_unix_s = tk.issued_at_unix_s; },
                  E::of_kind(K::kBadLifetime)},
        FieldCase{"LifetimeOf120", [](T& tk, X&) { tk.expires_at_unix_s = tk.issued_at_unix_s + 120; },
                  std::nullopt},
        FieldCase{"LifetimeOf121ReportedBeforeExpiry",
                  [](T& tk, X& x) {
                    tk.expires_at_unix_s = tk.issued_at_unix_s + 121;
                    x.now_unix_s = tk.expires_at_unix_s + 1;
                  },
                  E::of_kind(K::kBadLifetime)},
        FieldCase{"ExpiresNow", [](T& tk, X& x) { tk.expires_at_unix_s = x.now_unix_s; },
                  E::of_kind(K::kExpired)},
        FieldCase{"IssuedIn30s",
                  [](T& tk, X& x) {
                    tk.issued_at_unix_s = x.now_unix_s + 30;
                    tk.expires_at_unix_s = tk.issued_at_unix_s + 60;
                  },
                  std::nullopt},
        FieldCase{"IssuedIn31s",
                  [](T& tk, X& x) {
                    tk.issued_at_unix_s = x.now_unix_s + 31;
                    tk.expires_at_unix_s = tk.issued_at_unix_s + 60;
                  },
                  E::of_kind(K::kNotYetValid)},
        FieldCase{"SkewSaturatesAtTheEndOfTime",
                  [](T& tk, X& x) {
                    x.now_unix_s = kMax - 5;
                    tk.issued_at_unix_s = kMax - 1;
                    tk.expires_at_unix_s = kMax;
                  },
                  std::nullopt},
        FieldCase{"NonceShort", [](T& tk, X&) { tk.nonce.pop_back(); },
                  E::wrong_length(32, 31, L::kNonce)},
        FieldCase{"NonceZero", [](T& tk, X&) { tk.nonce = filled(32, 0); }, E::invalid(L::kNonce)},
        FieldCase{"TargetDtlsZero",
                  [](T& tk, X&) { tk.target_dtls_fingerprint_sha256 = filled(32, 0); },
                  E::invalid(L::kTargetDtlsFingerprint)},
        FieldCase{"DisplayId128", [](T& tk, X&) { tk.display_id.assign(128, 'd'); }, std::nullopt},
        FieldCase{"DisplayId129", [](T& tk, X&) { tk.display_id.assign(129, 'd'); },
                  E::too_long(128, L::kDisplayId)},
        FieldCase{"KeyIdEmpty", [](T& tk, X&) { tk.signing_key_id.clear(); },
                  E::invalid(L::kSigningKeyId)},
        FieldCase{"KeyIdWithSpace", [](T& tk, X&) { tk.signing_key_id = "dev key"; },
                  E::invalid(L::kSigningKeyId)},
        FieldCase{"EntitlementsAscendingWithPrefix",
                  [](T& tk, X&) { tk.entitlements = {"a", "ab", "b"}; }, std::nullopt},
        FieldCase{"Entitlements33",
                  [](T& tk, X&) {
                    tk.entitlements.clear();
                    for (char c = 'A'; c < 'A' + 33; ++c) tk.entitlements.emplace_back(1, c);
                  },
                  E::too_long(32, L::kEntitlements)},
        FieldCase{"EntitlementWithSpace", [](T& tk, X&) { tk.entitlements = {"a b"}; },
                  E::invalid(L::kEntitlement)},
        FieldCase{"EntitlementEmpty", [](T& tk, X&) { tk.entitlements = {""}; },
                  E::invalid(L::kEntitlement)},
        FieldCase{"EntitlementsDescending", [](T& tk, X&) { tk.entitlements = {"b", "a"}; },
                  E::invalid(L::kEntitlementOrder)},
        FieldCase{"EntitlementsRepeated", [](T& tk, X&) { tk.entitlements = {"a", "a"}; },
                  E::invalid(L::kEntitlementOrder)},
        FieldCase{"PermissionsDuplicate", [](T& tk, X&) { tk.permissions = {1, 3, 3}; },
                  E::permission({PP::kDuplicate, 3})},
        FieldCase{"PermissionsNone", [](T& tk, X&) { tk.permissions.clear(); }, std::nullopt}),
    testing::CaseName{});

TEST(TicketFieldsMask, ResultIsThePermissionMask) {
  SessionTicket ticket = valid_ticket();
  ticket.permissions = {1, 2, 7, 16};
  EXPECT_EQ(validate_ticket_fields(ticket, expectations()), 0x8043u);
}

}  // namespace
}  // namespace ombrelin::protocol
