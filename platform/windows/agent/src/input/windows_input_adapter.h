#pragma once

#include <memory>

#include "display/display_record.h"
#include "input/input_adapter.h"
#include "os/input_api.h"

namespace ombrelin::input {

// The input adapter of a session, bounded to `primary` (copied). `api` outlives
// the adapter. Destroying the adapter releases every key and button it still
// holds.
[[nodiscard]] std::unique_ptr<InputAdapter> start_input_adapter(
    os::InputApi& api, const display::DisplayRecord& primary);

}  // namespace ombrelin::input
