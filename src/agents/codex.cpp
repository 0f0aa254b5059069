// Codex: a "[mcp_servers.vesk]" table appended to `.codex/config.toml` in the
// user profile. The file is edited as text; nothing in it is rewritten.
#include <optional>

#include "agents/agents.h"
#include "base/utf8.h"
#include "platform/env.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

Connection failed(std::string message) { return {false, std::move(message)}; }

}  // namespace

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
  Result<std::optional<std::string>> edited = codex_config_edit(old, entry, decode_lossy(path));
  if (!edited) return failed(edited.message());
  if (!*edited) return {true, "Codex already has Vesk."};

  if (std::string folder(platform::parent_folder(path)); !folder.empty()) {
    if (auto made = platform::create_dirs(folder); !made) return failed(made.message());
  }
  if (!old.empty()) {
    std::string backup = platform::replace_extension(path, "toml.vesk-backup");
    if (auto saved = write_config_file(backup, old, path); !saved) {
      return failed(saved.message());
    }
  }
  if (auto written = write_config_file(path, **edited); !written) {
    return failed(written.message());
  }
  return {true, "Added to Codex. New sessions can use Vesk."};
}

}  // namespace vesk::agents
