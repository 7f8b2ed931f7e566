#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ombrelin::native_host {

// True when the origin is exactly "chrome-extension://" + an allowed id + "/",
// compared byte for byte (the form in which the browser names its caller).
[[nodiscard]] bool is_allowed_caller_origin(const std::vector<std::string>& allowed_extension_ids,
                                            std::string_view origin);

}  // namespace ombrelin::native_host
