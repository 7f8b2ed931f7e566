#pragma once

// Where remote pointer positions land: a fraction of the mapping display
// becomes one of its pixels, and a pixel becomes SendInput's absolute
// coordinate on the primary screen.

#include <cstdint>
#include <optional>

#include "display/display_record.h"

namespace ombrelin::input {

struct PixelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// `value` to the nearest integer, halves away from zero, saturated to the
// signed 32-bit range; NaN becomes 0.
[[nodiscard]] std::int32_t round_saturated(float value);

// `a + b`, saturated to the signed 32-bit range.
[[nodiscard]] std::int32_t add_saturated(std::int32_t a, std::int32_t b);

// The pixel of `display` nearest to `pixel`: remote input never leaves the
// display the local user approved, whatever the arithmetic before gave.
[[nodiscard]] PixelPoint clamp_to_display(PixelPoint pixel, const display::DisplayRecord& display);

// The pixel of `display` that the fractions x and y (0 to 1) stand for: 0 is
// the first column or row, 1 the last; always one of the display's pixels.
[[nodiscard]] PixelPoint map_absolute_point(const display::DisplayRecord& display, float x,
                                            float y);

// The largest absolute coordinate, which stands for the screen's last pixel.
inline constexpr std::int32_t kAbsoluteSpan = 65535;

// SendInput's absolute coordinate of `pixel` on a screen axis `extent` pixels
// long (GetSystemMetrics), so that pixel 0 gives 0 and pixel extent − 1 gives
// 65535, rounded half away from zero and kept within 0..65535: a pixel off the
// primary screen (the screen changed since the display was read) lands on its
// nearest edge rather than on another monitor. None when the extent is below 2:
// 0 means Windows could not tell, and a single pixel leaves nothing to divide
// the range by, so both are treated as an unknown screen.
[[nodiscard]] std::optional<std::int32_t> normalise_absolute(std::int32_t pixel,
                                                             std::int32_t extent);

}  // namespace ombrelin::input
