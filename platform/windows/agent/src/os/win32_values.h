#pragma once

// The Win32 values the agent's portable code passes through the seam, under
// their Windows names, so that a style reads as the flags it is made of. Both
// implementations of the seam use them; the Win32 one checks each against
// windows.h when it is compiled.

#include <array>
#include <cstdint>
#include <limits>

namespace ombrelin::os {

// Window styles (WS_*) and extended styles (WS_EX_*).
inline constexpr std::uint32_t kWsChild = 0x40000000;
inline constexpr std::uint32_t kWsVisible = 0x10000000;
inline constexpr std::uint32_t kWsCaption = 0x00C00000;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000;
inline constexpr std::uint32_t kWsExTopmost = 0x00000008;
inline constexpr std::uint32_t kWsExAppWindow = 0x00040000;
// Static control style: "&" is shown as typed, not as a mnemonic prefix.
inline constexpr std::uint32_t kSsNoPrefix = 0x00000080;
// CreateWindowExW's "let the system choose" position.
inline constexpr std::int32_t kCwUseDefault = std::numeric_limits<std::int32_t>::min();

// ShowWindow commands; creating a window with WS_VISIBLE shows it with SW_SHOW.
inline constexpr int kSwHide = 0;
inline constexpr int kSwShowNoActivate = 4;
inline constexpr int kSwShow = 5;

// SetWindowPos flags.
inline constexpr std::uint32_t kSwpNoSize = 0x0001;
inline constexpr std::uint32_t kSwpNoMove = 0x0002;
inline constexpr std::uint32_t kSwpNoZOrder = 0x0004;
inline constexpr std::uint32_t kSwpNoActivate = 0x0010;

// Window messages.
inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmClose = 0x0010;
// Sent to every top-level window once the display configuration has changed;
// wParam the new colour depth, lParam the primary screen's new width and height.
inline constexpr std::uint32_t kWmDisplayChange = 0x007E;
inline constexpr std::uint32_t kWmSetFont = 0x0030;
inline constexpr std::uint32_t kWmCommand = 0x0111;
inline constexpr std::uint32_t kWmHotKey = 0x0312;
inline constexpr std::uint32_t kWmApp = 0x8000;

// MessageBoxW styles and results.
inline constexpr std::uint32_t kMbYesNo = 0x00000004;
inline constexpr std::uint32_t kMbIconWarning = 0x00000030;
inline constexpr std::uint32_t kMbDefButton2 = 0x00000100;
inline constexpr std::uint32_t kMbSetForeground = 0x00010000;
inline constexpr std::uint32_t kMbTopmost = 0x00040000;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// RegisterHotKey modifiers.
inline constexpr std::uint32_t kModAlt = 0x0001;
inline constexpr std::uint32_t kModControl = 0x0002;
inline constexpr std::uint32_t kModShift = 0x0004;
inline constexpr std::uint32_t kModWin = 0x0008;
inline constexpr std::uint32_t kModNoRepeat = 0x4000;

// Virtual keys named in portable code.
inline constexpr std::uint16_t kVkF12 = 0x7B;
// Each modifier as either side's key (VK_L*, VK_R*) or the side-less one
// (VK_CONTROL, VK_MENU, VK_SHIFT) a program may inject.
inline constexpr std::array<std::uint8_t, 3> kVkControlKeys{0x11, 0xA2, 0xA3};
inline constexpr std::array<std::uint8_t, 3> kVkAltKeys{0x12, 0xA4, 0xA5};
inline constexpr std::array<std::uint8_t, 3> kVkShiftKeys{0x10, 0xA0, 0xA1};
inline constexpr std::array<std::uint8_t, 2> kVkWinKeys{0x5B, 0x5C};  // VK_LWIN, VK_RWIN

}  // namespace ombrelin::os
