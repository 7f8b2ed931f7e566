#include "native_host/caller_origin.h"

#include <algorithm>

namespace ombrelin::native_host {

bool is_allowed_caller_origin(const std::vector<std::string>& allowed_extension_ids,
                              std::string_view origin) {
  constexpr std::string_view kScheme = "chrome-extension://";
  if (!origin.starts_with(kScheme) || !origin.ends_with('/')) {
    return false;
  }
  const std::string_view id = origin.substr(kScheme.size(), origin.size() - kScheme.size() - 1);
  return std::ranges::find(allowed_extension_ids, id) != allowed_extension_ids.end();
}

}  // namespace ombrelin::native_host
