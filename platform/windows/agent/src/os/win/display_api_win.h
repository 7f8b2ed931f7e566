#pragma once

#include <memory>

#include "os/display_api.h"

namespace ombrelin::os::win {

// The display calls of user32 and shcore.
[[nodiscard]] std::unique_ptr<DisplayApi> make_win32_display_api();

}  // namespace ombrelin::os::win
