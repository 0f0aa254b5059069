#include "base/json.h"

#include "base/utf8.h"

namespace vesk {

int json_nesting_depth(std::string_view text, int limit) {
  int depth = 0, deepest = 0;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
      if (deepest > limit) return limit + 1;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

bool parseable_json_text(std::string_view text, int max_depth) {
  return without_byte_order_mark(text).size() == text.size() &&
         text.find('\0') == std::string_view::npos &&
         json_nesting_depth(text, max_depth) <= max_depth && valid_utf8(text);
}

std::optional<Json> parse_json(std::string_view text) {
  if (!parseable_json_text(text, kMaxJsonDepth)) return std::nullopt;
  Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

std::string compact_json(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string pretty_json(const Json& value) {
  return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

const std::string* string_member(const Json& object, std::string_view key) {
  const Json* m = member(object, key);
  return m && m->is_string() ? m->get_ptr<const std::string*>() : nullptr;
}

std::optional<bool> bool_member(const Json& object, std::string_view key) {
  const Json* m = member(object, key);
  if (m && m->is_boolean()) return m->get<bool>();
  return std::nullopt;
}

std::optional<double> number_member(const Json& object, std::string_view key) {
  const Json* m = member(object, key);
  if (m && m->is_number()) return m->get<double>();
  return std::nullopt;
}

const Json* array_member(const Json& object, std::string_view key) {
  const Json* m = member(object, key);
  return m && m->is_array() ? m : nullptr;
}

}  // namespace vesk
