#pragma once

// How the simulated desktop measures text: a fixed-width font, so that tests
// can tell what a layout needs without a real one. At 96 DPI every character
// (Unicode code point) is kCharacterWidth wide and every line kLineHeight high,
// whatever the font. Lines end at CR LF (or a lone CR or LF). Word-wrapped, a
// line is broken before the word that would pass the width; the spaces at a
// break take no room, and a word wider than the width keeps a line of its own
// and widens the text.

#include <cstdint>
#include <string_view>

#include "os/window_system.h"

namespace ombrelin::os::sim {

inline constexpr std::int32_t kCharacterWidth = 7;
inline constexpr std::int32_t kLineHeight = 16;

[[nodiscard]] TextSize measure_fixed_width(std::string_view text, std::int32_t width,
                                           TextLayout layout);

}  // namespace ombrelin::os::sim
