#pragma once

#include <cstdint>
#include <string>

namespace ombrelin::os {

// An operating-system failure, carried unchanged from the call that saw it to the
// end of the run. It is never printed and never sent to the page.
struct OsError {
  std::uint32_t code = 0;
  std::string context;
};

}  // namespace ombrelin::os
