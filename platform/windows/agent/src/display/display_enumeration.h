#pragma once

#include <expected>
#include <vector>

#include "display/display_error.h"
#include "display/display_record.h"
#include "os/display_api.h"

namespace ombrelin::display {

// One record per monitor, in the order Windows reports them, or the first
// failure. A monitor without a friendly name is named by its device name.
[[nodiscard]] std::expected<std::vector<DisplayRecord>, DisplayError> enumerate_displays(
    os::DisplayApi& displays);

}  // namespace ombrelin::display
