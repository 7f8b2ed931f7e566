// Windows build only. Linking this program proves that the adapter and every
// input call resolve against user32; run under Wine or on Windows, it prints
// what the real calls report. It injects nothing.

#include <cstdint>
#include <cstdio>

#include "display/display_record.h"
#include "input/windows_input_adapter.h"
#include "os/win/input_api_win.h"

int main() {
  const auto api = ombrelin::os::win::make_win32_input_api();
  const auto adapter = ombrelin::input::start_input_adapter(*api, {});
  if (!adapter) {
    return 1;
  }
  std::printf("screen %d x %d\n", api->screen_metric(ombrelin::os::ScreenMetric::kWidth),
              api->screen_metric(ombrelin::os::ScreenMetric::kHeight));
  if (const auto cursor = api->cursor_position()) {
    std::printf("cursor %d, %d\n", cursor->x, cursor->y);
  } else {
    std::printf("cursor: %s\n", cursor.error().context.c_str());
  }
  for (const std::uint16_t vk : {std::uint16_t{0x41}, std::uint16_t{0x25}, std::uint16_t{0xA3}}) {
    std::printf("scan code of vk 0x%02X: 0x%04X\n", vk, api->scan_code(vk));
  }
  return 0;
}
