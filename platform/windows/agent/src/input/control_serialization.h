#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "native_protocol/messages.h"

namespace ombrelin::input {

// The longest control message, in its canonical form, that the control path
// accepts.
inline constexpr std::size_t kMaxControlMessageBytes = 2048;

// The message as compact JSON in one fixed form: "type", "v", "seq", then the
// variant's members in declaration order; x and y in the shortest text that reads
// back as the same float. The size limit is judged on this text, so a client
// cannot slip past it with whitespace or long number spellings. None when the
// message has no JSON form (a non-finite coordinate, a code that is not UTF-8).
[[nodiscard]] std::optional<std::string> serialize_control_message(
    const native_protocol::ControlMessage& message);

}  // namespace ombrelin::input
