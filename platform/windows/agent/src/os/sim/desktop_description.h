#pragma once

// The simulated desktop's description file: what the simulated Windows calls
// report and how the simulated local user answers. Read once at start.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelin::os::sim {

// The one call that fails for a monitor.
enum class MonitorFailure : std::uint8_t {
  kMonitorInfoEx,
  kDisplaySettings,
  kMonitorInfo,
  kSettingsEx,
  kScale,
};

struct SimulatedMonitor {
  std::string device;
  std::optional<std::string> friendly_name;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t orientation = 0;  // DMDO value, 0 to 3
  std::uint32_t frequency = 0;
  std::uint32_t scale = 0;
  bool primary = false;
  std::optional<MonitorFailure> fails;
};

// The step of the indicator's start that fails.
enum class IndicatorFailure : std::uint8_t {
  kThread,
  kModule,
  kCursor,
  kClass,
  kMainWindow,
  kLabel,
  kStatusLabel,
  kPauseButton,
  kStopButton,
};

struct ScreenSize {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
};

struct CursorPosition {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The monitors and the screen size of one display configuration.
struct DisplayConfiguration {
  std::vector<SimulatedMonitor> monitors;
  std::optional<ScreenSize> screen;  // none: the primary monitor's size

  // The screen size that GetSystemMetrics reports.
  [[nodiscard]] ScreenSize screen_size() const;
};

// The answer of one consent message box: Yes, No, the box not shown (0), no
// answer at all (the box stays open until the agent closes it), or a click on
// Yes injected by another program (an answer only if it reaches the box).
enum class ConsentAnswer : std::uint8_t { kYes, kNo, kError, kNone, kInjectedYes };

struct DesktopDescription {
  std::vector<SimulatedMonitor> monitors;
  bool enum_fails = false;
  bool display_config_fails = false;
  std::optional<ScreenSize> screen;  // none: the primary monitor's size
  // Applied one at a time by the action line `display-change`.
  std::vector<DisplayConfiguration> display_changes;
  bool swap_buttons = false;            // GetSystemMetrics(SM_SWAPBUTTON)
  bool start_hidden = false;            // the process was started with SW_HIDE
  std::int32_t utc_offset_minutes = 0;  // local time's offset from UTC
  // How long a consent box waits for an answer before the agent's limit; none:
  // the agent's own limit.
  std::optional<std::uint32_t> consent_timeout_ms;
  CursorPosition cursor;
  std::vector<ConsentAnswer> consent;
  bool hotkey_taken = false;
  bool random_fails = false;
  std::optional<std::uint64_t> send_input_fails_after;
  bool cursor_fails = false;
  std::uint32_t indicator_start_delay_ms = 0;
  std::optional<IndicatorFailure> indicator_fails;
  std::int64_t clock_offset_ms = 0;

  // The description used when no file is given: one 1920 x 1080 primary monitor.
  [[nodiscard]] static DesktopDescription standard();
  // The screen size that GetSystemMetrics reports at start.
  [[nodiscard]] ScreenSize screen_size() const;
};

struct DescriptionError {};

// Strict: unknown members, wrong JSON types and values out of range are refused.
[[nodiscard]] std::expected<DesktopDescription, DescriptionError> parse_desktop_description(
    std::string_view json);

}  // namespace ombrelin::os::sim
