#include "json/strict_json.h"

#include <algorithm>
#include <cmath>

#include "json/large_numbers.h"

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
    // Narrowed to the nearest float: beyond the largest float by less than half
    // its last step still rounds to it, and only what lies further (ties to the
    // even side, which is infinity) becomes infinity. Done by hand, since a
    // conversion of a double beyond the float range is left undefined.
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    constexpr double kRoundsToInfinity = 0x1.ffffffp127;  // the largest float plus half a step
    if (std::fabs(number) >= kRoundsToInfinity) {
      constexpr float kInfinity = std::numeric_limits<float>::infinity();
      return number > 0 ? kInfinity : -kInfinity;
    }
    if (std::fabs(number) > kFloatMax) {
      return number > 0 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
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
  return parse_document(bytes, false);
}

Decoded<simdjson::dom::element> DocumentParser::parse(std::string_view bytes) {
  return parse_document(bytes, true);
}

Decoded<simdjson::dom::element> DocumentParser::parse_document(std::string_view bytes, bool copy) {
  simdjson::dom::element root;
  const simdjson::error_code parsed = parser_.parse(bytes.data(), bytes.size(), copy).get(root);
  if (parsed == simdjson::SUCCESS) {
    return root;
  }
  // Numbers too large for the parser are still JSON: read them once more in a
  // form it takes. Rare, so the document is only copied then.
  if (parsed == simdjson::NUMBER_ERROR) {
    if (const auto rewritten = rewrite_large_numbers(bytes)) {
      if (parser_.parse(rewritten->data(), rewritten->size(), true).get(root) ==
          simdjson::SUCCESS) {
        return root;
      }
    }
  }
  return std::unexpected(DecodeError{});
}

}  // namespace ombrelin::json
