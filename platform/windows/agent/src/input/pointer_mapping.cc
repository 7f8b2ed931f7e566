#include "input/pointer_mapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ombrelin::input {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp(value, kInt32Min, kInt32Max));
}

// The last index along an axis of `size` pixels; 0 for an empty axis.
float last_index(std::uint32_t size) { return static_cast<float>(size == 0 ? 0 : size - 1); }

}  // namespace

std::int32_t round_saturated(float value) {
  if (std::isnan(value)) {
    return 0;
  }
  // std::round rounds halves away from zero. Both bounds are exact in float.
  const float rounded = std::round(value);
  if (rounded >= static_cast<float>(kInt32Max)) {
    return static_cast<std::int32_t>(kInt32Max);
  }
  if (rounded <= static_cast<float>(kInt32Min)) {
    return static_cast<std::int32_t>(kInt32Min);
  }
  return static_cast<std::int32_t>(rounded);
}

std::int32_t add_saturated(std::int32_t a, std::int32_t b) {
  return saturate(std::int64_t{a} + std::int64_t{b});
}

PixelPoint clamp_to_display(PixelPoint pixel, const display::DisplayRecord& display) {
  // An empty display still has its origin, so the range is never inverted.
  const auto clamp_axis = [](std::int32_t value, std::int32_t origin, std::uint32_t size) {
    const std::int64_t last = std::int64_t{origin} + (size == 0 ? 0 : std::int64_t{size} - 1);
    return saturate(std::clamp<std::int64_t>(value, origin, last));
  };
  return PixelPoint{clamp_axis(pixel.x, display.left, display.width),
                    clamp_axis(pixel.y, display.top, display.height)};
}

PixelPoint map_absolute_point(const display::DisplayRecord& display, float x, float y) {
  // Products in float, like the fractions: a double product could land on the
  // other side of a half and pick the neighbouring pixel.
  const float fx = last_index(display.width) * x;
  const float fy = last_index(display.height) * y;
  return clamp_to_display(PixelPoint{add_saturated(display.left, round_saturated(fx)),
                                     add_saturated(display.top, round_saturated(fy))},
                          display);
}

std::optional<std::int32_t> normalise_absolute(std::int32_t pixel, std::int32_t extent) {
  if (extent < 2) {
    return std::nullopt;
  }
  const std::int64_t span = std::int64_t{extent} - 1;
  const std::int64_t scaled = std::int64_t{pixel} * kAbsoluteSpan;
  // Adding half the divisor before truncating division rounds half away from zero.
  const std::int64_t half = span / 2;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>((scaled + (scaled < 0 ? -half : half)) / span, 0, kAbsoluteSpan));
}

}  // namespace ombrelin::input
