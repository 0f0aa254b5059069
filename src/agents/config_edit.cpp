// Codex's table as text.
#include <optional>
#include <vector>

#include "agents/agents.h"
#include "base/json.h"
#include "base/utf8.h"

namespace vesk::agents {


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

}  // namespace vesk::agents
