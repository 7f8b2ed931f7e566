// Drives the control path with control messages built straight from the fuzz
// bytes (no JSON: every field value, NaN coordinates and stray key names
// included, is reachable), interleaved with injection failures, local pauses,
// clock steps and expired leases, against the held-state adapter, which also
// hands every call to the real Windows adapter over a recording input API. It
// traps when a path that must release input leaves anything held (in the
// adapter's own account or in the records the real adapter sent), when input
// reaches the adapter while paused, when a refused message changes the sequence
// state, or when a canonical coordinate does not read back as the same float.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <variant>

#include "input/control_conversion.h"
#include "input/control_serialization.h"
#include "input/tests/control_harness.h"
#include "input/tests/fake_input_api.h"
#include "input/windows_input_adapter.h"

namespace ombrelin::input {
namespace {

namespace control = native_protocol::control;
using native_protocol::ControlMessage;
using session::CommandError;
using testing::ControlHarness;

constexpr const char* kCodes[] = {"KeyA",      "KeyQ",    "Digit5",      "F1",         "F12",
                                  "Enter",     "ArrowUp", "ControlLeft", "ShiftRight", "AltRight",
                                  "MetaRight", "Delete",  "F13",         "keya"};

// Reads the fuzz bytes front to back; an exhausted input reads as zeros.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  [[nodiscard]] bool empty() const { return bytes_.empty(); }

  std::uint8_t byte() {
    if (bytes_.empty()) {
      return 0;
    }
    const std::uint8_t value = bytes_.front();
    bytes_ = bytes_.subspan(1);
    return value;
  }

  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      value = (value << 8) | byte();
    }
    return value;
  }

  float real() { return std::bit_cast<float>(u32()); }

  std::string text() {
    const std::size_t length = byte();
    std::string out;
    for (std::size_t i = 0; i < length && !bytes_.empty(); ++i) {
      out.push_back(static_cast<char>(byte()));
    }
    return out;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

// One message. Selector bits pick the variant, whether "v" is 1, how "seq"
// relates to the last one, and whether numbers are taken whole or kept in range.
ControlMessage next_message(ByteReader& in, std::uint32_t& seq) {
  const std::uint8_t selector = in.byte();
  const std::uint32_t v = (selector & 0x08) != 0 ? in.byte() : 1;
  std::uint32_t s = 0;
  switch (selector >> 4 & 3) {
    case 0:
    case 1:
      s = ++seq;
      break;
    case 2:
      s = seq;
      break;
    default:
      s = seq = in.u32();
  }
  const bool whole = (selector & 0x80) != 0;
  switch (selector & 7) {
    case 0: {
      const float x = whole ? in.real() : static_cast<float>(in.byte()) / 255.0F;
      const float y = whole ? in.real() : static_cast<float>(in.byte()) / 255.0F;
      return control::Pointer{v, s, x, y, in.byte()};
    }
    case 1: {
      const auto steps = [&] {
        return whole ? std::bit_cast<std::int32_t>(in.u32()) : std::int32_t{in.byte()} - 128;
      };
      const std::int32_t horizontal = steps();
      const std::int32_t vertical = steps();
      return control::Scroll{v, s, horizontal, vertical};
    }
    case 2: {
      std::string code = whole ? in.text() : kCodes[in.byte() % std::size(kCodes)];
      const std::uint8_t flags = in.byte();
      return control::KeyTransition{v, s, std::move(code), (flags & 0x80) != 0,
                                    static_cast<std::uint8_t>(whole ? flags : flags & 0x0F)};
    }
    case 3:
      return control::PauseInput{v, s, (in.byte() & 1) != 0};
    case 4:
      return control::ReleaseAll{v, s};
    default:
      return control::Stop{v, s};
  }
}

// Changes to the surroundings between messages.
void next_environment(ByteReader& in, ControlHarness& harness) {
  const std::uint8_t step = in.byte();
  harness.monotonic.advance(std::chrono::milliseconds(step & 0x0F));
  harness.adapter.sends_before_failure.reset();
  if ((step & 0x30) == 0x30) {
    harness.adapter.sends_before_failure = step & 3;
  }
  if ((step & 0xC0) == 0x40 && harness.gate.phase() == session::GatePhase::kActive) {
    harness.gate.set_paused(!harness.gate.paused());
    if (harness.gate.paused()) {
      release_session_input(harness.adapter, harness.sequence);
    }
  }
  if (step == 0xFF) {
    harness.clock = session::UnixTime{0, ControlHarness::kLeaseS};
  } else if (step == 0xFE) {
    harness.clock = std::unexpected(CommandError::kClockInvalid);
  } else if (step == 0xFD) {
    harness.clock = session::UnixTime{0, ControlHarness::kNowS};
  }
}

void check(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

void check_canonical_coordinates(const ControlMessage& message) {
  const auto* pointer = std::get_if<control::Pointer>(&message);
  const auto text = serialize_control_message(message);
  if (pointer == nullptr || !text) {
    return;
  }
  const std::size_t at = text->find("\"x\":");
  check(at != std::string::npos);
  const float back = std::strtof(text->c_str() + at + 4, nullptr);
  check(std::bit_cast<std::uint32_t>(back) == std::bit_cast<std::uint32_t>(pointer->x));
}

// What the records sent so far leave pressed: keys by virtual key, mouse
// buttons by their down flag (X buttons told apart by their data).
bool records_leave_input_held(const std::vector<os::InputRecord>& records) {
  constexpr std::uint32_t kKeyUp = 0x2;
  constexpr std::pair<std::uint32_t, std::uint32_t> kButtonFlags[] = {
      {0x0002, 0x0004}, {0x0008, 0x0010}, {0x0020, 0x0040}, {0x0080, 0x0100}};
  std::set<std::pair<bool, std::uint32_t>> held;  // (is a button, key or button id)
  for (const os::InputRecord& record : records) {
    if (const auto* key = std::get_if<os::KeyboardRecord>(&record)) {
      if ((key->flags & kKeyUp) == 0) {
        held.insert({false, key->vk});
      } else {
        held.erase({false, key->vk});
      }
      continue;
    }
    const auto& mouse = std::get<os::MouseRecord>(record);
    for (const auto& [down, up] : kButtonFlags) {
      const std::uint32_t button = down << 8 | static_cast<std::uint32_t>(mouse.mouse_data & 0xff);
      if ((mouse.flags & down) != 0) {
        held.insert({true, button});
      } else if ((mouse.flags & up) != 0) {
        held.erase({true, button});
      }
    }
  }
  return !held.empty();
}

bool reached_the_desktop(const std::vector<std::string>& journal) {
  for (const std::string& entry : journal) {
    if (entry.starts_with("move") || entry.starts_with("button") || entry.starts_with("scroll") ||
        entry.starts_with("key")) {
      return true;
    }
  }
  return false;
}

// The real Windows adapter over a recording input API, given every call the
// held-state adapter gets.
struct MirroredAdapter {
  MirroredAdapter() {
    api.set_screen(1920, 1080);
    const display::DisplayRecord primary{
        "\\\\.\\DISPLAY1", "\\\\.\\DISPLAY1", "Display", 0, 0, 1920, 1080, 0, 1, 60, true};
    adapter = std::move(*start_input_adapter(api, primary));
  }
  testing::FakeInputApi api;
  std::unique_ptr<InputAdapter> adapter;
};

std::unique_ptr<ControlHarness> new_session(ByteReader& in, MirroredAdapter& mirror) {
  auto harness = std::make_unique<ControlHarness>(in.byte());  // any permission mask
  harness->adapter.mirror = mirror.adapter.get();
  return harness;
}

void run(ByteReader& in) {
  MirroredAdapter mirror;
  auto harness = new_session(in, mirror);
  std::uint32_t seq = 0;
  while (!in.empty()) {
    next_environment(in, *harness);
    const ControlMessage message = next_message(in, seq);
    check_canonical_coordinates(message);

    const ControlSequenceState before = harness->sequence;
    const bool paused_before = harness->gate.paused();
    harness->journal.clear();
    const auto result = harness->send(message);

    check(harness->rate_window.size() <= ControlRateWindow::kMaxMessagesPerSecond);
    if (paused_before) {
      check(!reached_the_desktop(harness->journal));
    }
    if (!result && result.error() == CommandError::kControlEventInvalid) {
      check(harness->sequence == before);
    }
    const bool must_release = (!result && result.error() == CommandError::kInputRejected) ||
                              (result && (std::holds_alternative<control::ReleaseAll>(message) ||
                                          std::holds_alternative<control::Stop>(message) ||
                                          (std::holds_alternative<control::PauseInput>(message) &&
                                           std::get<control::PauseInput>(message).paused)));
    if (must_release) {
      check(harness->adapter.holds_nothing() && harness->sequence.buttons == 0);
      check(!records_leave_input_held(mirror.api.sent()));
    }
    if (!harness->has_session) {
      // The stopped session is over; the next one starts fresh.
      harness = new_session(in, mirror);
      seq = 0;
    }
  }
}

}  // namespace
}  // namespace ombrelin::input

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ombrelin::input::ByteReader in({data, size});
  ombrelin::input::run(in);
  return 0;
}
