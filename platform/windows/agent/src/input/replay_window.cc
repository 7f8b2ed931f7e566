#include "input/replay_window.h"

namespace ombrelin::input {
namespace {

constexpr std::uint64_t kWindowBits = 128;
constexpr std::uint64_t kWordBits = 64;

// bitmap[0] holds bits 0 to 63, bitmap[1] bits 64 to 127.
void shift_left(EventReplayWindow& window, std::uint64_t shift) {
  auto& bits = window.bitmap;
  if (shift >= kWindowBits) {
    bits = {};
  } else if (shift >= kWordBits) {
    bits[1] = bits[0] << (shift - kWordBits);
    bits[0] = 0;
  } else if (shift > 0) {
    bits[1] = (bits[1] << shift) | (bits[0] >> (kWordBits - shift));
    bits[0] <<= shift;
  }
}

}  // namespace

std::expected<void, ReplayRefusal> accept_event_sequence(EventReplayWindow& window,
                                                         std::uint64_t sequence) {
  if (!window.any_accepted) {
    window = {true, sequence, {1, 0}};
    return {};
  }
  if (sequence > window.highest) {
    shift_left(window, sequence - window.highest);
    window.bitmap[0] |= 1;
    window.highest = sequence;
    return {};
  }
  const std::uint64_t distance = window.highest - sequence;
  if (distance >= kWindowBits) {
    return std::unexpected(ReplayRefusal::kTooOld);
  }
  std::uint64_t& word = window.bitmap[distance / kWordBits];
  const std::uint64_t bit = std::uint64_t{1} << (distance % kWordBits);
  if ((word & bit) != 0) {
    return std::unexpected(ReplayRefusal::kReplayed);
  }
  word |= bit;
  return {};
}

}  // namespace ombrelin::input
