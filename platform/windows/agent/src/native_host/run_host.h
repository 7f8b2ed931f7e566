#pragma once

#include <expected>

#include "native_host/fatal_error.h"
#include "os/desktop_environment.h"

namespace ombrelin::native_host {

// The whole run of one browser connection: configuration, caller check, then the
// main loop until standard input ends (success) or a fatal host error.
[[nodiscard]] std::expected<void, FatalError> run_host(os::DesktopEnvironment& desktop);

}  // namespace ombrelin::native_host
