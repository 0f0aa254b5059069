// Claude Code: the "mcpServers" object of `.claude.json` in the user profile.
#include <optional>

#include "agents/agents.h"
#include "base/json.h"
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

  Json doc = Json::object();
  if (original) {
    // Writing back recurses once per level: refuse what the parser would.
    if (json_nesting_depth(*original, kMaxJsonDepth) > kMaxJsonDepth) {
      return failed(shown + " is nested too deeply to rewrite safely, so I left it alone");
    }
    // Also refuses bytes that are not UTF-8.
    std::optional<Json> parsed = parse_json(*original);
    if (!parsed) return failed(shown + " isn't valid JSON, so I left it alone");
    if (!parsed->is_object()) return failed(shown + " isn't a JSON object, so I left it alone");
    doc = std::move(*parsed);
  }

  Json& servers = doc["mcpServers"];
  if (!servers.is_object()) servers = Json::object();
  servers["vesk"] = Json{{"args", entry.args},
                         {"command", entry.command},
                         {"env", Json::object()},
                         {"type", "stdio"}};
  std::string text = pretty_json(doc);

  if (original) {
    // The backup holds the bytes just read: exactly what this edit started
    // from, even if someone else rewrites the file meanwhile.
    std::string backup = platform::replace_extension(path, "json.vesk-backup");
    if (auto saved = write_config_file(backup, *original, path); !saved) {
      return failed(saved.message());
    }
  }
  if (auto written = write_config_file(path, text); !written) return failed(written.message());
  return {true, "Added to Claude Code for all projects. New sessions can use Vesk."};
}

}  // namespace vesk::agents
