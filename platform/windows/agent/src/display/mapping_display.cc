#include "display/mapping_display.h"

#include <algorithm>
#include <utility>

#include "display/display_enumeration.h"

namespace ombrelin::display {

std::expected<DisplayRecord, MappingDisplayError> choose_mapping_display(os::DisplayApi& displays) {
  auto records = enumerate_displays(displays);
  if (!records) {
    return std::unexpected(MappingDisplayError::kEnumerationFailed);
  }
  const auto primary = std::ranges::find_if(*records, &DisplayRecord::primary);
  if (primary == records->end()) {
    return std::unexpected(MappingDisplayError::kNoPrimaryDisplay);
  }
  return std::move(*primary);
}

std::string input_mapping_text(bool has_input_permission, const DisplayRecord& display) {
  return has_input_permission ? display.name : std::string("No operating-system input");
}

}  // namespace ombrelin::display
