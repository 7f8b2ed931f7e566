#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

namespace ombrelin::native_host {

inline constexpr std::size_t kRequestIdCacheCapacity = 4096;

// The request ids of the commands seen in this run, so that a replayed command is
// never executed twice. Holds at most 4096 ids and forgets the oldest first. Its
// hash is keyed with random bytes drawn for this run, so a page cannot choose ids
// that collide. Main thread only.
class RequestIdCache {
 public:
  RequestIdCache();

  [[nodiscard]] bool contains(std::string_view id) const;
  // Remembers a new id, forgetting the oldest when over capacity.
  void remember(std::string id);
  [[nodiscard]] std::size_t size() const noexcept { return arrival_order_.size(); }

 private:
  struct KeyedHash {
    using is_transparent = void;
    std::array<std::uint8_t, 16> key{};
    std::size_t operator()(std::string_view id) const noexcept;
  };

  std::unordered_set<std::string, KeyedHash, std::equal_to<>> ids_;
  // Views into the set's nodes, which never move.
  std::deque<std::string_view> arrival_order_;
};

}  // namespace ombrelin::native_host
