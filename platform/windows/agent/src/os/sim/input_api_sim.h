#pragma once

#include <memory>

#include "os/input_api.h"
#include "os/sim/desktop_description.h"
#include "os/sim/desktop_state.h"
#include "os/sim/journal.h"

namespace ombrelin::os::sim {

// The input calls answered from the desktop description: its screen size and
// cursor, a US keyboard layout, and SendInput journalled and failing after the
// described number of calls. `journal` outlives the result.
[[nodiscard]] std::unique_ptr<InputApi> make_simulated_input_api(
    const DesktopDescription& description, DesktopState& state, Journal& journal);

}  // namespace ombrelin::os::sim
