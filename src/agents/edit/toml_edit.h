// Editing TOML that people write by hand, as text: a table is found, its
// one-line values replaced, or all of it taken out, and every other line
// stays as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk::agents::edit {

using KeyPath = std::vector<std::string>;

// What a text says of the table at a path, such as mcp_servers.vesk.
struct TomlTable {
  enum class State {
    kAbsent,
    kPresent,  // a [table] header, or a key under the path
    kBlocked,  // its parent given as a value, to which no table can be added
  };
  State state = State::kAbsent;
  // Its "command" and "args" when they are plain one-line values.
  std::optional<std::string> command;
  std::optional<std::vector<std::string>> args;
};

TomlTable toml_find_table(std::string_view text, const KeyPath& path);

// The text without every line that sets something under `path`: its
// [table] with the keys after the header, its subtables, and dotted keys
// elsewhere; a blank line left before a table at the end goes too. Nullopt
// when nothing is there.
std::optional<std::string> toml_remove_table(std::string_view text, const KeyPath& path);

// The text with each key's one-line value in the [table] at `path`
// replaced by the given TOML value text; a key the table lacks is added
// right after its header. Nullopt when there is no such [table] header, or a
// key's value there spans lines or is set twice (the caller then removes and
// adds the table whole).
std::optional<std::string> toml_replace_values(
    std::string_view text, const KeyPath& path,
    const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace vesk::agents::edit
