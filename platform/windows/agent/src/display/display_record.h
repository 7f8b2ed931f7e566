#pragma once

#include <cstdint>
#include <string>

namespace ombrelin::display {

// One monitor of the interactive desktop, as Windows reported it.
struct DisplayRecord {
  std::string id;           // the GDI device name, such as \\.\DISPLAY1
  std::string device_name;  // the same text as id
  std::string name;         // the friendly name, or the device name when there is none
  std::int32_t left = 0;    // monitor rectangle, virtual-screen pixels
  std::int32_t top = 0;
  std::uint32_t width = 0;  // current display mode, pixels
  std::uint32_t height = 0;
  float rotation = 0;      // degrees: 0, 90, 180 or 270
  float scale = 0;         // 1.5 for 150 %
  float refresh_rate = 0;  // hertz; 0 when Windows reports the hardware default
  bool primary = false;

  bool operator==(const DisplayRecord&) const = default;
};

}  // namespace ombrelin::display
