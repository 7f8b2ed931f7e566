#include "os/sim/desktop_description.h"

#include <algorithm>
#include <array>
#include <utility>

#include "json/strict_json.h"

namespace ombrelin::os::sim {
namespace {

using json::StrictObject;
using Element = simdjson::dom::element;

// Reads optional members one at a time; the first wrong one spoils the whole
// description, and `ok()` tells at the end.
class MemberReader {
 public:
  explicit MemberReader(StrictObject& object) : object_(object) {}

  template <std::integral T>
  void integer(std::string_view name, T& out, T min = std::numeric_limits<T>::min(),
               T max = std::numeric_limits<T>::max()) {
    if (const auto value = object_.take_if_present(name)) {
      read_integer(*value, out, min, max);
    }
  }

  template <std::integral T>
  void required_integer(std::string_view name, T& out, T min, T max) {
    if (const auto value = object_.take_if_present(name)) {
      read_integer(*value, out, min, max);
    } else {
      ok_ = false;
    }
  }

  void boolean(std::string_view name, bool& out, bool required = false) {
    const auto value = object_.take_if_present(name);
    if (!value) {
      ok_ = ok_ && !required;
      return;
    }
    ok_ = ok_ && value->get_bool().get(out) == simdjson::SUCCESS;
  }

  // A member that is a string, or (when `nullable`) null.
  std::optional<std::string> text(std::string_view name, bool required, bool nullable) {
    const auto value = object_.take_if_present(name);
    if (!value) {
      ok_ = ok_ && !required;
      return std::nullopt;
    }
    if (nullable && value->is_null()) {
      return std::nullopt;
    }
    auto read = StrictObject::read_string(*value);
    ok_ = ok_ && read.has_value();
    return read ? std::optional(std::move(*read)) : std::nullopt;
  }

  std::optional<Element> element(std::string_view name) { return object_.take_if_present(name); }

  void fail() { ok_ = false; }
  [[nodiscard]] bool ok() const { return ok_ && object_.finish().has_value(); }

 private:
  template <std::integral T>
  void read_integer(Element value, T& out, T min, T max) {
    const auto read = StrictObject::read_integer<T>(value);
    if (!read || *read < min || *read > max) {
      ok_ = false;
      return;
    }
    out = *read;
  }

  StrictObject& object_;
  bool ok_ = true;
};

template <typename Enum, std::size_t N>
std::optional<Enum> parse_choice(const std::optional<std::string>& text,
                                 const std::array<std::pair<std::string_view, Enum>, N>& choices) {
  if (!text) {
    return std::nullopt;
  }
  const auto found = std::ranges::find(choices, *text, &std::pair<std::string_view, Enum>::first);
  return found == choices.end() ? std::nullopt : std::optional(found->second);
}

constexpr std::array<std::pair<std::string_view, MonitorFailure>, 5> kMonitorFailures{{
    {"monitorInfoEx", MonitorFailure::kMonitorInfoEx},
    {"displaySettings", MonitorFailure::kDisplaySettings},
    {"monitorInfo", MonitorFailure::kMonitorInfo},
    {"settingsEx", MonitorFailure::kSettingsEx},
    {"scale", MonitorFailure::kScale},
}};

constexpr std::array<std::pair<std::string_view, IndicatorFailure>, 9> kIndicatorFailures{{
    {"thread", IndicatorFailure::kThread},
    {"module", IndicatorFailure::kModule},
    {"cursor", IndicatorFailure::kCursor},
    {"class", IndicatorFailure::kClass},
    {"main-window", IndicatorFailure::kMainWindow},
    {"label", IndicatorFailure::kLabel},
    {"status-label", IndicatorFailure::kStatusLabel},
    {"pause-button", IndicatorFailure::kPauseButton},
    {"stop-button", IndicatorFailure::kStopButton},
}};

constexpr std::array<std::pair<std::string_view, ConsentAnswer>, 5> kConsentAnswers{{
    {"yes", ConsentAnswer::kYes},
    {"no", ConsentAnswer::kNo},
    {"error", ConsentAnswer::kError},
    {"none", ConsentAnswer::kNone},
    {"injected-yes", ConsentAnswer::kInjectedYes},
}};

constexpr auto kMaxInt32 = std::numeric_limits<std::int32_t>::max();
constexpr auto kMaxUnsigned = static_cast<std::uint32_t>(kMaxInt32);

std::optional<SimulatedMonitor> parse_monitor(Element value) {
  auto object = StrictObject::open(value);
  if (!object) {
    return std::nullopt;
  }
  MemberReader read(*object);
  SimulatedMonitor monitor;
  auto device = read.text("device", true, false);
  monitor.friendly_name = read.text("friendlyName", false, true);
  read.required_integer("left", monitor.left, std::numeric_limits<std::int32_t>::min(), kMaxInt32);
  read.required_integer("top", monitor.top, std::numeric_limits<std::int32_t>::min(), kMaxInt32);
  read.required_integer("width", monitor.width, 0u, kMaxUnsigned);
  read.required_integer("height", monitor.height, 0u, kMaxUnsigned);
  read.required_integer("orientation", monitor.orientation, 0u, 3u);
  read.required_integer("frequency", monitor.frequency, 0u, kMaxUnsigned);
  read.required_integer("scale", monitor.scale, 0u, kMaxUnsigned);
  read.boolean("primary", monitor.primary, true);
  if (const auto fails = read.text("fails", false, false)) {
    monitor.fails = parse_choice(fails, kMonitorFailures);
    if (!monitor.fails) {
      read.fail();
    }
  }
  if (!read.ok() || !device) {
    return std::nullopt;
  }
  monitor.device = std::move(*device);
  return monitor;
}

template <typename Point, typename Field>
bool parse_pair(Element value, std::string_view first, std::string_view second, Point& out,
                Field Point::*first_field, Field Point::*second_field, Field min) {
  auto object = StrictObject::open(value);
  if (!object) {
    return false;
  }
  MemberReader read(*object);
  read.required_integer(first, out.*first_field, min, kMaxInt32);
  read.required_integer(second, out.*second_field, min, kMaxInt32);
  return read.ok();
}

bool parse_consent(Element value, std::vector<ConsentAnswer>& out) {
  simdjson::dom::array answers;
  if (value.get_array().get(answers) != simdjson::SUCCESS) {
    return false;
  }
  for (const Element item : answers) {
    const auto answer = parse_choice(
        std::optional(StrictObject::read_string(item).value_or(std::string{})), kConsentAnswers);
    if (!answer) {
      return false;
    }
    out.push_back(*answer);
  }
  return true;
}

bool parse_monitors(Element value, std::vector<SimulatedMonitor>& out) {
  simdjson::dom::array monitors;
  if (value.get_array().get(monitors) != simdjson::SUCCESS) {
    return false;
  }
  out.clear();
  for (const Element item : monitors) {
    auto monitor = parse_monitor(item);
    if (!monitor) {
      return false;
    }
    out.push_back(std::move(*monitor));
  }
  return true;
}

// One display configuration of `displayChanges`: its monitors and, optionally,
// the screen size.
bool parse_display_changes(Element value, std::vector<DisplayConfiguration>& out) {
  simdjson::dom::array changes;
  if (value.get_array().get(changes) != simdjson::SUCCESS) {
    return false;
  }
  for (const Element item : changes) {
    auto object = StrictObject::open(item);
    if (!object) {
      return false;
    }
    MemberReader read(*object);
    DisplayConfiguration configuration;
    const auto monitors = read.element("monitors");
    if (!monitors || !parse_monitors(*monitors, configuration.monitors)) {
      return false;
    }
    if (const auto screen = read.element("screen")) {
      ScreenSize size;
      if (!parse_pair(*screen, "cx", "cy", size, &ScreenSize::cx, &ScreenSize::cy, 0)) {
        return false;
      }
      configuration.screen = size;
    }
    if (!read.ok()) {
      return false;
    }
    out.push_back(std::move(configuration));
  }
  return true;
}

}  // namespace

ScreenSize DisplayConfiguration::screen_size() const {
  if (screen) {
    return *screen;
  }
  const auto primary = std::ranges::find_if(monitors, &SimulatedMonitor::primary);
  if (primary == monitors.end()) {
    return {};
  }
  return {static_cast<std::int32_t>(primary->width), static_cast<std::int32_t>(primary->height)};
}

DesktopDescription DesktopDescription::standard() {
  DesktopDescription description;
  description.monitors.push_back(SimulatedMonitor{
      .device = "\\\\.\\DISPLAY1",
      .friendly_name = "Simulated Display",
      .left = 0,
      .top = 0,
      .width = 1920,
      .height = 1080,
      .orientation = 0,
      .frequency = 60,
      .scale = 100,
      .primary = true,
      .fails = std::nullopt,
  });
  return description;
}

ScreenSize DesktopDescription::screen_size() const {
  return DisplayConfiguration{monitors, screen}.screen_size();
}

std::expected<DesktopDescription, DescriptionError> parse_desktop_description(
    std::string_view text) {
  json::DocumentParser parser;
  const auto root = parser.parse(text);
  if (!root) {
    return std::unexpected(DescriptionError{});
  }
  auto object = StrictObject::open(*root);
  if (!object) {
    return std::unexpected(DescriptionError{});
  }
  DesktopDescription description = DesktopDescription::standard();
  MemberReader read(*object);
  if (const auto monitors = read.element("monitors");
      monitors && !parse_monitors(*monitors, description.monitors)) {
    read.fail();
  }
  read.boolean("enumFails", description.enum_fails);
  read.boolean("displayConfigFails", description.display_config_fails);
  if (const auto screen = read.element("screen")) {
    ScreenSize size;
    if (!parse_pair(*screen, "cx", "cy", size, &ScreenSize::cx, &ScreenSize::cy, 0)) {
      read.fail();
    }
    description.screen = size;
  }
  if (const auto cursor = read.element("cursor");
      cursor && !parse_pair(*cursor, "x", "y", description.cursor, &CursorPosition::x,
                            &CursorPosition::y, std::numeric_limits<std::int32_t>::min())) {
    read.fail();
  }
  if (const auto consent = read.element("consent");
      consent && !parse_consent(*consent, description.consent)) {
    read.fail();
  }
  read.boolean("hotkeyTaken", description.hotkey_taken);
  read.boolean("randomFails", description.random_fails);
  if (const auto fails_after = read.element("sendInputFailsAfter");
      fails_after && !fails_after->is_null()) {
    const auto count = StrictObject::read_integer<std::uint64_t>(*fails_after);
    if (!count) {
      read.fail();
    }
    description.send_input_fails_after = count.value_or(0);
  }
  read.boolean("cursorFails", description.cursor_fails);
  read.integer("indicatorStartDelayMs", description.indicator_start_delay_ms);
  if (const auto fails = read.text("indicatorFails", false, false)) {
    description.indicator_fails = parse_choice(fails, kIndicatorFailures);
    if (!description.indicator_fails) {
      read.fail();
    }
  }
  read.integer("clockOffsetMs", description.clock_offset_ms);
  if (const auto changes = read.element("displayChanges");
      changes && !parse_display_changes(*changes, description.display_changes)) {
    read.fail();
  }
  read.boolean("swapButtons", description.swap_buttons);
  read.boolean("startHidden", description.start_hidden);
  // Local time lies within a day of UTC.
  read.integer("utcOffsetMinutes", description.utc_offset_minutes, -1439, 1439);
  if (const auto timeout = read.element("consentTimeoutMs")) {
    const auto value = StrictObject::read_integer<std::uint32_t>(*timeout);
    if (!value) {
      read.fail();
    }
    description.consent_timeout_ms = value.value_or(0);
  }
  if (!read.ok()) {
    return std::unexpected(DescriptionError{});
  }
  return description;
}

}  // namespace ombrelin::os::sim
