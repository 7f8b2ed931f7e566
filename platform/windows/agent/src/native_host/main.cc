// Process entry of the native messaging host. Nothing is ever printed: standard
// output carries frames only, and a fatal error is told by the exit status alone.

#include <sodium.h>

#include <cstdlib>

#include "native_host/run_host.h"
#include "os/desktop_environment.h"

int main(int argc, char** argv) {
  constexpr int kFatalStatus = 1;
  if (sodium_init() < 0) {
    return kFatalStatus;
  }
  auto desktop = ombrelin::os::create_desktop_environment(argc, argv);
  if (!desktop) {
    return kFatalStatus;
  }
  const int status = ombrelin::native_host::run_host(**desktop) ? 0 : kFatalStatus;
  // An indicator thread may still be closing its window through the desktop
  // environment; the process ends here without tearing that environment down.
  std::exit(status);
}
