// Editing JSON that people write by hand, as text: one member is set or
// removed, or one array element appended or removed, and every other byte
// stays as it was (comments, member order, indentation, line endings, a
// byte-order mark). New text follows the file's own indentation and line
// endings.
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
// (the caller may put the reader's name there), and so is a byte-order mark
// except in JSON with comments (JSON.parse reads it as a stray character).
// A `//` comment that holds a carriage return not followed by a line feed is
// refused in every dialect, since readers disagree on where it ends. Lines
// are counted as editors show them: LF, CRLF and a lone CR each end one. An
// empty or blank text counts as an empty object.

// The member's value now: nullopt when absent (or when an object on the way
// is missing or is no object).
Result<std::optional<Json>> jsonc_member(std::string_view text, MemberPath path,
                                         JsonDialect dialect);

// The text with the member set to `value`: its old value replaced in place,
// or a new member after the last one of its object. Missing objects on the
// way are added; one on the way that is no object is replaced. Empty braces
// on one line get the member on that line; whatever stood between them
// (blanks, a comment) stays, after it.
Result<std::string> jsonc_set_member(std::string_view text, MemberPath path,
                                     const OrderedJson& value, JsonDialect dialect);

// The text without the member; nullopt when there is no such member. A
// member that `jsonc_set_member` added comes out with exactly the text the
// insert wrote, so the text before the insert comes back byte for byte,
// along with the objects the insert made on the way (and the whole document
// it wrote into a blank text). Two texts give the same one after the insert
// only where a blank text ends in a line comment, with or without a line
// break after it (the one with it comes back), and where the member's
// object holds nothing else and is laid out as the insert lays out the
// objects it makes, which the insert could have made (so it goes). Any
// other member goes with its comma, and its line when it stood alone on
// it; its emptied object stays, and so do comments.
Result<std::optional<std::string>> jsonc_remove_member(std::string_view text, MemberPath path,
                                                       JsonDialect dialect);

// The text with `value` as the last element of the array at `path`, after
// the one that is last now and laid out as the array is: on a line of its
// own when the last element stands on its own line, else on the same line;
// in empty brackets on one line, inline, and in empty brackets over lines, on
// a line of its own. A trailing comma stays last. Missing objects on the way
// and a missing array are added as `jsonc_set_member` adds `[value]`. A
// member on the way that is no object, or one at `path` that is no array,
// is refused (" has \"hooks\" as something other than an object, so I left
// it alone"), never replaced.
Result<std::string> jsonc_append_element(std::string_view text, MemberPath path,
                                         const OrderedJson& value, JsonDialect dialect);

// The text without the element `index` (from 0) of the array at `path`.
// The last element, when `jsonc_append_element` wrote it, comes out with
// exactly the text the append wrote, so the text before the append comes
// back byte for byte; an array the append made stays, emptied (dropping it
// is `jsonc_remove_member`'s job). Any other element goes with its comma,
// and its line when it stood alone on it; comments stay. Refused when there
// is no such array or element, and as `jsonc_append_element` refuses.
Result<std::string> jsonc_remove_element(std::string_view text, MemberPath path, size_t index,
                                         JsonDialect dialect);

}  // namespace vesk::agents::edit
