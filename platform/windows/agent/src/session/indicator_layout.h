#pragma once

// The indicator's label and where its controls go. The window is designed at
// 96 DPI for a short label; a label that needs more room than that grows the
// window, so that every line of it can be read whatever the font and the texts.

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "os/os_error.h"
#include "os/window_system.h"

namespace ombrelin::session {

// The label's four lines: who, what, until when, and the emergency stop.
[[nodiscard]] std::string format_indicator_label(std::string_view requester_name,
                                                 std::string_view permission_names,
                                                 std::string_view expires);

struct ControlBox {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;

  bool operator==(const ControlBox&) const = default;
};

struct IndicatorLayout {
  std::string label;  // the requester name shortened to its line when too long
  os::TextSize window;
  ControlBox label_box;
  ControlBox status_box;
  ControlBox pause_box;
  ControlBox stop_box;
};

// The main window's size in the design.
inline constexpr os::TextSize kDesignWindowSize{640, 230};

// The window and the controls for a label that fits the design.
[[nodiscard]] IndicatorLayout design_layout(std::string label);

// Measures a text in the label's font, as the window system's measure_text.
using MeasureText = std::function<std::expected<os::TextSize, os::OsError>(
    std::string_view text, std::int32_t width, os::TextLayout layout)>;

// The layout for these texts: a requester name too long for the first line is
// cut short with an ellipsis (the other lines are never cut), and the label is
// made as tall and as wide as its text needs, the window with it.
[[nodiscard]] std::expected<IndicatorLayout, os::OsError> lay_out_indicator(
    std::string_view requester_name, std::string_view permission_names, std::string_view expires,
    const MeasureText& measure);

}  // namespace ombrelin::session
