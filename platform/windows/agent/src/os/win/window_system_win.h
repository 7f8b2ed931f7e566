#pragma once

#include <memory>

#include "os/window_system.h"

namespace ombrelin::os::win {

[[nodiscard]] std::unique_ptr<WindowSystem> make_win32_window_system();

}  // namespace ombrelin::os::win
