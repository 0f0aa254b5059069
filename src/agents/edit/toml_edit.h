// Editing TOML that people write by hand, as text: toml++ reads the file
// (toml_read.h), and the editor writes only the bytes of one table, in
// whichever form the file gives it, every other byte staying as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"

namespace vesk::agents::edit {

using KeyPath = std::vector<std::string>;

// The text as a TOML basic string: in double quotes, with backslash and
// double quote escaped, and the control characters that TOML does not allow
// written as escapes (tab stays as it is).
std::string toml_basic_string(std::string_view text);

// The text with the table at `path` (such as mcp_servers.vesk) holding each
// key set to the given TOML value text ("\"/v\"", "[\"mcp\"]").
//
// A key's existing value is replaced where it is set, whatever the table's
// form: a [header] table, dotted keys (`vesk.command = ...` under
// [mcp_servers], or `mcp_servers.vesk.command = ...` above it), an inline
// table, a value over several lines. A key the table lacks is added in the
// table's form: right after its header, beside its last dotted key, inside
// its inline table; a table written only through its subtables gets its
// header, with the keys, right before the first of them. With no such table
// at all, the text gets a line break, the header and a line for each key
// appended, in the file's own line breaks. Every other key, comment and
// subtable stays as it is.
//
// Keys are compared decoded (bare, "basic" with escapes, 'literal'), and
// multi-line strings are values, whatever lines they hold.
//
// Fails with a phrase that follows the file's name, and nothing is to be
// written, when the text isn't TOML (as toml_document), when a table on the
// path is an array of tables or another value, when a key is a table, when
// the table can't be added in the form the file uses (inside an inline
// table), or when the edited text would not read back as the input with
// only those keys changed.
Result<std::string> toml_set_keys(std::string_view text, const KeyPath& path,
                                  const std::vector<std::pair<std::string, std::string>>& values);

// The text without every line that sets something under `path`: its
// [header] table with its keys, its subtables, dotted keys elsewhere, a
// `vesk = {...}` key (taken out of an inline table above it with the comma
// beside it). Comment lines directly above the next header stay with that
// table; a table at the end goes with the blank line before it, so that
// removing what toml_set_keys appended gives the original bytes back.
// Nullopt when there is no such table. Fails as toml_set_keys on text that
// isn't TOML.
Result<std::optional<std::string>> toml_remove_table(std::string_view text, const KeyPath& path);

}  // namespace vesk::agents::edit
