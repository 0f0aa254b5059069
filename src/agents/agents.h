// Putting the MCP server in front of AI agents: the launch entry they are
// given, and the edits of Claude Code's `.claude.json` and Codex's
// `.codex/config.toml` in the user profile.
//
// The user's files are precious. A configuration file is only ever replaced
// whole, through a flushed sibling renamed over it, so it is never seen
// truncated or half-written; a backup is made the same way from the very
// bytes that were read; when anything fails, the original is left as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/user_folders.h"

namespace vesk::agents {

// How an agent starts the MCP server.
struct LaunchEntry {
  std::string command;
  std::vector<std::string> args;
};

// What connecting one agent came to: a one-line message either way.
struct Connection {
  bool ok = false;
  std::string message;
};

// The launch entry for this program: the file "vesk.exe" in the folder of
// the running executable when it exists, otherwise the executable itself,
// "vesk" when its path is unknown; the single argument "mcp".
LaunchEntry server_command();
// The same for a given executable path, or an error for an unknown one.
LaunchEntry server_command_for(const Result<std::string>& exe_path);

// The running executable's path as text; "vesk" when it is unknown.
std::string self_path_text();

// Replaces the file at `path` with `text` through platform::AtomicFile, with
// the sibling platform::temp_sibling(path, "vesk-tmp", this process's id)
// (".claude.json" -> ".claude.vesk-tmp4242"). The new file gets the access of
// `access_from` (by default the file it replaces) before anything is written.
// Fails with the system's message; the target is then as it was and the
// sibling is gone.
Status write_config_file(const std::string& path, std::string_view text);
Status write_config_file(const std::string& path, std::string_view text,
                         const std::string& access_from);

// ---- Claude Code -------------------------------------------------------------

// The file Claude Code reads: CLAUDE_CONFIG_DIR joined with ".claude.json"
// when that is set, else the profile folder joined with ".claude.json". The
// profile folder is USERPROFILE, else (POSIX) HOME or (Windows) the profile
// known folder. A value that is not a full path counts as unset; with no
// folder at all, the message says what to set.
Result<std::string> claude_config_path(const platform::UserFolders& folders,
                                       platform::FolderRule rule);
Result<std::string> claude_config_path();

// Adds the server under "mcpServers" -> "vesk" of the configuration file,
// after a backup of the file beside it (".claude.json.vesk-backup").
Connection connect_claude_code();
Connection connect_claude_code_at(const std::string& path, const LaunchEntry& entry);

// The edit itself, without the file: `original` is the file's bytes
// (nullopt when there is none yet), `shown` its name for messages. The new
// text (the server under "mcpServers" -> "vesk", every other member as it
// was), or why the file is left alone: not UTF-8, not JSON, not an object,
// nested deeper than kMaxJsonDepth.
Result<std::string> claude_config_edit(const std::optional<std::string>& original,
                                       const LaunchEntry& entry, std::string_view shown);

// ---- Codex -------------------------------------------------------------------

// Codex's folder: CODEX_HOME when that is set, else the profile folder (see
// claude_config_path) joined with ".codex". Its presence means Codex is
// installed. With no folder at all, the message says what to set.
Result<std::string> codex_folder(const platform::UserFolders& folders, platform::FolderRule rule);
Result<std::string> codex_folder();
// The folder above joined with "config.toml".
Result<std::string> codex_config_path();

// Appends the table "[mcp_servers.vesk]" to the configuration file unless the
// file already configures that server, after a backup of a non-empty file
// beside it ("config.toml.vesk-backup"). Creates the folder when needed.
Connection connect_codex();
Connection connect_codex_at(const std::string& path, const LaunchEntry& entry);

// The edit itself, without the file: `old` with codex_table appended;
// nullopt when the text already configures the server (a [mcp_servers.vesk]
// table header, or a key under mcp_servers.vesk, outside multi-line
// strings); or why the file is left alone: not UTF-8, or mcp_servers given
// as a value to which no table can be added.
Result<std::optional<std::string>> codex_config_edit(std::string_view old,
                                                     const LaunchEntry& entry,
                                                     std::string_view shown);

// The text as a TOML basic string: in double quotes, with backslash and
// double quote escaped, and the control characters that TOML does not allow
// written as escapes (tab stays as it is).
std::string toml_basic_string(std::string_view text);

// The text appended to config.toml: a line break, the table header, the
// command line and the args line, each ending with a line break.
std::string codex_table(const LaunchEntry& entry);

}  // namespace vesk::agents
