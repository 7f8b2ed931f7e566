#pragma once

#include <expected>
#include <vector>

#include "display/adapter_error.h"
#include "display/display_record.h"
#include "os/display_api.h"

namespace ombrelin::display {

// One record per monitor, in the order Windows reports them, or the first
// failure. A monitor without a friendly name is named by its device name.
[[nodiscard]] std::expected<std::vector<DisplayRecord>, AdapterError> enumerate_displays(
    os::DisplayApi& displays);

}  // namespace ombrelin::display
