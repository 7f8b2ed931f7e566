// Drives check_session_start with fuzzed request fields. The input is a flags byte
// and length-prefixed fields (see Input below); with the sign flag the fuzzer signs
// the payload itself with a fixed key, so mutations reach the rules behind the
// signature check instead of stopping there.

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ombrelin/protocol/session_start.h"
#include "ombrelin/protocol/signed_session_ticket.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ombrelin/protocol/ticket_verifier.h"

namespace {

using namespace ombrelin::protocol;

// Fixed clock and host; make_seed_corpus.py builds its tickets for these.
constexpr std::uint64_t kNowMs = 1'712'345'678'901;
constexpr std::string_view kHostDevice = "6f1c2b3a-4d5e-4f60-9a7b-8c9d0e1f2a3b";
constexpr std::string_view kHostFingerprint =
    "9b1766c8d10d1816dc62d08c5edd056d27998d4a3cd53121c4f8780b2d1e4123";

constexpr std::uint8_t kSignPayload = 0x01;       // field 5 is a payload to sign
constexpr std::uint8_t kUseFixedKey = 0x02;       // ignore field 6, send the fixed key
constexpr std::uint8_t kFixedKeyMetadata = 0x04;  // algorithm and encoding as required

// Consumes the input front to back; reads past the end yield empty values.
class Input {
 public:
  explicit Input(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const std::uint8_t b = rest_[0];
    rest_ = rest_.subspan(1);
    return b;
  }

  std::string field() {  // two-byte little-endian length, then the bytes
    const std::size_t length = byte() | static_cast<std::size_t>(byte()) << 8;
    const std::size_t taken = length < rest_.size() ? length : rest_.size();
    std::string value(reinterpret_cast<const char*>(rest_.data()), taken);
    rest_ = rest_.subspan(taken);
    return value;
  }

  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(byte()) << (8 * i);
    return value;
  }

 private:
  std::span<const std::uint8_t> rest_;
};

struct FixedKey {
  std::array<std::uint8_t, 32> public_key{};
  std::array<std::uint8_t, 64> secret_key{};
};

const FixedKey& fixed_key() {
  static const FixedKey key = [] {
    FixedKey k;
    std::array<std::uint8_t, 32> seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i);
    crypto_sign_seed_keypair(k.public_key.data(), k.secret_key.data(), seed.data());
    return k;
  }();
  return key;
}

HostBinding host() {
  HostBinding binding;
  binding.device_id = *parse_uuid_text(kHostDevice);
  for (std::size_t i = 0; i < binding.identity_fingerprint.size(); ++i) {
    binding.identity_fingerprint[i] = static_cast<std::uint8_t>(
        std::stoi(std::string(kHostFingerprint.substr(2 * i, 2)), nullptr, 16));
  }
  return binding;
}

Bytes as_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input({data, size});
  const std::uint8_t flags = input.byte();
  const std::string requester_name = input.field();
  const std::string permission_bytes = input.field();
  std::string key_id = input.field();
  const std::string session_id = input.field();
  const std::string ticket = input.field();
  std::string public_key = input.field();
  const std::uint32_t lease_ahead_ms = input.u32();

  std::vector<PermissionIndex> permissions(permission_bytes.begin(), permission_bytes.end());
  std::string signed_ticket;
  if (flags & kSignPayload) {
    const Bytes payload = as_bytes(ticket);
    const Bytes message = ticket_signing_message(payload);
    Bytes signature(crypto_sign_BYTES);
    crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(),
                         fixed_key().secret_key.data());
    signed_ticket = encode_base64url(encode_signed_session_ticket({payload, signature}));
  } else {
    signed_ticket = ticket;  // the text as sent, base64url or not
  }
  if (flags & kUseFixedKey) {
    public_key = encode_base64url(fixed_key().public_key);
  }
  const bool fixed_metadata = flags & kFixedKeyMetadata;

  const SessionStartRequest request{
      .session_id = session_id,
      .requester_name = requester_name,
      .permissions = permissions,
      .lease_expires_at_ms = kNowMs + lease_ahead_ms,
      .signed_ticket = signed_ticket,
      .ticket_key = {key_id, fixed_metadata ? "Ed25519" : "ed25519", public_key,
                     fixed_metadata ? "raw-base64url" : "raw"},
  };
  const auto result = check_session_start(request, host(), kNowMs);
  if (result) {
    // A grant always repeats the page's list and names a view-only-or-more session.
    if (!std::ranges::equal(result->granted_permissions, permissions) ||
        (result->allowed_permissions & 1u) == 0 ||
        result->session_id_text != format_uuid_text(result->session_id)) {
      __builtin_trap();
    }
  }
  return 0;
}
