#pragma once

// Control messages with v 1, for tests and the fuzzer.

#include <cstdint>
#include <string>
#include <utility>

#include "native_protocol/messages.h"

namespace ombrelin::input::testing {

namespace message {
namespace control = native_protocol::control;
inline control::Pointer pointer(std::uint32_t seq, std::uint8_t buttons = 0, float x = 0.5F,
                                float y = 0.5F) {
  return {1, seq, x, y, buttons};
}
inline control::Scroll scroll(std::uint32_t seq, std::int32_t horizontal, std::int32_t vertical) {
  return {1, seq, horizontal, vertical};
}
inline control::KeyTransition key(std::uint32_t seq, std::string code, bool down,
                                  std::uint8_t modifiers = 0) {
  return {1, seq, std::move(code), down, modifiers};
}
inline control::PauseInput pause(std::uint32_t seq, bool paused) { return {1, seq, paused}; }
inline control::ReleaseAll release_all(std::uint32_t seq) { return {1, seq}; }
inline control::Stop stop(std::uint32_t seq) { return {1, seq}; }
}  // namespace message

}  // namespace ombrelin::input::testing
