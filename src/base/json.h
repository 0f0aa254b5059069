// JSON documents: nlohmann::json, whose objects are std::map, so members are
// always in ascending byte order of their keys.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/json_fwd.h"

namespace vesk {

// Arrays and objects nested deeper than this are refused when parsing:
// copying and writing a value recurse once per level (a few kilobytes of
// stack each in an unoptimised build with sanitizers), and real documents
// stay well under ten.
inline constexpr int kMaxJsonDepth = 256;

// The deepest nesting of arrays and objects in `text`, strings skipped;
// stops counting once `limit` is passed (and returns limit + 1).
int json_nesting_depth(std::string_view text, int limit);

// Whether `text` may be handed to the JSON parser at all, for every reader
// of the program: well-formed UTF-8, no leading byte-order mark (it is not
// white space), no NUL byte (the parser would take it for the end of the
// text and miss what follows; JSON has none outside escapes), and nesting
// no deeper than `max_depth`.
bool parseable_json_text(std::string_view text, int max_depth);

// Parses one document from UTF-8 text, white space around it allowed.
// Fails on text that is not parseable_json_text (kMaxJsonDepth) and on
// anything after the document.
std::optional<Json> parse_json(std::string_view text);

// No white space at all. Ill-formed UTF-8 inside strings is replaced.
std::string compact_json(const Json& value);
// Two-space indentation, ": " after keys, no trailing newline.
std::string pretty_json(const Json& value);

// Member readers: nullptr or nullopt when `object` is not an object, has no
// such member, or the member has another JSON type.
const Json* member(const Json& object, std::string_view key);
const std::string* string_member(const Json& object, std::string_view key);
std::optional<bool> bool_member(const Json& object, std::string_view key);
std::optional<double> number_member(const Json& object, std::string_view key);
const Json* array_member(const Json& object, std::string_view key);

}  // namespace vesk
