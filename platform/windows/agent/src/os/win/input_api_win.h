#pragma once

#include <memory>

#include "os/input_api.h"

namespace ombrelin::os::win {

// The input calls of user32.
[[nodiscard]] std::unique_ptr<InputApi> make_win32_input_api();

}  // namespace ombrelin::os::win
