#pragma once

#include <memory>

#include "os/display_api.h"
#include "os/sim/desktop_description.h"
#include "os/sim/desktop_state.h"

namespace ombrelin::os::sim {

// The display calls answered from the desktop description: its monitors in
// order, each with one active display configuration path.
[[nodiscard]] std::unique_ptr<DisplayApi> make_simulated_display_api(
    const DesktopDescription& description, const DesktopState& state);

}  // namespace ombrelin::os::sim
