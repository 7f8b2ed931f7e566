#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "display/display_record.h"
#include "os/display_api.h"

namespace ombrelin::display {

// Why no display could be chosen for remote input.
enum class MappingDisplayError : std::uint8_t {
  kEnumerationFailed,
  kNoPrimaryDisplay,
};

// Enumerates the displays and picks the first primary one, which bounds all
// remote pointer input for the session.
[[nodiscard]] std::expected<DisplayRecord, MappingDisplayError> choose_mapping_display(
    os::DisplayApi& displays);

// What the consent prompt says about where input lands: the display's name when
// the session may send pointer or keyboard input, otherwise that it sends none.
[[nodiscard]] std::string input_mapping_text(bool has_input_permission,
                                             const DisplayRecord& display);

}  // namespace ombrelin::display
