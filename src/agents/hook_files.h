// The text of the hook files that are wholly vesk's (Copilot CLI's
// `hooks/vesk.json`, Cline's event scripts, OpenCode's and Kilo's plugin),
// and the key and hash with which Codex trusts a hook in its hooks.json.
// Pure functions: where the files go, and writing them, is the registrar's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/json_fwd.h"
#include "base/result.h"
#include "platform/user_folders.h"

namespace vesk::agents {

// How a hook line names the program it starts.
enum class HookShell {
  kPosix,       // sh, bash: '...', each ' written '\''
  kPowerShell,  // & '...', each single quote (’ and its kin too) doubled
};

// `program` quoted for `shell`, ready to be followed by its arguments:
// "'/opt/my vesk/vesk'" or "& 'C:\Users\O''Neil\vesk.exe'". A program that
// no quoting keeps whole on one line (empty, a NUL, a line break,
// ill-formed UTF-8) is an error that names it.
Result<std::string> quote_program(std::string_view program, HookShell shell);

// The command line that runs `<program> hook <word> <event>` in `shell`.
Result<std::string> hook_command_line(std::string_view program, HookShell shell,
                                      std::string_view word, std::string_view event);

// The agents whose hooks are files of vesk's own.
enum class HookFileAgent { kCopilot, kCline, kOpenCode, kKilo };

// The word that `vesk hook` knows the agent by ("copilot", "cline",
// "opencode", "kilo").
std::string_view hook_file_agent_word(HookFileAgent agent);

// Cline's scripts must be executable: the caller creates them with this mode
// on POSIX (and keeps it when it rewrites them). The other files take the
// usual mode for new files.
inline constexpr std::uint32_t kScriptMode = 0755;
inline constexpr std::uint32_t kPlainFileMode = 0644;

// One file, named relative to the agent's hooks or plugins folder:
// Copilot CLI: `$COPILOT_HOME/hooks` (~/.copilot/hooks), "vesk.json";
// Cline: `$CLINE_DIR/hooks` (~/.cline/hooks), one per event, "TaskStart" on
//   POSIX and "TaskStart.ps1" on Windows;
// OpenCode: `$OPENCODE_CONFIG_DIR/plugins` (~/.config/opencode/plugins) and
// Kilo: `$KILO_CONFIG_DIR/plugins` (~/.config/kilo/plugins), "vesk.js".
struct HookFile {
  std::string name;
  std::string text;
  std::uint32_t mode = kPlainFileMode;

  bool operator==(const HookFile&) const = default;
};

// The events each file agent's hooks are written for. Copilot CLI never gets
// preToolUse or permissionRequest: a failing hook there denies the tool.
std::vector<std::string_view> hook_file_events(HookFileAgent agent);

// Every file `connect` writes for `agent` so that its hooks run `program`,
// for the platform `rule` names. Errors as quote_program's.
Result<std::vector<HookFile>> hook_files(HookFileAgent agent, std::string_view program,
                                         platform::FolderRule rule);

// The names of the files hook_files writes for `agent` on `rule`'s platform,
// whatever the program: what `disconnect` deletes once each is known to be
// ours.
std::vector<std::string> hook_file_names(HookFileAgent agent, platform::FolderRule rule);

// Whether `text` is a file that hook_files wrote: a script or plugin that
// starts with vesk's marker comment (after `#!/bin/sh` and a byte-order mark,
// if any), or a Copilot CLI hooks file whose every hook runs `vesk hook
// copilot`. Anything else is the user's and is left alone.
bool hook_file_is_ours(std::string_view text);

// The program a file of ours starts; nullopt when the file isn't ours or
// names none it could start. When it differs from the program `connect`
// would write now (vesk moved), the file is rewritten.
std::optional<std::string> hook_file_program(std::string_view text);

// Codex's trust of one hook in a hooks.json: the key of its table
// `[hooks.state."<key>"]` in config.toml, "<hooks.json path>:<event in
// snake case>:<group index>:<handler index>" (the path as Codex names it:
// absolute, as found under CODEX_HOME). "PreToolUse" -> "pre_tool_use".
std::string codex_hook_key(std::string_view hooks_json_path, std::string_view event,
                           std::size_t group, std::size_t handler);

// The event's name as Codex's keys and hashes write it: "UserPromptSubmit"
// -> "user_prompt_submit".
std::string codex_event_label(std::string_view event);

// The value for that table's `trusted_hash`: "sha256:<64 hex digits>", the
// hash Codex computes over the event, the group's matcher (dropped for the
// events whose matchers Codex ignores: UserPromptSubmit, Stop, Interrupt)
// and the handler as it normalizes it: a command handler's `command` (its
// `commandWindows` instead, when given, on Windows, which `rule` names),
// `timeout` (600 when absent, at least 1; for SessionEnd and Interrupt 1
// when absent, 1 to 3), `async` and `statusMessage`. As Codex 0.171 hashes
// (its app-server's `hooks/list` reports the same `currentHash`). Nullopt for a handler that isn't a command
// hook Codex would run (not an object, no `"type": "command"`, a blank
// command, or members of the wrong types).
std::optional<std::string> codex_trusted_hash(std::string_view event,
                                              std::optional<std::string_view> matcher,
                                              const Json& handler, platform::FolderRule rule);

}  // namespace vesk::agents
