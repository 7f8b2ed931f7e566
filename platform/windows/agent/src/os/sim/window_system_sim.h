#pragma once

#include <memory>
#include <string>

#include "os/sim/desktop_description.h"
#include "os/sim/desktop_state.h"
#include "os/sim/journal.h"
#include "os/window_system.h"

namespace ombrelin::os::sim {

// The simulated window system: windows with small integer handles, one message
// queue per thread, the consent answers and failures of the desktop file, and
// the actions file playing the local user at the indicator (and changing the
// shared desktop state). Every call is written to the journal when it returns.
[[nodiscard]] std::unique_ptr<WindowSystem> make_simulated_window_system(
    const DesktopDescription& description, DesktopState& state, Journal& journal,
    std::string actions_path);

}  // namespace ombrelin::os::sim
