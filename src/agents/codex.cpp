// Codex: a "[mcp_servers.vesk]" table appended to `.codex/config.toml` in the
// user profile. The file is edited as text; nothing in it is rewritten.
#include <optional>

#include "agents/agents.h"
#include "base/utf8.h"
#include "platform/env.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

constexpr std::string_view kMarker = "[mcp_servers.vesk]";

Connection failed(std::string message) { return {false, std::move(message)}; }

}  // namespace

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

Connection connect_codex() {
  auto path = codex_config_path();
  if (!path) return failed(path.message());
  return connect_codex_at(*path, server_command());
}

Connection connect_codex_at(const std::string& path, const LaunchEntry& entry) {
  std::string old;
  if (auto read = platform::read_file(path)) {
    old = std::move(*read);
  } else if (platform::file_exists(path)) {
    return failed(read.message());
  }
  // Appending to a file in another encoding would leave it in two.
  if (!valid_utf8(old)) {
    return failed(decode_lossy(path) + " isn't UTF-8 text, so I left it alone");
  }
  if (old.find(kMarker) != std::string::npos) return {true, "Codex already has Vesk."};

  std::string table = codex_table(entry);
  if (std::string folder(platform::parent_folder(path)); !folder.empty()) {
    if (auto made = platform::create_dirs(folder); !made) return failed(made.message());
  }
  if (!old.empty()) {
    std::string backup = platform::replace_extension(path, "toml.vesk-backup");
    if (auto saved = write_config_file(backup, old, path); !saved) {
      return failed(saved.message());
    }
  }
  if (auto written = write_config_file(path, old + table); !written) {
    return failed(written.message());
  }
  return {true, "Added to Codex. New sessions can use Vesk."};
}

}  // namespace vesk::agents
