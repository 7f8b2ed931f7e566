#pragma once

// A scripted DisplayApi: monitors and display configuration paths as plain data,
// any call made to fail, and a log of the calls in the order they were made.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/display_api.h"

namespace ombrelin::display::test_support {

enum class Call : std::uint8_t {
  kEnumerate,
  kDeviceName,
  kMode,
  kPlacement,
  kOrientation,
  kScale,
  kConfigSizes,
  kPaths,
  kSourceName,
  kTargetName,
};

// The system message of a failing call.
inline std::string failure_message(Call call) {
  return "system message " + std::to_string(static_cast<int>(call));
}

inline constexpr char kDisplay1[] = "\\\\.\\DISPLAY1";

struct FakeMonitor {
  os::WindowsText device = std::string(kDisplay1);
  os::DisplayMode mode{1920, 1080, 60};
  os::MonitorPlacement placement{0, 0, os::kMonitorFlagPrimary};
  os::DisplayOrientation orientation{os::kModeFieldDisplayOrientation, os::kOrientationDefault};
  std::uint32_t scale = 100;
  std::optional<Call> fails;       // that call fails for this monitor
  bool second_mode_fails = false;  // only the second current-mode read fails
  int mode_reads = 0;
};

struct FakePath {
  os::DisplayPath ids;
  std::optional<os::WindowsText> source_name;  // none: the request fails
  std::optional<os::WindowsText> target_name;  // none: the request fails
};

// A path of adapter 1 from the source `device` to a target called `name`.
inline FakePath named_path(std::string device, std::string name, std::uint32_t index = 0) {
  constexpr os::AdapterId kAdapter{1, 0};
  return FakePath{{kAdapter, index, kAdapter, 100 + index}, std::move(device), std::move(name)};
}

class FakeDisplayApi final : public os::DisplayApi {
 public:
  template <typename T>
  using Result = std::expected<T, os::OsError>;

  std::vector<FakeMonitor> monitors;
  std::vector<FakePath> paths;
  std::optional<Call> fails;  // a call that fails whatever it is asked
  std::vector<Call> calls;

  Result<std::vector<os::MonitorHandle>> enumerate_monitors() override {
    if (failing(Call::kEnumerate)) return failure(Call::kEnumerate);
    std::vector<os::MonitorHandle> handles;
    for (std::size_t index = 1; index <= monitors.size(); ++index) {
      handles.push_back(static_cast<os::MonitorHandle>(index));
    }
    return handles;
  }
  Result<os::WindowsText> monitor_device_name(os::MonitorHandle handle) override {
    return answer(find(handle, Call::kDeviceName), &FakeMonitor::device, Call::kDeviceName);
  }
  Result<os::MonitorPlacement> monitor_placement(os::MonitorHandle handle) override {
    return answer(find(handle, Call::kPlacement), &FakeMonitor::placement, Call::kPlacement);
  }
  Result<os::DisplayMode> current_mode(std::string_view device) override {
    FakeMonitor* monitor = find(device, Call::kMode);
    if (monitor != nullptr && ++monitor->mode_reads == 2 && monitor->second_mode_fails) {
      monitor = nullptr;
    }
    return answer(monitor, &FakeMonitor::mode, Call::kMode);
  }
  Result<os::DisplayOrientation> current_orientation(std::string_view device) override {
    return answer(find(device, Call::kOrientation), &FakeMonitor::orientation, Call::kOrientation);
  }
  Result<std::uint32_t> scale_factor(os::MonitorHandle handle) override {
    return answer(find(handle, Call::kScale), &FakeMonitor::scale, Call::kScale);
  }
  Result<os::DisplayConfigSizes> display_config_sizes() override {
    if (failing(Call::kConfigSizes)) return failure(Call::kConfigSizes);
    const auto count = static_cast<std::uint32_t>(paths.size());
    return os::DisplayConfigSizes{count, 2 * count};
  }
  Result<std::vector<os::DisplayPath>> active_paths(os::DisplayConfigSizes sizes) override {
    if (failing(Call::kPaths) || sizes.paths != paths.size()) return failure(Call::kPaths);
    std::vector<os::DisplayPath> ids;
    for (const FakePath& path : paths) ids.push_back(path.ids);
    return ids;
  }
  Result<os::WindowsText> source_device_name(os::AdapterId adapter, std::uint32_t id) override {
    failing(Call::kSourceName);
    for (const FakePath& path : paths) {
      if (path.ids.source_adapter == adapter && path.ids.source_id == id && path.source_name) {
        return *path.source_name;
      }
    }
    return failure(Call::kSourceName);
  }
  // Answers only for the adapter and id of a path's target.
  Result<os::WindowsText> target_friendly_name(os::AdapterId adapter, std::uint32_t id) override {
    failing(Call::kTargetName);
    for (const FakePath& path : paths) {
      if (path.ids.target_adapter == adapter && path.ids.target_id == id && path.target_name) {
        return *path.target_name;
      }
    }
    return failure(Call::kTargetName);
  }

 private:
  // Logs the call; true when it is set to fail whatever it is asked.
  bool failing(Call call) {
    calls.push_back(call);
    return fails == call;
  }
  static std::unexpected<os::OsError> failure(Call call) {
    return std::unexpected(os::OsError{1, failure_message(call)});
  }
  template <typename T>
  static Result<T> answer(const FakeMonitor* monitor, T FakeMonitor::*field, Call call) {
    if (monitor == nullptr) return failure(call);
    return monitor->*field;
  }
  FakeMonitor* usable(FakeMonitor& monitor, Call call) {
    return monitor.fails == call ? nullptr : &monitor;
  }
  FakeMonitor* find(os::MonitorHandle handle, Call call) {
    failing(call);
    const auto index = static_cast<std::size_t>(handle) - 1;
    return index < monitors.size() ? usable(monitors[index], call) : nullptr;
  }
  FakeMonitor* find(std::string_view device, Call call) {
    failing(call);
    for (FakeMonitor& monitor : monitors) {
      if (monitor.device == device) return usable(monitor, call);
    }
    return nullptr;
  }
};

}  // namespace ombrelin::display::test_support
