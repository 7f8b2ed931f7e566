// Feeds arbitrary bytes to the envelope and payload decoders and checks what must
// hold for every input: no crash, decoding is stable under re-encoding, and the
// canonical decoders accept exactly the inputs that re-encode to themselves.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "ombrelin/protocol/session_ticket.h"
#include "ombrelin/protocol/signed_session_ticket.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ombrelin/protocol/ticket_rules.h"

namespace {

using namespace ombrelin::protocol;

void require(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

void check_envelope(std::span<const std::uint8_t> bytes) {
  const auto canonical = decode_canonical_signed_session_ticket(bytes);
  const auto envelope = decode_signed_session_ticket(bytes);
  if (!envelope) {
    require(!canonical);
    return;
  }
  const Bytes again = encode_signed_session_ticket(*envelope);
  require(again.size() == signed_session_ticket_size(*envelope));
  require(decode_signed_session_ticket(again) == envelope);
  const bool same = std::ranges::equal(again, bytes);
  require(canonical.has_value() == (same && bytes.size() <= kSignedTicketLimit));
}

void check_payload(std::span<const std::uint8_t> bytes) {
  const auto canonical = decode_canonical_session_ticket(bytes);
  const auto ticket = decode_session_ticket(bytes);
  if (!ticket) {
    require(!canonical);
    return;
  }
  const Bytes again = encode_session_ticket(*ticket);
  require(decode_session_ticket(again) == ticket);
  const bool same = std::ranges::equal(again, bytes);
  require(canonical.has_value() == (same && bytes.size() <= kTicketPayloadLimit));
  // The rules must cope with any decoded ticket.
  (void)validate_ticket_fields(*ticket, TicketExpectations{});
}

void check_text(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (const auto decoded = decode_base64url_canonical(text, kSignedTicketLimit)) {
    require(encode_base64url(*decoded) == text);
    check_envelope(*decoded);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  check_envelope(bytes);
  check_payload(bytes);
  check_text(bytes);
  // The payload inside a decodable envelope is what the verifier reads next.
  if (const auto envelope = decode_signed_session_ticket(bytes)) {
    check_payload(envelope->ticket);
  }
  return 0;
}
