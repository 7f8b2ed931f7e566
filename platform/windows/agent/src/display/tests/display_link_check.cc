// Windows build only. Linking this program proves that every display call
// resolves against user32 and shcore; run under Wine or on Windows, it prints
// what the real enumeration reports.

#include <cstdio>

#include "display/display_enumeration.h"
#include "os/win/display_api_win.h"

int main() {
  const auto api = ombrelin::os::win::make_win32_display_api();
  const auto records = ombrelin::display::enumerate_displays(*api);
  if (!records) {
    std::printf("%s\n", ombrelin::display::to_string(records.error()).c_str());
    return 1;
  }
  for (const auto& record : *records) {
    std::printf("%s \"%s\" %d,%d %ux%u rotation %g scale %g %g Hz%s\n", record.id.c_str(),
                record.name.c_str(), record.left, record.top, record.width, record.height,
                static_cast<double>(record.rotation), static_cast<double>(record.scale),
                static_cast<double>(record.refresh_rate), record.primary ? " primary" : "");
  }
  return 0;
}
