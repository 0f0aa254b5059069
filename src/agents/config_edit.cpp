// The edits of the agents' configuration files as text to text, apart from
// the files themselves.
#include <optional>
#include <vector>

#include "agents/agents.h"
#include "base/json.h"
#include "base/utf8.h"

namespace vesk::agents {

// ---- Claude Code ---------------------------------------------------------------

Result<std::string> claude_config_edit(const std::optional<std::string>& original,
                                       const LaunchEntry& entry, std::string_view shown) {
  const std::string name(shown);
  Json doc = Json::object();
  if (original) {
    // Writing back recurses once per level: refuse what the parser would.
    if (json_nesting_depth(*original, kMaxJsonDepth) > kMaxJsonDepth) {
      return Error{name + " is nested too deeply to rewrite safely, so I left it alone"};
    }
    // Also refuses bytes that are not UTF-8.
    std::optional<Json> parsed = parse_json(*original);
    if (!parsed) return Error{name + " isn't valid JSON, so I left it alone"};
    if (!parsed->is_object()) return Error{name + " isn't a JSON object, so I left it alone"};
    doc = std::move(*parsed);
  }
  Json& servers = doc["mcpServers"];
  if (!servers.is_object()) servers = Json::object();
  servers["vesk"] = Json{{"args", entry.args},
                         {"command", entry.command},
                         {"env", Json::object()},
                         {"type", "stdio"}};
  return pretty_json(doc);
}

// ---- Codex ---------------------------------------------------------------------

std::string toml_basic_string(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
      // TOML allows no other control character in a basic string, and one
      // there would make Codex reject the whole file.
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string codex_table(const LaunchEntry& entry) {
  std::string out = "\n[mcp_servers.vesk]\ncommand = ";
  out += toml_basic_string(decode_lossy(entry.command));
  out += "\nargs = [";
  for (size_t i = 0; i < entry.args.size(); ++i) {
    if (i > 0) out += ", ";
    out += toml_basic_string(decode_lossy(entry.args[i]));
  }
  out += "]\n";
  return out;
}

namespace {

using KeyPath = std::vector<std::string>;

bool is_blank_char(char c) { return c == ' ' || c == '\t'; }

void skip_blanks(std::string_view line, size_t& i) {
  while (i < line.size() && is_blank_char(line[i])) ++i;
}

bool is_bare_key_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

// A dotted key from line[i]: bare, "basic" or 'literal' parts joined by dots
// (blanks allowed around them); i ends after it. nullopt when none reads.
// Escapes in basic keys are kept as written: such a key never matches.
std::optional<KeyPath> read_key_path(std::string_view line, size_t& i) {
  KeyPath path;
  for (;;) {
    skip_blanks(line, i);
    std::string part;
    if (i < line.size() && (line[i] == '"' || line[i] == '\'')) {
      char quote = line[i++];
      size_t end = line.find(quote, i);
      if (end == std::string_view::npos) return std::nullopt;
      std::string_view quoted = line.substr(i, end - i);
      if (quote == '"' && quoted.find('\\') != std::string_view::npos) part = "\\";
      part += quoted;
      i = end + 1;
    } else {
      size_t start = i;
      while (i < line.size() && is_bare_key_char(line[i])) ++i;
      if (i == start) return std::nullopt;
      part = line.substr(start, i - start);
    }
    path.push_back(std::move(part));
    skip_blanks(line, i);
    if (i >= line.size() || line[i] != '.') return path;
    ++i;
  }
}

bool starts_with(const KeyPath& path, const KeyPath& prefix) {
  return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

enum class ServerEntry { kAbsent, kPresent, kBlocked };

// Whether the TOML text already configures the server "vesk" (a table or a
// key under mcp_servers.vesk), makes mcp_servers something a table cannot be
// added to (a value or an inline table), or neither. Lines inside
// multi-line strings are skipped.
ServerEntry codex_server_entry(std::string_view text) {
  const KeyPath server = {"mcp_servers", "vesk"};
  const KeyPath servers = {"mcp_servers"};
  KeyPath table;
  std::string_view open_string;  // the delimiter of an open multi-line string
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!open_string.empty()) {
      if (line.find(open_string) != std::string_view::npos) open_string = {};
      continue;
    }
    size_t i = 0;
    skip_blanks(line, i);
    if (i < line.size() && line[i] == '[') {
      bool array = i + 1 < line.size() && line[i + 1] == '[';
      i += array ? 2 : 1;
      auto path = read_key_path(line, i);
      if (!path) continue;
      table = std::move(*path);
      if (!array && table == server) return ServerEntry::kPresent;
      continue;
    }
    auto key = read_key_path(line, i);
    skip_blanks(line, i);
    if (!key || i >= line.size() || line[i] != '=') continue;
    KeyPath full = table;
    full.insert(full.end(), key->begin(), key->end());
    if (starts_with(full, server)) return ServerEntry::kPresent;
    if (full == servers) return ServerEntry::kBlocked;
    // A value that opens a multi-line string and does not close it.
    for (std::string_view quotes : {"\"\"\"", "'''"}) {
      std::string_view value = line.substr(i + 1);
      size_t first = value.find(quotes);
      if (first != std::string_view::npos &&
          value.find(quotes, first + quotes.size()) == std::string_view::npos) {
        open_string = quotes;
        break;
      }
    }
  }
  return ServerEntry::kAbsent;
}

}  // namespace

Result<std::optional<std::string>> codex_config_edit(std::string_view old,
                                                     const LaunchEntry& entry,
                                                     std::string_view shown) {
  // Appending to a file in another encoding would leave it in two.
  if (!valid_utf8(old)) return Error{std::string(shown) + " isn't UTF-8 text, so I left it alone"};
  switch (codex_server_entry(old)) {
    case ServerEntry::kPresent: return std::optional<std::string>();
    case ServerEntry::kBlocked:
      return Error{std::string(shown) +
                   " sets mcp_servers in a form a table can't be added to, so I left it alone"};
    case ServerEntry::kAbsent: break;
  }
  std::string text(old);
  text += codex_table(entry);
  return std::optional<std::string>(std::move(text));
}

}  // namespace vesk::agents
