// Codex's table as text.
#include <optional>
#include <vector>

#include "agents/agents.h"
#include "agents/edit/toml_edit.h"
#include "base/json.h"
#include "base/utf8.h"

namespace vesk::agents {


// ---- Codex ---------------------------------------------------------------------

std::string toml_basic_string(std::string_view text) { return edit::toml_basic_string(text); }

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
