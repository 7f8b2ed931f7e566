// Drives the control path with control messages built straight from the fuzz
// bytes (no JSON: every field value, NaN coordinates and stray key names
// included, is reachable), interleaved with injection failures, local pauses,
// clock steps and expired leases, against the real Windows adapter over a
// recording input API; the harness answers each outcome as the session does.
// It traps when a path that must release input leaves anything pressed in the
// records Windows accepted, when anything is pressed or moved while input is
// paused, when a refused message changes the sequence state, or when a
// canonical coordinate does not read back as the same float.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <variant>

#include "input/control_serialization.h"
#include "input/tests/control_harness.h"
#include "input/tests/desktop_model.h"
#include "input/tests/fake_input_api.h"
#include "input/windows_input_adapter.h"

namespace ombrelin::input {
namespace {

namespace control = native_protocol::control;
using native_protocol::ControlMessage;
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

// One session: the real adapter over a recording input API, and the control
// path's state against an approved grant.
struct Session {
  explicit Session(protocol::PermissionMask granted)
      : adapter(start_input_adapter(api, primary())), harness(*adapter, granted) {}

  static display::DisplayRecord primary() {
    return {"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY1", "Display", 0, 0, 1920, 1080, 0, 1, 60, true};
  }

  // What the session does with an outcome: release, pause, end or stop.
  void respond(const std::expected<ControlEffect, ControlRefusal>& outcome) {
    if (!outcome) {
      if (outcome.error() == ControlRefusal::kLeaseExpired) {
        harness.grant.active = false;
        harness.grant.paused = true;
      } else if (outcome.error() != ControlRefusal::kEventRejected) {
        return;
      }
      release_held_input(*adapter, harness.state);
      harness.grant.paused = true;
      return;
    }
    switch (*outcome) {
      case ControlEffect::kNone:
        break;
      case ControlEffect::kPeerPaused:
        harness.grant.paused = true;
        release_held_input(*adapter, harness.state);
        break;
      case ControlEffect::kPeerResumed:
        harness.grant.paused = false;
        break;
      case ControlEffect::kPeerStopped:
        release_held_input(*adapter, harness.state);
        harness.has_session = false;
        break;
    }
  }

  testing::FakeInputApi api;
  std::unique_ptr<InputAdapter> adapter;
  ControlHarness harness;
  bool refusing = false;  // Windows refuses some sends of the current message
};

// Changes to the surroundings between messages.
void next_environment(ByteReader& in, Session& session) {
  ControlHarness& harness = session.harness;
  const std::uint8_t step = in.byte();
  harness.monotonic.advance(std::chrono::milliseconds(step & 0x0F));
  session.api.accept_calls(std::nullopt);
  session.refusing = (step & 0x30) == 0x30;
  if (session.refusing) {
    session.api.accept_calls(step & 3);
  }
  if ((step & 0xC0) == 0x40 && harness.grant.active) {
    harness.grant.paused = !harness.grant.paused;
    if (harness.grant.paused) {
      release_held_input(*session.adapter, harness.state);
    }
  }
  if (step == 0xFF) {
    harness.wall.set_seconds(ControlHarness::kLeaseS);
  } else if (step == 0xFE) {
    harness.wall.set(os::SystemTime{true, 1, 0});
  } else if (step == 0xFD) {
    harness.wall.set_seconds(ControlHarness::kNowS);
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

// A record that presses something or moves the pointer.
bool acts_on_the_desktop(const os::InputRecord& record) {
  if (const auto* key = std::get_if<os::KeyboardRecord>(&record)) {
    return (key->flags & os::kKeyUp) == 0;
  }
  constexpr std::uint32_t kActing = os::kMouseMove | os::kMouseLeftDown | os::kMouseRightDown |
                                    os::kMouseMiddleDown | os::kMouseXDown | os::kMouseWheel |
                                    os::kMouseHorizontalWheel;
  return (std::get<os::MouseRecord>(record).flags & kActing) != 0;
}

bool must_release(const ControlMessage& message,
                  const std::expected<ControlEffect, ControlRefusal>& outcome) {
  if (!outcome) {
    return outcome.error() == ControlRefusal::kEventRejected ||
           outcome.error() == ControlRefusal::kLeaseExpired;
  }
  const auto* pause = std::get_if<control::PauseInput>(&message);
  return std::holds_alternative<control::ReleaseAll>(message) ||
         std::holds_alternative<control::Stop>(message) || (pause != nullptr && pause->paused);
}

void run(ByteReader& in) {
  auto session = std::make_unique<Session>(in.byte());  // any permission mask
  std::uint32_t seq = 0;
  while (!in.empty()) {
    next_environment(in, *session);
    const ControlMessage message = next_message(in, seq);
    check_canonical_coordinates(message);

    ControlHarness& harness = session->harness;
    const ControlSequenceState before = harness.state.sequence;
    const bool paused_before = harness.grant.paused;
    const std::size_t sent_before = session->api.sent().size();
    const auto outcome = harness.send(message);
    session->respond(outcome);

    check(harness.state.rate_window.size() <= ControlRateWindow::kMaxMessagesPerSecond);
    if (paused_before) {
      for (const os::InputRecord& record : std::span(session->api.sent()).subspan(sent_before)) {
        check(!acts_on_the_desktop(record));
      }
    }
    if (!outcome && outcome.error() == ControlRefusal::kEventInvalid) {
      check(harness.state.sequence == before);
    }
    if (must_release(message, outcome) && !session->refusing) {
      check(harness.state.sequence.buttons == 0);
      check(testing::pressed_on_desktop(session->api.sent()).empty());
    }
    if (!harness.has_session) {
      // The stopped session is over; the next one starts fresh.
      session = std::make_unique<Session>(in.byte());
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
