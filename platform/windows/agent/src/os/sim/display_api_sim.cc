#include "os/sim/display_api_sim.h"

#include <algorithm>
#include <optional>

namespace ombrelin::os::sim {
namespace {

// Windows error codes, with the messages Windows gives for them.
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorInvalidMonitorHandle = 1461;
constexpr std::uint32_t kInvalidArgument = 0x80070057;  // E_INVALIDARG

// The one graphics adapter that drives every simulated monitor.
constexpr AdapterId kAdapter{0x1234, 0};
// Target ids are set apart from source ids, as on real adapters.
constexpr std::uint32_t kFirstTargetId = 0x100;

OsError invalid_monitor_handle() {
  return OsError{kErrorInvalidMonitorHandle, "Invalid monitor handle."};
}
OsError device_failure() {
  return OsError{kErrorGenFailure, "A device attached to the system is not functioning."};
}
OsError invalid_parameter() {
  return OsError{kErrorInvalidParameter, "The parameter is incorrect."};
}

class SimulatedDisplayApi final : public DisplayApi {
 public:
  SimulatedDisplayApi(const DesktopDescription& description, const DesktopState& state)
      : state_(state),
        enum_fails_(description.enum_fails),
        display_config_fails_(description.display_config_fails) {}

  std::expected<std::vector<MonitorHandle>, OsError> enumerate_monitors() override {
    if (enum_fails_) {
      return std::unexpected(device_failure());
    }
    std::vector<MonitorHandle> handles;
    for (std::size_t index = 0; index < state_.monitors().size(); ++index) {
      handles.push_back(static_cast<MonitorHandle>(index + 1));
    }
    return handles;
  }

  std::expected<WindowsText, OsError> monitor_device_name(MonitorHandle handle) override {
    const std::optional<SimulatedMonitor> monitor =
        by_handle(handle, MonitorFailure::kMonitorInfoEx);
    if (!monitor) {
      return std::unexpected(invalid_monitor_handle());
    }
    return WindowsText(monitor->device);
  }

  std::expected<MonitorPlacement, OsError> monitor_placement(MonitorHandle handle) override {
    const std::optional<SimulatedMonitor> monitor = by_handle(handle, MonitorFailure::kMonitorInfo);
    if (!monitor) {
      return std::unexpected(invalid_monitor_handle());
    }
    return MonitorPlacement{monitor->left, monitor->top,
                            monitor->primary ? kMonitorFlagPrimary : 0};
  }

  std::expected<DisplayMode, OsError> current_mode(std::string_view device_name) override {
    const std::optional<SimulatedMonitor> monitor =
        by_device(device_name, MonitorFailure::kDisplaySettings);
    if (!monitor) {
      return std::unexpected(device_failure());
    }
    return DisplayMode{monitor->width, monitor->height, monitor->frequency};
  }

  std::expected<DisplayOrientation, OsError> current_orientation(
      std::string_view device_name) override {
    const std::optional<SimulatedMonitor> monitor =
        by_device(device_name, MonitorFailure::kSettingsEx);
    if (!monitor) {
      return std::unexpected(device_failure());
    }
    return DisplayOrientation{kModeFieldDisplayOrientation, monitor->orientation};
  }

  std::expected<std::uint32_t, OsError> scale_factor(MonitorHandle handle) override {
    const std::optional<SimulatedMonitor> monitor = by_handle(handle, MonitorFailure::kScale);
    if (!monitor) {
      return std::unexpected(OsError{kInvalidArgument, "The parameter is incorrect."});
    }
    return monitor->scale;
  }

  std::expected<DisplayConfigSizes, OsError> display_config_sizes() override {
    if (display_config_fails_) {
      return std::unexpected(OsError{kErrorAccessDenied, "Access is denied."});
    }
    // One source mode and one target mode per path.
    const auto paths = static_cast<std::uint32_t>(state_.monitors().size());
    return DisplayConfigSizes{paths, 2 * paths};
  }

  std::expected<std::vector<DisplayPath>, OsError> active_paths(DisplayConfigSizes sizes) override {
    const std::size_t count = state_.monitors().size();
    if (sizes.paths < count || sizes.modes < 2 * count) {
      return std::unexpected(
          OsError{kErrorInsufficientBuffer, "The data area passed to a system call is too small."});
    }
    std::vector<DisplayPath> paths;
    for (std::uint32_t index = 0; index < count; ++index) {
      paths.push_back(DisplayPath{kAdapter, index, kAdapter, kFirstTargetId + index});
    }
    return paths;
  }

  std::expected<WindowsText, OsError> source_device_name(AdapterId adapter,
                                                         std::uint32_t source_id) override {
    const std::vector<SimulatedMonitor> monitors = state_.monitors();
    if (adapter != kAdapter || source_id >= monitors.size()) {
      return std::unexpected(invalid_parameter());
    }
    return WindowsText(monitors[source_id].device);
  }

  // A monitor without a friendly name in the description answers like a target
  // whose name Windows cannot read.
  std::expected<WindowsText, OsError> target_friendly_name(AdapterId adapter,
                                                           std::uint32_t target_id) override {
    const std::vector<SimulatedMonitor> monitors = state_.monitors();
    if (adapter != kAdapter || target_id < kFirstTargetId ||
        target_id - kFirstTargetId >= monitors.size()) {
      return std::unexpected(invalid_parameter());
    }
    const SimulatedMonitor& monitor = monitors[target_id - kFirstTargetId];
    if (!monitor.friendly_name) {
      return std::unexpected(device_failure());
    }
    return WindowsText(*monitor.friendly_name);
  }

 private:
  // The monitor behind a handle, as the display configuration stands now, or
  // none when the handle is unknown or the call `failure` is set to fail for it.
  std::optional<SimulatedMonitor> by_handle(MonitorHandle handle, MonitorFailure failure) const {
    const std::vector<SimulatedMonitor> monitors = state_.monitors();
    const auto value = static_cast<std::uintptr_t>(handle);
    if (value == 0 || value > monitors.size()) {
      return std::nullopt;
    }
    return usable(monitors[value - 1], failure);
  }

  // The first monitor of that device name, as for the handle.
  std::optional<SimulatedMonitor> by_device(std::string_view device_name,
                                            MonitorFailure failure) const {
    const std::vector<SimulatedMonitor> monitors = state_.monitors();
    const auto found = std::ranges::find(monitors, device_name, &SimulatedMonitor::device);
    return found == monitors.end() ? std::nullopt : usable(*found, failure);
  }

  static std::optional<SimulatedMonitor> usable(const SimulatedMonitor& monitor,
                                                MonitorFailure failure) {
    return monitor.fails == failure ? std::nullopt : std::optional(monitor);
  }

  const DesktopState& state_;
  bool enum_fails_;
  bool display_config_fails_;
};

}  // namespace

std::unique_ptr<DisplayApi> make_simulated_display_api(const DesktopDescription& description,
                                                       const DesktopState& state) {
  return std::make_unique<SimulatedDisplayApi>(description, state);
}

}  // namespace ombrelin::os::sim
