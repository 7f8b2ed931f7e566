#include "native_host/request_id_cache.h"

#include <sodium.h>

namespace ombrelin::native_host {

std::size_t RequestIdCache::KeyedHash::operator()(std::string_view id) const noexcept {
  static_assert(crypto_shorthash_KEYBYTES == 16 && crypto_shorthash_BYTES == 8);
  std::array<unsigned char, crypto_shorthash_BYTES> digest{};
  crypto_shorthash(digest.data(), reinterpret_cast<const unsigned char*>(id.data()), id.size(),
                   key.data());
  std::uint64_t value = 0;
  for (const unsigned char byte : digest) {
    value = (value << 8) | byte;
  }
  return static_cast<std::size_t>(value);
}

RequestIdCache::RequestIdCache() : ids_(0, KeyedHash{}) {
  KeyedHash hash;
  randombytes_buf(hash.key.data(), hash.key.size());
  ids_ = std::unordered_set<std::string, KeyedHash, std::equal_to<>>(kRequestIdCacheCapacity + 1,
                                                                     hash);
}

bool RequestIdCache::contains(std::string_view id) const { return ids_.find(id) != ids_.end(); }

void RequestIdCache::remember(std::string id) {
  const auto [node, inserted] = ids_.insert(std::move(id));
  if (!inserted) {
    return;
  }
  arrival_order_.push_back(*node);
  if (arrival_order_.size() > kRequestIdCacheCapacity) {
    ids_.erase(ids_.find(arrival_order_.front()));
    arrival_order_.pop_front();
  }
}

}  // namespace ombrelin::native_host
