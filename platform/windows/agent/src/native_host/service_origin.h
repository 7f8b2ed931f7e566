#pragma once

#include <string_view>

namespace ombrelin::native_host {

// The service's HTTPS web origin, fixed when the agent is built. Every hello must
// name it exactly, and it is the site a connected status reports.
inline constexpr std::string_view kServiceWebOrigin = OMBRELIN_SERVICE_WEB_ORIGIN;

}  // namespace ombrelin::native_host
