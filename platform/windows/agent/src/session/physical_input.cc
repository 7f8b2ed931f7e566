#include "session/physical_input.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>

#include "os/win32_values.h"

namespace ombrelin::session {
namespace {

using os::LowLevelKind;

bool any_held(const std::bitset<256>& keys, std::span<const std::uint8_t> group) {
  return std::ranges::any_of(group, [&](std::uint8_t vk) { return keys[vk]; });
}

}  // namespace

bool EmergencyShortcutWatch::chord_held(const std::bitset<256>& keys) {
  return any_held(keys, os::kVkControlKeys) && any_held(keys, os::kVkAltKeys) &&
         any_held(keys, os::kVkShiftKeys);
}

EmergencyShortcutWatch::Verdict EmergencyShortcutWatch::judge(const os::LowLevelInput& input) {
  if (input.kind != LowLevelKind::kKeyPress && input.kind != LowLevelKind::kKeyRelease) {
    return Verdict::kPass;
  }
  const std::size_t vk = input.vk & 0xFFU;
  const bool down = input.kind == LowLevelKind::kKeyPress;
  Verdict verdict = Verdict::kPass;
  if (vk == os::kVkF12) {
    if (down && !input.injected && chord_held(device_keys_)) {
      // Served here; the hot key need not see it too.
      verdict = Verdict::kStop;
      f12_dropped_ = true;
    } else if (down && input.injected && chord_held(all_keys_)) {
      verdict = Verdict::kDrop;
      f12_dropped_ = true;
    } else if (!down && f12_dropped_) {
      verdict = Verdict::kDrop;
      f12_dropped_ = false;
    }
  }
  if (!input.injected) {
    device_keys_[vk] = down;
  }
  all_keys_[vk] = down;
  return verdict;
}

bool LocalActivityWatch::echoes_injected(os::CursorPoint point) const {
  return std::ranges::any_of(injected_points_, [&](const auto& kept) { return kept == point; });
}

bool LocalActivityWatch::counts(const os::LowLevelInput& input) {
  if (input.kind == LowLevelKind::kMove) {
    if (input.injected) {
      injected_points_[next_injected_point_] = input.point;
      next_injected_point_ = (next_injected_point_ + 1) % kInjectedPointsKept;
    } else if (echoes_injected(input.point)) {
      return false;
    }
    const auto from = std::exchange(last_point_, input.point);
    if (input.injected || !from) {
      travelled_ = 0;  // a remote move is nobody's hand on the mouse
      return false;
    }
    travelled_ += std::max(std::abs(input.point.x - from->x), std::abs(input.point.y - from->y));
    if (travelled_ <= kMovementThreshold) {
      return false;
    }
    travelled_ = 0;
    return true;
  }
  if (input.injected) {
    return false;
  }
  return input.kind == LowLevelKind::kKeyPress || input.kind == LowLevelKind::kButtonPress;
}

}  // namespace ombrelin::session
