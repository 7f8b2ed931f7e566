#pragma once

// The identifiers of the indicator window's controls and of its emergency
// shortcut. The indicator chooses them; the simulated desktop knows them too,
// to deliver the local user's actions to the right control.

#include <cstdint>

namespace ombrelin::os {

inline constexpr std::uint32_t kPauseButtonId = 1001;
inline constexpr std::uint32_t kStopButtonId = 1002;
inline constexpr int kEmergencyHotKeyId = 1;

}  // namespace ombrelin::os
