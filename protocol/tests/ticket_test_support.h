#pragma once

// Builders for well-formed tickets, keys and session-start requests, so that each
// test changes only the one thing it is about.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "ombrelin/protocol/byte_types.h"
#include "ombrelin/protocol/ed25519_strict.h"
#include "ombrelin/protocol/host_binding.h"
#include "ombrelin/protocol/session_start.h"
#include "ombrelin/protocol/session_ticket.h"
#include "ombrelin/protocol/ticket_rules.h"

namespace ombrelin::protocol::testing {

inline constexpr std::uint64_t kNowMs = 1'700'000'000'123;
inline constexpr std::uint64_t kNowS = kNowMs / 1000;
inline constexpr const char* kSessionIdText = "8f14e45f-ceea-467f-a8f5-2f3b1d0a9c11";
inline constexpr const char* kKeyId = "dev-key-2024";

Bytes filled(std::size_t size, std::uint8_t value);
Bytes from_hex(std::string_view hex);

HostBinding host_binding();
Uuid requester_device_id();
Sha256Digest requester_fingerprint();

// A ticket that passes every rule against expectations() at kNowS.
SessionTicket valid_ticket();
TicketExpectations expectations();

struct KeyPair {
  Ed25519PublicKey public_key{};
  std::array<std::uint8_t, 64> secret_key{};
};

// The same key every run.
KeyPair fixed_key_pair();

Bytes sign(std::span<const std::uint8_t> message, const KeyPair& key);

// The domain-separated signature over a payload.
Bytes sign_ticket_payload(std::span<const std::uint8_t> payload, const KeyPair& key);

// Owns the texts a SessionStartRequest views.
struct StartInputs {
  std::string session_id = kSessionIdText;
  std::string requester_name = "Support desk";
  std::vector<PermissionIndex> permissions;
  std::uint64_t lease_expires_at_ms = kNowMs + 300'000;
  std::string signed_ticket;
  std::string key_id = kKeyId;
  std::string algorithm = "Ed25519";
  std::string public_key;
  std::string encoding = "raw-base64url";

  [[nodiscard]] SessionStartRequest request() const;
};

// A request that check_session_start accepts at kNowMs for host_binding().
StartInputs valid_start_inputs(const SessionTicket& ticket = valid_ticket(),
                               const KeyPair& key = fixed_key_pair());

// Names parameterised cases after their `name` member.
struct CaseName {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
    return info.param.name;
  }
};

// Prints a parameterised case as its name when a case fails (brought into each test
// file's namespace with a using-declaration, so that gtest finds it).
template <class Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string signed_ticket_text(std::span<const std::uint8_t> payload,
                               std::span<const std::uint8_t> signature);

}  // namespace ombrelin::protocol::testing
