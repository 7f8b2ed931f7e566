// The display calls of user32 and shcore, translated one to one. Texts are
// converted to UTF-8 here; every decision about them is made above the seam.

#include "os/win/display_api_win.h"

#include <windows.h>
// After windows.h:
#include <shellscalingapi.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "os/win/system_message_win.h"
#include "os/win/text_conversion_win.h"

namespace ombrelin::os::win {
namespace {

static_assert(kMonitorFlagPrimary == MONITORINFOF_PRIMARY);
static_assert(kModeFieldDisplayOrientation == DM_DISPLAYORIENTATION);
static_assert(kOrientationDefault == DMDO_DEFAULT && kOrientation90 == DMDO_90 &&
              kOrientation180 == DMDO_180 && kOrientation270 == DMDO_270);
static_assert(sizeof(MONITORINFO) == 40 && sizeof(MONITORINFOEXW) == 104);
static_assert(sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME) == 84);
static_assert(sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME) == 420);

OsError error_for(std::uint32_t code) { return OsError{code, system_message(code)}; }
OsError last_error_message() { return error_for(static_cast<std::uint32_t>(GetLastError())); }

HMONITOR to_native(MonitorHandle monitor) {
  return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(monitor));
}

LUID to_native(AdapterId adapter) { return LUID{adapter.low, adapter.high}; }
AdapterId from_native(LUID adapter) { return AdapterId{adapter.LowPart, adapter.HighPart}; }

// A fixed-size buffer of Windows text, up to its first NUL.
template <std::size_t kSize>
WindowsText text_from(const WCHAR (&buffer)[kSize]) {
  auto text = utf16_to_utf8(std::wstring_view(buffer, wcsnlen(buffer, kSize)));
  if (!text) {
    return std::unexpected(InvalidText{"the text holds an unpaired UTF-16 surrogate"});
  }
  return std::move(*text);
}

// Device names went up as UTF-8 converted from Windows text, so they come back
// down unchanged.
std::expected<std::wstring, OsError> device_name_to_native(std::string_view device_name) {
  auto wide = utf8_to_utf16(device_name);
  if (!wide) {
    return std::unexpected(error_for(ERROR_INVALID_PARAMETER));
  }
  return std::move(*wide);
}

// noexcept: a failed allocation ends the process here instead of unwinding
// through user32's frames.
BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC /*context*/, LPRECT /*clip*/,
                              LPARAM data) noexcept {
  auto* monitors = reinterpret_cast<std::vector<MonitorHandle>*>(data);
  monitors->push_back(static_cast<MonitorHandle>(reinterpret_cast<std::uintptr_t>(monitor)));
  return TRUE;
}

class Win32DisplayApi final : public DisplayApi {
 public:
  std::expected<std::vector<MonitorHandle>, OsError> enumerate_monitors() override {
    std::vector<MonitorHandle> monitors;
    if (!EnumDisplayMonitors(nullptr, nullptr, &collect_monitor,
                             reinterpret_cast<LPARAM>(&monitors))) {
      return std::unexpected(last_error_message());
    }
    return monitors;
  }

  std::expected<WindowsText, OsError> monitor_device_name(MonitorHandle monitor) override {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(to_native(monitor), &info)) {
      return std::unexpected(last_error_message());
    }
    return text_from(info.szDevice);
  }

  std::expected<MonitorPlacement, OsError> monitor_placement(MonitorHandle monitor) override {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(to_native(monitor), &info)) {
      return std::unexpected(last_error_message());
    }
    return MonitorPlacement{info.rcMonitor.left, info.rcMonitor.top, info.dwFlags};
  }

  std::expected<DisplayMode, OsError> current_mode(std::string_view device_name) override {
    const auto device = device_name_to_native(device_name);
    if (!device) {
      return std::unexpected(device.error());
    }
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsW(device->c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
      return std::unexpected(last_error_message());
    }
    return DisplayMode{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency};
  }

  std::expected<DisplayOrientation, OsError> current_orientation(
      std::string_view device_name) override {
    const auto device = device_name_to_native(device_name);
    if (!device) {
      return std::unexpected(device.error());
    }
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsExW(device->c_str(), ENUM_CURRENT_SETTINGS, &mode, 0)) {
      return std::unexpected(last_error_message());
    }
    return DisplayOrientation{mode.dmFields, mode.dmDisplayOrientation};
  }

  std::expected<std::uint32_t, OsError> scale_factor(MonitorHandle monitor) override {
    DEVICE_SCALE_FACTOR scale = DEVICE_SCALE_FACTOR_INVALID;
    const HRESULT result = GetScaleFactorForMonitor(to_native(monitor), &scale);
    if (FAILED(result)) {
      return std::unexpected(error_for(static_cast<std::uint32_t>(result)));
    }
    return static_cast<std::uint32_t>(scale);
  }

  std::expected<DisplayConfigSizes, OsError> display_config_sizes() override {
    UINT32 paths = 0;
    UINT32 modes = 0;
    const LONG result = GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &paths, &modes);
    if (result != ERROR_SUCCESS) {
      return std::unexpected(error_for(static_cast<std::uint32_t>(result)));
    }
    return DisplayConfigSizes{paths, modes};
  }

  std::expected<std::vector<DisplayPath>, OsError> active_paths(DisplayConfigSizes sizes) override {
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(sizes.paths);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(sizes.modes);
    UINT32 path_count = sizes.paths;
    UINT32 mode_count = sizes.modes;
    const LONG result = QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(),
                                           &mode_count, modes.data(), nullptr);
    if (result != ERROR_SUCCESS) {
      return std::unexpected(error_for(static_cast<std::uint32_t>(result)));
    }
    paths.resize(std::min<std::size_t>(path_count, paths.size()));
    std::vector<DisplayPath> out;
    out.reserve(paths.size());
    for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
      out.push_back(DisplayPath{from_native(path.sourceInfo.adapterId), path.sourceInfo.id,
                                from_native(path.targetInfo.adapterId), path.targetInfo.id});
    }
    return out;
  }

  std::expected<WindowsText, OsError> source_device_name(AdapterId adapter,
                                                         std::uint32_t source_id) override {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME request{};
    request.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    request.header.size = sizeof request;
    request.header.adapterId = to_native(adapter);
    request.header.id = source_id;
    const LONG result = DisplayConfigGetDeviceInfo(&request.header);
    if (result != ERROR_SUCCESS) {
      return std::unexpected(error_for(static_cast<std::uint32_t>(result)));
    }
    return text_from(request.viewGdiDeviceName);
  }

  std::expected<WindowsText, OsError> target_friendly_name(AdapterId adapter,
                                                           std::uint32_t target_id) override {
    DISPLAYCONFIG_TARGET_DEVICE_NAME request{};
    request.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    request.header.size = sizeof request;
    request.header.adapterId = to_native(adapter);
    request.header.id = target_id;
    const LONG result = DisplayConfigGetDeviceInfo(&request.header);
    if (result != ERROR_SUCCESS) {
      return std::unexpected(error_for(static_cast<std::uint32_t>(result)));
    }
    return text_from(request.monitorFriendlyDeviceName);
  }
};

}  // namespace

std::unique_ptr<DisplayApi> make_win32_display_api() { return std::make_unique<Win32DisplayApi>(); }

}  // namespace ombrelin::os::win
