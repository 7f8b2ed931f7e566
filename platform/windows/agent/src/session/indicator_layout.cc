#include "session/indicator_layout.h"

#include <algorithm>
#include <vector>

namespace ombrelin::session {
namespace {

constexpr std::string_view kRequesterLead = "ACTIVE \u2014 requester: ";
constexpr std::string_view kEllipsis = "\u2026";

// The design, at 96 DPI.
constexpr os::TextSize kWindow = kDesignWindowSize;
constexpr ControlBox kLabel{20, 20, 590, 92};
constexpr ControlBox kStatusLabel{20, 120, 250, 28};
constexpr ControlBox kPauseButton{300, 116, 140, 36};
constexpr ControlBox kStopButton{455, 116, 140, 36};

ControlBox moved_down(ControlBox box, std::int32_t by) {
  box.y += by;
  return box;
}

// Where each character of a UTF-8 text begins, and its end.
std::vector<std::size_t> character_starts(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      starts.push_back(i);
    }
  }
  starts.push_back(text.size());
  return starts;
}

// The requester's line as it fits the label's width on one line: the whole
// name, or its longest beginning that still leaves room for the ellipsis.
std::expected<std::string, os::OsError> fitted_requester_name(std::string_view name,
                                                              std::int32_t width,
                                                              const MeasureText& measure) {
  const auto fits = [&](std::string_view shown) -> std::expected<bool, os::OsError> {
    const auto size =
        measure(std::string(kRequesterLead).append(shown), width, os::TextLayout::kOneLine);
    if (!size) {
      return std::unexpected(size.error());
    }
    return size->width <= width;
  };
  const auto whole = fits(name);
  if (!whole) {
    return std::unexpected(whole.error());
  }
  if (*whole) {
    return std::string(name);
  }
  const std::vector<std::size_t> starts = character_starts(name);
  const auto shortened = [&](std::size_t characters) {
    return std::string(name.substr(0, starts[characters])).append(kEllipsis);
  };
  // The most characters that fit with the ellipsis; none at worst.
  std::size_t fitting = 0;
  std::size_t too_many = starts.size() - 1;
  while (too_many - fitting > 1) {
    const std::size_t middle = fitting + (too_many - fitting) / 2;
    const auto middle_fits = fits(shortened(middle));
    if (!middle_fits) {
      return std::unexpected(middle_fits.error());
    }
    (*middle_fits ? fitting : too_many) = middle;
  }
  return shortened(fitting);
}

}  // namespace

std::string format_indicator_label(std::string_view requester_name,
                                   std::string_view permission_names, std::string_view expires) {
  std::string label(kRequesterLead);
  label.append(requester_name);
  label.append("\r\nGrants: ").append(permission_names);
  label.append("\r\nExpires: ").append(expires);
  label.append("\r\nEmergency Stop: Ctrl+Alt+Shift+F12");
  return label;
}

IndicatorLayout design_layout(std::string label) {
  return {std::move(label), kWindow, kLabel, kStatusLabel, kPauseButton, kStopButton};
}

std::expected<IndicatorLayout, os::OsError> lay_out_indicator(std::string_view requester_name,
                                                              std::string_view permission_names,
                                                              std::string_view expires,
                                                              const MeasureText& measure) {
  const auto name = fitted_requester_name(requester_name, kLabel.width, measure);
  if (!name) {
    return std::unexpected(name.error());
  }
  IndicatorLayout layout = design_layout(format_indicator_label(*name, permission_names, expires));
  const auto needed = measure(layout.label, kLabel.width, os::TextLayout::kWordWrapped);
  if (!needed) {
    return std::unexpected(needed.error());
  }
  // Only ever larger than the design: the buttons keep their places below the
  // label, and the window grows by what the label grew.
  const std::int32_t wider = std::max(needed->width - kLabel.width, 0);
  const std::int32_t taller = std::max(needed->height - kLabel.height, 0);
  layout.window = {kWindow.width + wider, kWindow.height + taller};
  layout.label_box.width += wider;
  layout.label_box.height += taller;
  layout.status_box = moved_down(kStatusLabel, taller);
  layout.pause_box = moved_down(kPauseButton, taller);
  layout.stop_box = moved_down(kStopButton, taller);
  return layout;
}

}  // namespace ombrelin::session
