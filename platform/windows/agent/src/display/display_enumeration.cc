#include "display/display_enumeration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ombrelin::display {
namespace {

using os::DisplayApi;
using os::MonitorHandle;

constexpr std::string_view kMonitorInformationFailed = "Failed to get monitor information.";
constexpr std::string_view kDisplaySettingsFailed = "Failed to get the monitor's display settings.";
constexpr std::string_view kStringConversionFailed = "Failed to convert a Windows string: ";
constexpr std::string_view kWindowsCallFailed = "A Windows API call failed: ";
constexpr std::string_view kInvalidScale = "Windows returned an invalid monitor scale factor";

// The largest mode whose frame a capture could allocate safely.
constexpr std::uint32_t kMaxSide = 16384;
constexpr std::uint64_t kMaxPixels = 0x2000000;
// GetScaleFactorForMonitor percentages: 1 % to 1000 %.
constexpr std::uint32_t kMinScale = 1;
constexpr std::uint32_t kMaxScale = 1000;

DisplayError failed(std::string_view text) {
  return DisplayError::operation_failed(std::string(text));
}

bool mode_fits(const os::DisplayMode& mode) {
  return mode.width >= 1 && mode.width <= kMaxSide && mode.height >= 1 && mode.height <= kMaxSide &&
         static_cast<std::uint64_t>(mode.width) * mode.height <= kMaxPixels;
}

float rotation_degrees(const os::DisplayOrientation& orientation) {
  if ((orientation.fields & os::kModeFieldDisplayOrientation) == 0) {
    return 0;
  }
  switch (orientation.orientation) {
    case os::kOrientation90:
      return 90;
    case os::kOrientation180:
      return 180;
    case os::kOrientation270:
      return 270;
    default:
      return 0;
  }
}

// 0 and 1 both stand for the hardware's default rate, which is unknown here.
float refresh_rate(std::uint32_t frequency) {
  return frequency <= 1 ? 0.0f : static_cast<float>(frequency);
}

// The monitor's friendly name from the active display configuration: the target
// of the first path whose source is this device. Anything missing or failing
// along the way just means there is no friendly name.
std::optional<std::string> friendly_name(DisplayApi& displays, std::string_view device_name) {
  const auto sizes = displays.display_config_sizes();
  if (!sizes) {
    return std::nullopt;
  }
  const auto paths = displays.active_paths(*sizes);
  if (!paths) {
    return std::nullopt;
  }
  for (const os::DisplayPath& path : *paths) {
    const auto source = displays.source_device_name(path.source_adapter, path.source_id);
    if (!source || !source->has_value() || **source != device_name) {
      continue;
    }
    auto target = displays.target_friendly_name(path.target_adapter, path.target_id);
    // An empty name would leave the local user unable to tell which display
    // input lands on; the device name is the better label then.
    if (target && target->has_value() && !(*target)->empty()) {
      return std::move(**target);
    }
  }
  return std::nullopt;
}

std::expected<DisplayRecord, DisplayError> build_record(DisplayApi& displays,
                                                        MonitorHandle monitor) {
  auto device = displays.monitor_device_name(monitor);
  if (!device) {
    return std::unexpected(failed(kMonitorInformationFailed));
  }
  if (!device->has_value()) {
    return std::unexpected(failed(std::string(kStringConversionFailed) + device->error().detail));
  }
  std::string device_name = std::move(**device);

  const auto mode = displays.current_mode(device_name);
  if (!mode) {
    return std::unexpected(failed(kDisplaySettingsFailed));
  }
  if (!mode_fits(*mode)) {
    return std::unexpected(DisplayError::display_too_large());
  }
  const auto placement = displays.monitor_placement(monitor);
  if (!placement) {
    return std::unexpected(failed(placement.error().context));
  }
  const auto orientation = displays.current_orientation(device_name);
  if (!orientation) {
    return std::unexpected(failed(orientation.error().context));
  }
  const auto scale = displays.scale_factor(monitor);
  if (!scale) {
    return std::unexpected(failed(scale.error().context));
  }
  if (*scale < kMinScale || *scale > kMaxScale) {
    return std::unexpected(failed(kInvalidScale));
  }
  auto name = friendly_name(displays, device_name);
  // The refresh rate comes from a fresh read of the mode, after the name search.
  const auto refresh_mode = displays.current_mode(device_name);
  if (!refresh_mode) {
    return std::unexpected(failed(kDisplaySettingsFailed));
  }

  DisplayRecord record;
  record.id = device_name;
  record.name = name ? std::move(*name) : device_name;
  record.device_name = std::move(device_name);
  record.left = placement->left;
  record.top = placement->top;
  record.width = mode->width;
  record.height = mode->height;
  record.rotation = rotation_degrees(*orientation);
  record.scale = static_cast<float>(*scale) / 100.0f;
  record.refresh_rate = refresh_rate(refresh_mode->frequency);
  record.primary = (placement->flags & os::kMonitorFlagPrimary) != 0;
  return record;
}

}  // namespace

std::expected<std::vector<DisplayRecord>, DisplayError> enumerate_displays(DisplayApi& displays) {
  const auto monitors = displays.enumerate_monitors();
  if (!monitors) {
    return std::unexpected(failed(std::string(kWindowsCallFailed) + monitors.error().context));
  }
  std::vector<DisplayRecord> records;
  records.reserve(monitors->size());
  for (const MonitorHandle monitor : *monitors) {
    auto record = build_record(displays, monitor);
    if (!record) {
      return std::unexpected(std::move(record.error()));
    }
    records.push_back(std::move(*record));
  }
  return records;
}

}  // namespace ombrelin::display
