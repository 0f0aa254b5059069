#include "base/strict_json.h"

#include <set>
#include <string>
#include <vector>

#include "base/json.h"
#include "base/utf8.h"

namespace vesk {

std::optional<Json> parse_strict_json(std::string_view text, int max_depth) {
  if (json_nesting_depth(text, max_depth) > max_depth) return std::nullopt;
  // As parse_json: a byte-order mark is not white space; UTF-8 only.
  if (text.substr(0, 3) == "\xEF\xBB\xBF" || !valid_utf8(text)) return std::nullopt;

  // The parser keeps the last of two equal keys; the callback sees every key
  // and the objects they belong to.
  std::vector<std::set<std::string>> open_objects;
  bool duplicate = false;
  Json::parser_callback_t watch = [&](int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
        open_objects.emplace_back();
        break;
      case Json::parse_event_t::object_end:
        if (!open_objects.empty()) open_objects.pop_back();
        break;
      case Json::parse_event_t::key:
        if (!open_objects.empty() && parsed.is_string() &&
            !open_objects.back().insert(parsed.get<std::string>()).second) {
          duplicate = true;
        }
        break;
      default:
        break;
    }
    return true;
  };
  Json value = Json::parse(text.begin(), text.end(), watch, /*allow_exceptions=*/false);
  if (duplicate || value.is_discarded()) return std::nullopt;
  return value;
}

}  // namespace vesk
