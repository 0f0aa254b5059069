// Putting the MCP server in front of AI agents: the launch entry they are
// given and the replace-by-rename write of their files. The agents
// themselves are rows of catalogue.h; registrar.h edits their files.
//
// The user's files are precious. A configuration file is only ever replaced
// whole, through a flushed sibling renamed over it, so it is never seen
// truncated or half-written; a backup is a new file of the very bytes that
// were read, flushed, never one that replaces another; when anything fails,
// the original is left as it was and nothing of the attempt stays.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace vesk::agents {

// How an agent starts the MCP server.
struct LaunchEntry {
  std::string command;
  std::vector<std::string> args;
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
// `access_from` (by default the file it replaces: its permissions, and as
// root its owner) before anything is written. Fails with the system's
// message; the target is then as it was and the sibling is gone.
Status write_config_file(const std::string& path, std::string_view text);
Status write_config_file(const std::string& path, std::string_view text,
                         const std::string& access_from);

// The same, with a last look at the target: `still_current` is asked once
// the sibling is complete and flushed, right before the rename. When it
// answers false (another program has changed the target), or fails, the
// sibling is removed, the target is left alone and that is the answer.
// `new_mode`, when given, is the permission bits the new file gets after
// the access of `access_from` (platform::set_new_file_mode): for a file
// that doesn't exist yet, which has no access to give.
Result<bool> write_config_file(const std::string& path, std::string_view text,
                               const std::string& access_from,
                               const std::function<Result<bool>()>& still_current,
                               std::optional<uint32_t> new_mode = std::nullopt);

// ---- Codex -------------------------------------------------------------------

// The text as a TOML basic string: in double quotes, with backslash and
// double quote escaped, and the control characters that TOML does not allow
// written as escapes (tab stays as it is).
std::string toml_basic_string(std::string_view text);

// The text appended to config.toml: a line break, the table header, the
// command line and the args line, each ending with a line break.
std::string codex_table(const LaunchEntry& entry);

}  // namespace vesk::agents
