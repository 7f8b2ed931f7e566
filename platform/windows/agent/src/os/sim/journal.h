#pragma once

#include <mutex>
#include <string_view>

#include "os/sim/unique_fd.h"

namespace ombrelin::os::sim {

// Appends one compact JSON object per simulated Windows call to the journal file,
// whole lines only and written at once, so an outside test that reads the journal
// after a response frame sees every call made before that frame. Thread-safe.
class Journal {
 public:
  // An inactive journal that records nothing.
  Journal() = default;
  // Appends to `fd`, which is already open for appending.
  explicit Journal(UniqueFd fd) : fd_(std::move(fd)) {}
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // `object` is one complete compact JSON object, without the line feed.
  void record(std::string_view object);

 private:
  std::mutex mutex_;
  UniqueFd fd_;
};

}  // namespace ombrelin::os::sim
