// Editing JSON that people write by hand, as text: one member is set or
// removed and every other byte stays as it was (comments, member order,
// indentation, line endings, a byte-order mark). New text follows the file's
// own indentation and line endings.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/json.h"
#include "base/result.h"

namespace vesk::agents::edit {

// What a file may hold besides plain JSON.
enum class JsonDialect {
  kJsonc,     // `//` and `/* */` comments, trailing commas
  kComments,  // comments, but no trailing comma
  kStrict,    // plain JSON: no comment, no trailing comma
};

// A value to write, its object members in the order given.
using OrderedJson = nlohmann::ordered_json;

// The path of a member from the top-level object ({"mcpServers", "vesk"}).
using MemberPath = std::span<const std::string>;

// Every failure is a phrase to follow the file's name: " isn't valid JSON
// (line 3, column 7), so I left it alone". A comment or a trailing comma
// that the dialect doesn't allow is refused as one "its reader" can't take
// (the caller may put the reader's name there). An empty or blank text
// counts as an empty object.

// The member's value now: nullopt when absent (or when an object on the way
// is missing or is no object).
Result<std::optional<Json>> jsonc_member(std::string_view text, MemberPath path,
                                         JsonDialect dialect);

// The text with the member set to `value`: its old value replaced in place,
// or a new member after the last one of its object. Missing objects on the
// way are added; one on the way that is no object is replaced.
Result<std::string> jsonc_set_member(std::string_view text, MemberPath path,
                                     const OrderedJson& value, JsonDialect dialect);

// The text without the member (with its comma, and its line when it stood
// alone on it); nullopt when there is no such member. An emptied object
// stays, empty.
Result<std::optional<std::string>> jsonc_remove_member(std::string_view text, MemberPath path,
                                                       JsonDialect dialect);

}  // namespace vesk::agents::edit
