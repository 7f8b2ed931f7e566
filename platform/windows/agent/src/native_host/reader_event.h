#pragma once

#include <memory>
#include <variant>

#include "native_protocol/messages.h"

namespace ombrelin::native_host {

struct EndOfInput {};
struct FramingFailure {};

// What the reader thread tells the main loop: one decoded message (moved across
// on the heap), a clean end of input, or the first bad frame.
using ReaderEvent =
    std::variant<std::unique_ptr<native_protocol::IncomingMessage>, EndOfInput, FramingFailure>;

}  // namespace ombrelin::native_host
