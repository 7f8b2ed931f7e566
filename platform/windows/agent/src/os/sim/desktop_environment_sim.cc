// The simulated desktop: the build of the agent for every system but Windows.
// Standard streams, files, clock and random generator are the host system's own;
// the desktop file describes what the simulated Windows calls report.

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "os/desktop_environment.h"
#include "os/sim/desktop_description.h"
#include "os/sim/desktop_state.h"
#include "os/sim/display_api_sim.h"
#include "os/sim/input_api_sim.h"
#include "os/sim/journal.h"
#include "os/sim/window_system_sim.h"
#include "os/steady_monotonic_clock.h"
#include "simdjson.h"

namespace ombrelin::os {
namespace {

using sim::DesktopDescription;
using sim::UniqueFd;

OsError errno_error(const char* context) {
  const int code = errno;
  return OsError{static_cast<std::uint32_t>(code),
                 std::string(context) + ": " + std::strerror(code)};
}

class PosixInput final : public ByteInput {
 public:
  std::expected<std::size_t, OsError> read_some(std::span<std::uint8_t> buffer) override {
    while (true) {
      const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
      if (count >= 0) {
        return static_cast<std::size_t>(count);
      }
      if (errno != EINTR) {
        return std::unexpected(errno_error("read standard input"));
      }
    }
  }
};

class PosixOutput final : public ByteOutput {
 public:
  std::expected<void, OsError> write_all(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      const ssize_t count = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count <= 0) {
        return std::unexpected(errno_error("write standard output"));
      }
      bytes = bytes.subspan(static_cast<std::size_t>(count));
    }
    return {};
  }
  // Writes go straight to the descriptor; there is nothing buffered to flush.
  std::expected<void, OsError> flush() override { return {}; }
};

class PosixConfigFiles final : public ConfigFileAccess {
 public:
  std::optional<std::filesystem::path> config_file_path() const override {
    const char* base = std::getenv("LOCALAPPDATA");
    if (base == nullptr) {
      return std::nullopt;
    }
    return std::filesystem::path(base) / "Ombrelin Revozad" / "native-host" /
           "native-host-config.json";
  }

  std::expected<FileFacts, OsError> file_facts(const std::filesystem::path& path) const override {
    struct stat facts {};
    if (::stat(path.c_str(), &facts) != 0) {
      return std::unexpected(errno_error("stat configuration"));
    }
    return FileFacts{S_ISDIR(facts.st_mode), false, static_cast<std::uint64_t>(facts.st_size)};
  }

  std::expected<std::string, OsError> read_file(const std::filesystem::path& path,
                                                std::size_t limit) const override {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
      return std::unexpected(errno_error("open configuration"));
    }
    std::string contents(limit + 1, '\0');
    std::size_t filled = 0;
    while (filled < contents.size()) {
      const ssize_t count = ::read(fd.get(), contents.data() + filled, contents.size() - filled);
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count < 0) {
        return std::unexpected(errno_error("read configuration"));
      }
      if (count == 0) {
        break;
      }
      filled += static_cast<std::size_t>(count);
    }
    contents.resize(filled);
    return contents;
  }
};

class SimulatedRandom final : public RandomSource {
 public:
  explicit SimulatedRandom(bool fails) : fails_(fails) {}

  std::expected<void, OsError> fill(std::span<std::uint8_t> out) override {
    if (fails_) {
      return std::unexpected(OsError{0xC0000001u, "simulated random generator failure"});
    }
    std::size_t filled = 0;
    while (filled < out.size()) {
      const ssize_t count = ::getrandom(out.data() + filled, out.size() - filled, 0);
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count <= 0) {
        return std::unexpected(errno_error("getrandom"));
      }
      filled += static_cast<std::size_t>(count);
    }
    return {};
  }

 private:
  bool fails_;
};

// Wide enough for any offset added to any reading of the real clock.
__extension__ using Int128 = __int128;

// The real wall clock moved by the desktop file's offset, read in a local time
// that is a fixed number of minutes ahead of UTC (no daylight saving time).
class OffsetWallClock final : public WallClock {
 public:
  OffsetWallClock(std::int64_t offset_ms, std::int32_t utc_offset_minutes)
      : offset_ms_(offset_ms), utc_offset_minutes_(utc_offset_minutes) {}

  SystemTime now() const override {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    const Int128 nanoseconds =
        static_cast<Int128>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count()) +
        static_cast<Int128>(offset_ms_) * 1'000'000;
    if (nanoseconds < 0) {
      return SystemTime{true, 0, 0};
    }
    return SystemTime{false, static_cast<std::uint64_t>(nanoseconds / 1'000'000'000),
                      static_cast<std::uint32_t>(nanoseconds % 1'000'000'000)};
  }

  std::expected<std::int32_t, OsError> utc_offset_minutes_at(
      std::uint64_t /*unix_seconds*/) const override {
    return utc_offset_minutes_;
  }

 private:
  std::int64_t offset_ms_;
  std::int32_t utc_offset_minutes_;
};

std::string environment_text(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

CallerArgument read_caller_argument(int argc, char** argv) {
  if (argc < 2 || argv[1] == nullptr) {
    return {};
  }
  const std::string_view text(argv[1]);
  if (!simdjson::validate_utf8(text.data(), text.size())) {
    return {CallerArgument::State::kNotText, {}};
  }
  return {CallerArgument::State::kPresent, std::string(text)};
}

std::optional<DesktopDescription> load_description() {
  const char* path = std::getenv("OMBRELIN_SIM_DESKTOP");
  if (path == nullptr) {
    return DesktopDescription::standard();
  }
  const PosixConfigFiles files;
  const auto text = files.read_file(path, 1 << 20);
  if (!text) {
    return std::nullopt;
  }
  auto description = sim::parse_desktop_description(*text);
  return description ? std::optional(std::move(*description)) : std::nullopt;
}

class SimulatedDesktop final : public DesktopEnvironment {
 public:
  SimulatedDesktop(CallerArgument caller, DesktopDescription description, UniqueFd journal)
      : caller_(std::move(caller)),
        description_(std::move(description)),
        journal_(std::move(journal)),
        random_(description_.random_fails),
        clock_(description_.clock_offset_ms, description_.utc_offset_minutes),
        state_(description_),
        display_api_(sim::make_simulated_display_api(description_, state_)),
        window_system_(sim::make_simulated_window_system(description_, state_, journal_,
                                                         environment_text("OMBRELIN_SIM_ACTIONS"))),
        input_api_(sim::make_simulated_input_api(description_, state_, journal_)) {}

  const CallerArgument& caller_argument() const override { return caller_; }
  ConfigFileAccess& config_files() override { return config_files_; }
  RandomSource& random() override { return random_; }
  WallClock& wall_clock() override { return clock_; }
  MonotonicClock& monotonic_clock() override { return monotonic_clock_; }
  DisplayApi& display_api() override { return *display_api_; }
  WindowSystem& window_system() override { return *window_system_; }
  InputApi& input_api() override { return *input_api_; }
  std::unique_ptr<ByteInput> take_standard_input() override {
    return std::make_unique<PosixInput>();
  }
  ByteOutput& standard_output() override { return output_; }

 private:
  CallerArgument caller_;
  DesktopDescription description_;
  sim::Journal journal_;
  PosixConfigFiles config_files_;
  SimulatedRandom random_;
  OffsetWallClock clock_;
  sim::DesktopState state_;
  std::unique_ptr<DisplayApi> display_api_;
  std::unique_ptr<WindowSystem> window_system_;
  std::unique_ptr<InputApi> input_api_;
  SteadyMonotonicClock monotonic_clock_;
  PosixOutput output_;
};

}  // namespace

std::expected<std::unique_ptr<DesktopEnvironment>, EnvironmentError> create_desktop_environment(
    int argc, char** argv) {
  // A reader that closed standard output must surface as a failed write (a fatal
  // error with status 1), as it does on Windows, not as a signal.
  std::signal(SIGPIPE, SIG_IGN);
  auto description = load_description();
  if (!description) {
    return std::unexpected(EnvironmentError{});
  }
  UniqueFd journal;
  if (const char* path = std::getenv("OMBRELIN_SIM_JOURNAL")) {
    journal = UniqueFd(::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (!journal.valid()) {
      return std::unexpected(EnvironmentError{});
    }
  }
  return std::make_unique<SimulatedDesktop>(read_caller_argument(argc, argv),
                                            std::move(*description), std::move(journal));
}

}  // namespace ombrelin::os
