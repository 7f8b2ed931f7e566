#include "os/sim/text_measure.h"

#include <algorithm>
#include <vector>

namespace ombrelin::os::sim {
namespace {

bool starts_character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

std::int32_t characters(std::string_view text) {
  return static_cast<std::int32_t>(std::ranges::count_if(text, starts_character));
}

// The widths, in characters, of the lines one paragraph is broken into.
void wrap_paragraph(std::string_view paragraph, std::int32_t width_characters,
                    std::vector<std::int32_t>& lines) {
  std::int32_t line = 0;
  std::int32_t spaces = 0;
  bool has_word = false;
  bool at_start = true;
  std::size_t i = 0;
  while (i < paragraph.size()) {
    if (paragraph[i] == ' ') {
      ++spaces;
      ++i;
      continue;
    }
    const std::size_t end = std::min(paragraph.find(' ', i), paragraph.size());
    const std::int32_t word = characters(paragraph.substr(i, end - i));
    if (!has_word) {
      line = (at_start ? spaces : 0) + word;  // leading spaces stay
      has_word = true;
    } else if (line + spaces + word <= width_characters) {
      line += spaces + word;
    } else {
      lines.push_back(line);
      line = word;
    }
    spaces = 0;
    at_start = false;
    i = end;
  }
  lines.push_back(has_word ? line : spaces);
}

}  // namespace

TextSize measure_fixed_width(std::string_view text, std::int32_t width, TextLayout layout) {
  if (layout == TextLayout::kOneLine) {
    return {characters(text) * kCharacterWidth, kLineHeight};
  }
  std::vector<std::int32_t> lines;
  const std::int32_t width_characters = width / kCharacterWidth;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find_first_of("\r\n", start);
    wrap_paragraph(text.substr(start, end == std::string_view::npos ? end : end - start),
                   width_characters, lines);
    if (end == std::string_view::npos) {
      break;
    }
    start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
  }
  return {std::ranges::max(lines) * kCharacterWidth,
          static_cast<std::int32_t>(lines.size()) * kLineHeight};
}

}  // namespace ombrelin::os::sim
