// Stand-in for the TOML reader until it lands.
#pragma once
#include "agents/edit/toml_edit.h"
#include "agents/agents.h"
#include "base/json.h"
#include "base/result.h"
#include "base/utf8.h"

namespace vesk::agents::edit::next {

inline Result<Json> toml_document(std::string_view text) {
  if (!valid_utf8(text)) return Error{" isn't UTF-8 text, so I left it alone"};
  TomlTable t = toml_find_table(text, {"mcp_servers", "vesk"});
  Json doc = Json::object();
  if (t.state == TomlTable::State::kBlocked) return Error{" sets mcp_servers in a form a table can't be added to, so I left it alone"};
  if (t.state == TomlTable::State::kPresent) {
    Json e = Json::object();
    if (t.command) e["command"] = *t.command;
    if (t.args) e["args"] = *t.args;
    doc["mcp_servers"]["vesk"] = e;
  }
  return doc;
}

inline Result<std::string> toml_set_keys(std::string_view text, const KeyPath& path,
    const std::vector<std::pair<std::string, std::string>>& values) {
  TomlTable t = toml_find_table(text, path);
  if (t.state == TomlTable::State::kAbsent) {
    std::string out(text);
    out += "\n[mcp_servers.vesk]\n";
    for (auto& [k, v] : values) out += k + " = " + v + "\n";
    return out;
  }
  auto r = toml_replace_values(text, path, values);
  if (!r) return Error{" can't be edited"};
  return *r;
}

inline Result<std::optional<std::string>> toml_remove_table(std::string_view text, const KeyPath& path) {
  return edit::toml_remove_table(text, path);
}

}  // namespace vesk::agents::edit::next
