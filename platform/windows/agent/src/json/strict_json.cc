#include "json/strict_json.h"

#include <algorithm>
#include <cmath>

namespace ombrelin::json {
namespace {

using simdjson::dom::element_type;

constexpr std::size_t kInitialCapacity = 32 * 1024;

}  // namespace

Decoded<StrictObject> StrictObject::open(simdjson::dom::element value) {
  simdjson::dom::object object;
  if (value.get_object().get(object) != simdjson::SUCCESS) {
    return std::unexpected(DecodeError{});
  }
  std::vector<Member> members;
  members.reserve(object.size());
  for (const auto field : object) {
    members.push_back(Member{field.key, field.value});
  }
  // A member named twice is refused outright, even one the record would ignore:
  // the two values could be read differently by different readers.
  std::vector<std::string_view> names(members.size());
  std::ranges::transform(members, names.begin(), &Member::name);
  std::ranges::sort(names);
  if (std::ranges::adjacent_find(names) != names.end()) {
    return std::unexpected(DecodeError{});
  }
  return StrictObject(std::move(members));
}

Decoded<simdjson::dom::element> StrictObject::take(std::string_view name) {
  const auto member = std::ranges::find(members_, name, &Member::name);
  if (member == members_.end() || member->taken) {
    return std::unexpected(DecodeError{});
  }
  member->taken = true;
  return member->value;
}

std::optional<simdjson::dom::element> StrictObject::take_if_present(std::string_view name) {
  const auto member = std::ranges::find(members_, name, &Member::name);
  if (member == members_.end() || member->taken) {
    return std::nullopt;
  }
  member->taken = true;
  return member->value;
}

Decoded<std::string> StrictObject::read_string(simdjson::dom::element value) {
  std::string_view text;
  if (value.get_string().get(text) != simdjson::SUCCESS) {
    return std::unexpected(DecodeError{});
  }
  return std::string(text);
}

Decoded<std::string> StrictObject::take_string(std::string_view name) {
  return taken_as(name, &StrictObject::read_string);
}

Decoded<bool> StrictObject::take_bool(std::string_view name) {
  return taken_as(name, [](simdjson::dom::element value) -> Decoded<bool> {
    bool flag = false;
    if (value.get_bool().get(flag) != simdjson::SUCCESS) {
      return std::unexpected(DecodeError{});
    }
    return flag;
  });
}

Decoded<simdjson::dom::object> StrictObject::take_object(std::string_view name) {
  return taken_as(name, [](simdjson::dom::element value) -> Decoded<simdjson::dom::object> {
    simdjson::dom::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS) {
      return std::unexpected(DecodeError{});
    }
    return object;
  });
}

Decoded<simdjson::dom::array> StrictObject::take_array(std::string_view name) {
  return taken_as(name, [](simdjson::dom::element value) -> Decoded<simdjson::dom::array> {
    simdjson::dom::array array;
    if (value.get_array().get(array) != simdjson::SUCCESS) {
      return std::unexpected(DecodeError{});
    }
    return array;
  });
}

Decoded<float> StrictObject::take_float(std::string_view name) {
  return taken_as(name, [](simdjson::dom::element value) -> Decoded<float> {
    double number = 0;
    switch (value.type()) {
      case element_type::INT64:
        number = static_cast<double>(value.get_int64().value_unsafe());
        break;
      case element_type::UINT64:
        number = static_cast<double>(value.get_uint64().value_unsafe());
        break;
      case element_type::DOUBLE:
        number = value.get_double().value_unsafe();
        break;
      default:
        return std::unexpected(DecodeError{});
    }
    // Narrowing a double beyond the float range is undefined behaviour; such a
    // coordinate saturates to infinity and is refused later as out of range.
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    if (std::fabs(number) > kFloatMax) {
      constexpr float kInfinity = std::numeric_limits<float>::infinity();
      return number > 0 ? kInfinity : -kInfinity;
    }
    return static_cast<float>(number);
  });
}

Decoded<void> StrictObject::finish() const {
  if (!std::ranges::all_of(members_, &Member::taken)) {
    return std::unexpected(DecodeError{});
  }
  return {};
}

DocumentParser::DocumentParser() : parser_(kInitialCapacity) {
  // An allocation failure surfaces as a parse failure of the first document.
  if (parser_.allocate(kInitialCapacity, kMaxNestingDepth) != simdjson::SUCCESS) {
    return;
  }
}

Decoded<simdjson::dom::element> DocumentParser::parse_padded(std::string_view bytes) {
  simdjson::dom::element root;
  if (parser_.parse(bytes.data(), bytes.size(), false).get(root) != simdjson::SUCCESS) {
    return std::unexpected(DecodeError{});
  }
  return root;
}

Decoded<simdjson::dom::element> DocumentParser::parse(std::string_view bytes) {
  simdjson::dom::element root;
  if (parser_.parse(bytes.data(), bytes.size(), true).get(root) != simdjson::SUCCESS) {
    return std::unexpected(DecodeError{});
  }
  return root;
}

}  // namespace ombrelin::json
