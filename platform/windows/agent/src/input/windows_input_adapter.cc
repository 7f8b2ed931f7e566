#include "input/windows_input_adapter.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

#include "input/held_input.h"
#include "input/input_records.h"
#include "input/key_table.h"
#include "input/pointer_mapping.h"

namespace ombrelin::input {
namespace {

using Result = std::expected<void, InputError>;
namespace event = protocol::input_event;

std::optional<RemoteButton> remote_button(std::uint32_t number) {
  switch (number) {
    case 1:
      return RemoteButton::kPrimary;
    case 2:
      return RemoteButton::kSecondary;
    case 3:
      return RemoteButton::kMiddle;
    case 4:
      return RemoteButton::kBack;
    case 5:
      return RemoteButton::kForward;
    default:
      return std::nullopt;
  }
}

class WindowsInputAdapter final : public InputAdapter {
 public:
  WindowsInputAdapter(os::InputApi& api, display::DisplayRecord display)
      : api_(api), display_(std::move(display)) {}
  WindowsInputAdapter(const WindowsInputAdapter&) = delete;
  WindowsInputAdapter& operator=(const WindowsInputAdapter&) = delete;
  ~WindowsInputAdapter() override { (void)release_all(); }

  Result apply_event(const protocol::InputEvent& input) override {
    // Nothing new reaches the desktop while a release Windows refused is still
    // owed: the first chance to let go of it is taken before anything else.
    if (auto settled = send_owed_releases(); !settled) {
      return settled;
    }
    if (const auto* move = std::get_if<event::PointerMove>(&input)) {
      return apply(*move);
    }
    if (const auto* button = std::get_if<event::PointerButton>(&input)) {
      return apply(*button);
    }
    if (const auto* scroll = std::get_if<event::ScrollDelta>(&input)) {
      return apply(*scroll);
    }
    if (const auto* key = std::get_if<event::KeyboardKey>(&input)) {
      return apply(*key);
    }
    return std::unexpected(InputError::kUnsupported);
  }

  Result release_all() override {
    Result first = {};
    const auto note = [&first](Result sent) {
      if (!sent && first) {
        first = sent;
      }
    };
    for (const std::uint16_t vk : held_.keys()) {
      note(send_key(vk, false));
    }
    for (const MouseButton button : held_.buttons()) {
      note(release_button(button));
    }
    held_.set_modifier_byte(0);
    return first;
  }

  void set_bounds(const display::DisplayRecord& display) override { display_ = display; }

 private:
  Result send_owed_releases() {
    if (!held_.any_owed()) {
      return {};
    }
    for (const std::uint16_t vk : held_.keys_owed()) {
      if (auto sent = send_key(vk, false); !sent) {
        return sent;
      }
    }
    for (const MouseButton button : held_.buttons_owed()) {
      if (auto sent = release_button(button); !sent) {
        return sent;
      }
    }
    return {};
  }

  Result apply(const event::PointerMove& move) {
    switch (move.mode) {
      case event::kAbsolutePointer:
        return move_to(map_absolute_point(display_, move.x, move.y));
      case event::kRelativePointer:
        return move_by(round_saturated(move.x), round_saturated(move.y));
      default:
        return std::unexpected(InputError::kUnsupported);
    }
  }

  Result apply(const event::PointerButton& event) {
    const auto remote = remote_button(event.button);
    if (!remote) {
      return std::unexpected(InputError::kUnsupported);
    }
    if (event.pressed) {
      const MouseButton button = physical_button_now(*remote);
      held_.pressing(button, *remote);
      return send(button_record(button, true));
    }
    // The release goes to the physical button the press went to, even if the
    // local user swapped the buttons since. A release is sent even for a
    // button not held, to free one that is stuck.
    return release_button(held_.button_for(*remote).value_or(physical_button_now(*remote)));
  }

  // Read whenever a primary or secondary button is pressed: the local user may
  // swap the buttons during a session.
  MouseButton physical_button_now(RemoteButton remote) {
    const bool sided = remote == RemoteButton::kPrimary || remote == RemoteButton::kSecondary;
    return physical_button(remote, sided && api_.screen_metric(os::ScreenMetric::kSwapButton) != 0);
  }

  Result apply(const event::ScrollDelta& scroll) {
    if (scroll.vertical != 0) {
      if (auto sent = send(wheel_record(WheelAxis::kVertical, scroll.vertical)); !sent) {
        return sent;
      }
    }
    if (scroll.horizontal != 0) {
      return send(wheel_record(WheelAxis::kHorizontal, scroll.horizontal));
    }
    return {};
  }

  Result apply(const event::KeyboardKey& key) {
    // Refused before anything is sent, so that an event the adapter cannot
    // inject changes nothing on the desktop.
    const KeyInjection injection = usage_to_virtual_key(key.usage);
    if (injection.kind == KeyInjection::Kind::kUnsupported || key.modifiers > 0xFF) {
      return std::unexpected(InputError::kUnsupported);
    }
    const std::uint8_t target = modifiers_to_hold(
        held_.modifier_byte(), static_cast<std::uint8_t>(key.modifiers), key.usage, key.down);
    for (const ModifierStep& step : modifier_steps(held_.modifier_byte(), target)) {
      if (auto sent = send_key(step.virtual_key, step.press); !sent) {
        return sent;
      }
    }
    held_.set_modifier_byte(target);
    if (injection.kind == KeyInjection::Kind::kModifier) {
      return {};
    }
    return send_key(injection.virtual_key, key.down);
  }

  Result move_to(PixelPoint pixel) {
    // Read at every move: the resolution may change during a session.
    const auto dx = normalise_absolute(pixel.x, api_.screen_metric(os::ScreenMetric::kWidth));
    const auto dy = normalise_absolute(pixel.y, api_.screen_metric(os::ScreenMetric::kHeight));
    if (!dx || !dy) {
      return std::unexpected(InputError::kNoScreenSize);
    }
    return send(absolute_move_record(*dx, *dy));
  }

  // Sent as an absolute move, so that mouse acceleration does not scale the
  // delta; bounded like every other move, wherever the cursor was.
  Result move_by(std::int32_t dx, std::int32_t dy) {
    const auto cursor = api_.cursor_position();
    if (!cursor) {
      return std::unexpected(InputError::kNoCursorPosition);
    }
    return move_to(clamp_to_display(
        PixelPoint{add_saturated(cursor->x, dx), add_saturated(cursor->y, dy)}, display_));
  }

  // Held from before the press is sent; forgotten only once the release went through.
  Result send_key(std::uint16_t vk, bool press) {
    if (press) {
      held_.pressing(vk);
    }
    auto sent = send(key_record(vk, api_.scan_code(vk), press));
    if (!press) {
      if (sent) {
        held_.released(vk);
      } else {
        held_.release_refused(vk);
      }
    }
    return sent;
  }

  // Forgotten only once the release went through.
  Result release_button(MouseButton button) {
    auto sent = send(button_record(button, false));
    if (sent) {
      held_.released(button);
    } else {
      held_.release_refused(button);
    }
    return sent;
  }

  Result send(const os::InputRecord& record) {
    if (api_.send_input(std::span(&record, 1)) != 1) {
      return std::unexpected(InputError::kNotAllSent);
    }
    return {};
  }

  os::InputApi& api_;
  display::DisplayRecord display_;
  HeldInput held_;
};

}  // namespace

std::unique_ptr<InputAdapter> start_input_adapter(os::InputApi& api,
                                                  const display::DisplayRecord& primary) {
  return std::make_unique<WindowsInputAdapter>(api, primary);
}

}  // namespace ombrelin::input
