#include "os/sim/journal.h"

#include <cerrno>
#include <string>

namespace ombrelin::os::sim {

void Journal::record(std::string_view object) {
  if (!fd_.valid()) {
    return;
  }
  std::string line;
  line.reserve(object.size() + 1);
  line.append(object).push_back('\n');
  const std::lock_guard lock(mutex_);
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd_.get(), rest.data(), rest.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return;  // the journal only informs; the simulated call itself succeeded
    }
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace ombrelin::os::sim
