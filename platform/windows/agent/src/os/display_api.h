#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "os/os_error.h"

namespace ombrelin::os {

// A monitor as Windows names it (an HMONITOR value). Only meaningful to the
// DisplayApi that handed it out, and only until the display layout changes.
enum class MonitorHandle : std::uintptr_t {};

// Why a text from Windows could not be turned into UTF-8 (it holds an unpaired
// surrogate).
struct InvalidText {
  std::string detail;
};

// A text that Windows reported, as UTF-8, or why it is not text.
using WindowsText = std::expected<std::string, InvalidText>;

// MONITORINFO.dwFlags value of the primary monitor.
inline constexpr std::uint32_t kMonitorFlagPrimary = 1;
// DEVMODEW.dmFields bit saying dmDisplayOrientation is set.
inline constexpr std::uint32_t kModeFieldDisplayOrientation = 0x00000080;
// DEVMODEW.dmDisplayOrientation values.
inline constexpr std::uint32_t kOrientationDefault = 0;
inline constexpr std::uint32_t kOrientation90 = 1;
inline constexpr std::uint32_t kOrientation180 = 2;
inline constexpr std::uint32_t kOrientation270 = 3;

// The current display mode (EnumDisplaySettingsW with ENUM_CURRENT_SETTINGS).
struct DisplayMode {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t frequency = 0;  // hertz; 0 or 1 mean "the hardware default"
};

// The orientation part of the current mode (EnumDisplaySettingsExW).
struct DisplayOrientation {
  std::uint32_t fields = 0;  // dmFields
  std::uint32_t orientation = 0;
};

// GetMonitorInfoW with a MONITORINFO.
struct MonitorPlacement {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::uint32_t flags = 0;
};

// A graphics adapter's LUID.
struct AdapterId {
  std::uint32_t low = 0;
  std::int32_t high = 0;
  bool operator==(const AdapterId&) const = default;
};

// The identifiers of one active display configuration path.
struct DisplayPath {
  AdapterId source_adapter;
  std::uint32_t source_id = 0;
  AdapterId target_adapter;
  std::uint32_t target_id = 0;
};

// Room needed for the active display configuration.
struct DisplayConfigSizes {
  std::uint32_t paths = 0;
  std::uint32_t modes = 0;
};

// The raw display calls of Windows, one member per call. A failed call carries
// the system's formatted message in OsError::context. Device names passed in are
// the UTF-8 texts that monitor_device_name returned.
class DisplayApi {
 public:
  virtual ~DisplayApi() = default;

  // EnumDisplayMonitors over the whole desktop, in the order Windows reports.
  [[nodiscard]] virtual std::expected<std::vector<MonitorHandle>, OsError> enumerate_monitors() = 0;
  // GetMonitorInfoW with a MONITORINFOEXW: szDevice, such as \\.\DISPLAY1.
  [[nodiscard]] virtual std::expected<WindowsText, OsError> monitor_device_name(
      MonitorHandle monitor) = 0;
  // GetMonitorInfoW with a MONITORINFO.
  [[nodiscard]] virtual std::expected<MonitorPlacement, OsError> monitor_placement(
      MonitorHandle monitor) = 0;
  // EnumDisplaySettingsW(device, ENUM_CURRENT_SETTINGS).
  [[nodiscard]] virtual std::expected<DisplayMode, OsError> current_mode(
      std::string_view device_name) = 0;
  // EnumDisplaySettingsExW(device, ENUM_CURRENT_SETTINGS, 0).
  [[nodiscard]] virtual std::expected<DisplayOrientation, OsError> current_orientation(
      std::string_view device_name) = 0;
  // GetScaleFactorForMonitor: a percentage such as 150.
  [[nodiscard]] virtual std::expected<std::uint32_t, OsError> scale_factor(
      MonitorHandle monitor) = 0;
  // GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS).
  [[nodiscard]] virtual std::expected<DisplayConfigSizes, OsError> display_config_sizes() = 0;
  // QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS) into arrays of the given sizes.
  [[nodiscard]] virtual std::expected<std::vector<DisplayPath>, OsError> active_paths(
      DisplayConfigSizes sizes) = 0;
  // DisplayConfigGetDeviceInfo, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME: the
  // source's GDI device name.
  [[nodiscard]] virtual std::expected<WindowsText, OsError> source_device_name(
      AdapterId adapter, std::uint32_t source_id) = 0;
  // DisplayConfigGetDeviceInfo, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME: the
  // monitor's friendly name.
  [[nodiscard]] virtual std::expected<WindowsText, OsError> target_friendly_name(
      AdapterId adapter, std::uint32_t target_id) = 0;
};

}  // namespace ombrelin::os
