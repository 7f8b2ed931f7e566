#pragma once

#include <expected>
#include <memory>
#include <string>

#include "os/byte_stream.h"
#include "os/config_file_access.h"
#include "os/display_api.h"
#include "os/input_api.h"
#include "os/monotonic_clock.h"
#include "os/random_source.h"
#include "os/wall_clock.h"
#include "os/window_system.h"

namespace ombrelin::os {

// The first command-line argument, which the browser sets to the caller origin.
struct CallerArgument {
  enum class State { kMissing, kNotText, kPresent };
  State state = State::kMissing;
  std::string text;  // UTF-8, when present
};

// The one door to the operating system. Everything the agent asks of Windows goes
// through the objects this environment creates; the build picks the real Win32
// implementation or the simulated desktop. Created once by the process entry and
// handed down; it outlives every object it created.
class DesktopEnvironment {
 public:
  virtual ~DesktopEnvironment() = default;

  [[nodiscard]] virtual const CallerArgument& caller_argument() const = 0;
  [[nodiscard]] virtual ConfigFileAccess& config_files() = 0;
  [[nodiscard]] virtual RandomSource& random() = 0;
  [[nodiscard]] virtual WallClock& wall_clock() = 0;
  [[nodiscard]] virtual MonotonicClock& monotonic_clock() = 0;
  [[nodiscard]] virtual DisplayApi& display_api() = 0;
  [[nodiscard]] virtual WindowSystem& window_system() = 0;
  [[nodiscard]] virtual InputApi& input_api() = 0;
  // Standard input, handed over once to the thread that reads frames from it.
  [[nodiscard]] virtual std::unique_ptr<ByteInput> take_standard_input() = 0;
  // Standard output, written only by the main loop.
  [[nodiscard]] virtual ByteOutput& standard_output() = 0;
};

// Why the environment could not be created (the simulated desktop's description
// file is unreadable or invalid). The run ends with status 1.
struct EnvironmentError {};

// `argc` and `argv` as main received them (the Win32 build reads the wide command
// line itself, since the narrow one is not UTF-8 there).
[[nodiscard]] std::expected<std::unique_ptr<DesktopEnvironment>, EnvironmentError>
create_desktop_environment(int argc, char** argv);

}  // namespace ombrelin::os
