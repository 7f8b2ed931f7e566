#pragma once

// The action lines that play input on the simulated desktop, and the names the
// journal gives low-level input.

#include <string_view>
#include <vector>

#include "os/input_api.h"
#include "os/low_level_input.h"

namespace ombrelin::os::sim {

// The low-level input of one action line: `device …` for the local user's
// devices, `injected …` for another program's SendInput; `click` is a move, a
// press and a release of the primary button. Buttons go down and up at
// `cursor`. None for any other line.
[[nodiscard]] std::vector<LowLevelInput> parse_input_action(std::string_view line,
                                                            CursorPoint cursor,
                                                            LowLevelButton primary);

// "key-down", "button-up", "move", …
[[nodiscard]] std::string_view event_name(LowLevelKind kind);
// "left", "right", "middle", "x1", "x2", or "none".
[[nodiscard]] std::string_view button_name(LowLevelButton button);

}  // namespace ombrelin::os::sim
