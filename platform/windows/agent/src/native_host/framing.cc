#include "native_host/framing.h"

#include <array>
#include <vector>

namespace ombrelin::native_host {

bool FrameReader::read_exactly(std::span<std::uint8_t> out) {
  while (!out.empty()) {
    const auto count = input_.read_some(out);
    if (!count || *count == 0) {
      return false;
    }
    out = out.subspan(*count);
  }
  return true;
}

ReaderEvent FrameReader::read_frame() {
  std::array<std::uint8_t, 4> prefix{};
  // Only a stream that ends before the first length byte ends cleanly.
  const auto first = input_.read_some(std::span(prefix).first(1));
  if (!first) {
    return FramingFailure{};
  }
  if (*first == 0) {
    return EndOfInput{};
  }
  if (!read_exactly(std::span(prefix).subspan(1))) {
    return FramingFailure{};
  }
  const std::uint32_t length =
      static_cast<std::uint32_t>(prefix[0]) | static_cast<std::uint32_t>(prefix[1]) << 8 |
      static_cast<std::uint32_t>(prefix[2]) << 16 | static_cast<std::uint32_t>(prefix[3]) << 24;
  if (length == 0 || length > kMaxFrameBytes) {
    return FramingFailure{};
  }
  // The parser reads a few bytes past the document; the padding is never filled.
  std::vector<std::uint8_t> body(length + json::DocumentParser::kPadding);
  if (!read_exactly(std::span(body).first(length))) {
    return FramingFailure{};
  }
  auto message =
      decoder_.decode_padded(std::string_view(reinterpret_cast<const char*>(body.data()), length));
  if (!message) {
    return FramingFailure{};
  }
  return std::make_unique<native_protocol::IncomingMessage>(std::move(*message));
}

std::expected<void, FatalError> FrameWriter::write(const native_protocol::Serialized& body) {
  if (!body) {
    return std::unexpected(FatalError::of(FatalKind::kResponseSerializationFailed));
  }
  if (body->empty() || body->size() > kMaxFrameBytes) {
    return std::unexpected(FatalError::of(FatalKind::kResponseSizeInvalid));
  }
  const auto length = static_cast<std::uint32_t>(body->size());
  const std::array<std::uint8_t, 4> prefix{
      static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
      static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(body->data()), body->size());
  auto written = output_.write_all(prefix);
  if (written) {
    written = output_.write_all(bytes);
  }
  if (written) {
    written = output_.flush();
  }
  if (!written) {
    return std::unexpected(FatalError::from(std::move(written.error())));
  }
  return {};
}

}  // namespace ombrelin::native_host
