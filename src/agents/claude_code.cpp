// Claude Code: the "mcpServers" object of `.claude.json` in the user profile.
#include <optional>

#include "agents/agents.h"
#include "base/utf8.h"
#include "platform/env.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

Connection failed(std::string message) { return {false, std::move(message)}; }

}  // namespace

Connection connect_claude_code() {
  auto path = claude_config_path();
  if (!path) return failed(path.message());
  return connect_claude_code_at(*path, server_command());
}

Connection connect_claude_code_at(const std::string& path, const LaunchEntry& entry) {
  const std::string shown = decode_lossy(path);

  // The file as it is now; nullopt when there is none yet.
  std::optional<std::string> original;
  if (auto read = platform::read_file(path)) {
    original = std::move(*read);
  } else if (platform::file_exists(path)) {
    return failed(read.message());
  }

  Result<std::string> text = claude_config_edit(original, entry, shown);
  if (!text) return failed(text.message());
  if (original) {
    // The backup holds the bytes just read: exactly what this edit started
    // from, even if someone else rewrites the file meanwhile.
    std::string backup = platform::replace_extension(path, "json.vesk-backup");
    if (auto saved = write_config_file(backup, *original, path); !saved) {
      return failed(saved.message());
    }
  }
  if (auto written = write_config_file(path, *text); !written) return failed(written.message());
  return {true, "Added to Claude Code for all projects. New sessions can use Vesk."};
}

}  // namespace vesk::agents
