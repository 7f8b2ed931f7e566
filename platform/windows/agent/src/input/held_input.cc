#include "input/held_input.h"

#include <algorithm>

namespace ombrelin::input {
namespace {

template <typename Item, typename Hold>
void mark_owed(std::map<Item, Hold>& held, Item item, Hold owed) {
  // A release refused for an item this agent does not hold leaves nothing owed.
  if (const auto found = held.find(item); found != held.end()) {
    found->second = owed;
  }
}

template <typename Item, typename Hold>
std::vector<Item> items(const std::map<Item, Hold>& held) {
  std::vector<Item> list;
  list.reserve(held.size());
  for (const auto& entry : held) {
    list.push_back(entry.first);
  }
  return list;
}

template <typename Item, typename Hold>
std::vector<Item> items_in(const std::map<Item, Hold>& held, Hold state) {
  std::vector<Item> list;
  for (const auto& [item, hold] : held) {
    if (hold == state) {
      list.push_back(item);
    }
  }
  return list;
}

}  // namespace

void HeldInput::pressing(MouseButton button, RemoteButton pressed_for) {
  buttons_[button] = Hold::kDown;
  remote_buttons_[pressed_for] = button;
}

void HeldInput::released(MouseButton button) {
  buttons_.erase(button);
  std::erase_if(remote_buttons_, [button](const auto& entry) { return entry.second == button; });
}

std::optional<MouseButton> HeldInput::button_for(RemoteButton remote) const {
  const auto found = remote_buttons_.find(remote);
  return found == remote_buttons_.end() ? std::nullopt : std::optional(found->second);
}

void HeldInput::release_refused(std::uint16_t virtual_key) {
  mark_owed(keys_, virtual_key, Hold::kReleaseOwed);
}

void HeldInput::release_refused(MouseButton button) {
  mark_owed(buttons_, button, Hold::kReleaseOwed);
}

std::vector<std::uint16_t> HeldInput::keys() const { return items(keys_); }
std::vector<MouseButton> HeldInput::buttons() const { return items(buttons_); }
std::vector<std::uint16_t> HeldInput::keys_owed() const {
  return items_in(keys_, Hold::kReleaseOwed);
}
std::vector<MouseButton> HeldInput::buttons_owed() const {
  return items_in(buttons_, Hold::kReleaseOwed);
}

bool HeldInput::any_owed() const {
  const auto owed = [](const auto& entry) { return entry.second == Hold::kReleaseOwed; };
  return std::ranges::any_of(keys_, owed) || std::ranges::any_of(buttons_, owed);
}

}  // namespace ombrelin::input
