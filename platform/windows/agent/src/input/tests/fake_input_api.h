#pragma once

// An InputApi for unit tests: it records every record sent, answers a made-up
// keyboard layout and lets a test set the screen, the cursor and failures.

#include <cstdint>
#include <expected>
#include <optional>
#include <ostream>
#include <span>
#include <utility>
#include <vector>

#include "os/input_api.h"

namespace ombrelin::os {

inline void PrintTo(const MouseRecord& record, std::ostream* out) {
  *out << "mouse{dx " << record.dx << ", dy " << record.dy << ", data " << record.mouse_data
       << ", flags 0x" << std::hex << record.flags << std::dec << ", time " << record.time
       << ", extra " << record.extra_info << "}";
}

inline void PrintTo(const KeyboardRecord& record, std::ostream* out) {
  *out << "key{vk 0x" << std::hex << record.vk << ", scan 0x" << record.scan << ", flags 0x"
       << record.flags << std::dec << ", time " << record.time << ", extra " << record.extra_info
       << "}";
}

}  // namespace ombrelin::os

namespace ombrelin::input::testing {

class FakeInputApi final : public os::InputApi {
 public:
  // The fake layout's scan code of a virtual key, before any layout switch.
  static constexpr std::uint32_t kScanOffset = 0x100;

  std::uint32_t send_input(std::span<const os::InputRecord> records) override {
    ++calls_;
    if (accepted_calls_ && *accepted_calls_ == 0) {
      return 0;
    }
    if (accepted_calls_) {
      --*accepted_calls_;
    }
    sent_.insert(sent_.end(), records.begin(), records.end());
    return static_cast<std::uint32_t>(records.size());
  }
  std::uint32_t scan_code(std::uint16_t vk) override { return vk + scan_offset_; }
  std::int32_t screen_metric(os::ScreenMetric metric) override {
    switch (metric) {
      case os::ScreenMetric::kWidth:
        return screen_cx_;
      case os::ScreenMetric::kHeight:
        return screen_cy_;
      case os::ScreenMetric::kSwapButton:
        return swapped_ ? 1 : 0;
    }
    return 0;
  }
  std::expected<os::CursorPoint, os::OsError> cursor_position() override {
    if (!cursor_) {
      return std::unexpected(os::OsError{5, "Access is denied."});
    }
    return *cursor_;
  }

  // Records that Windows accepted, in order; a refused call adds nothing.
  [[nodiscard]] const std::vector<os::InputRecord>& sent() const { return sent_; }
  [[nodiscard]] std::vector<os::InputRecord> take_sent() { return std::exchange(sent_, {}); }
  void clear_sent() { sent_.clear(); }
  // SendInput calls, accepted or not.
  [[nodiscard]] int calls() const { return calls_; }

  // After `count` more accepted calls, every call inserts nothing; none: never.
  void accept_calls(std::optional<int> count) { accepted_calls_ = count; }
  void set_screen(std::int32_t cx, std::int32_t cy) {
    screen_cx_ = cx;
    screen_cy_ = cy;
  }
  // The local user's setting of swapped mouse buttons (GetSystemMetrics(SM_SWAPBUTTON)).
  void set_swapped(bool swapped) { swapped_ = swapped; }
  // None: GetCursorPos fails.
  void set_cursor(std::optional<os::CursorPoint> cursor) { cursor_ = cursor; }
  // Switches the keyboard layout: every scan code moves by `offset`.
  void switch_layout(std::uint32_t offset) { scan_offset_ = offset; }

 private:
  std::vector<os::InputRecord> sent_;
  int calls_ = 0;
  std::optional<int> accepted_calls_;
  std::int32_t screen_cx_ = 1920;
  std::int32_t screen_cy_ = 1080;
  bool swapped_ = false;
  std::optional<os::CursorPoint> cursor_ = os::CursorPoint{};
  std::uint32_t scan_offset_ = kScanOffset;
};

// Records as the adapter builds them: time 0, extra info 100.
inline os::InputRecord mouse(std::int32_t dx, std::int32_t dy, std::int32_t data,
                             std::uint32_t flags) {
  return os::MouseRecord{dx, dy, data, flags, 0, 100};
}
inline os::InputRecord key(std::uint16_t vk, std::uint32_t flags,
                           std::uint32_t scan_offset = FakeInputApi::kScanOffset) {
  return os::KeyboardRecord{vk, static_cast<std::uint16_t>(vk + scan_offset), flags, 0, 100};
}

}  // namespace ombrelin::input::testing
