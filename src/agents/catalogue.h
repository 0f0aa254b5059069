// The agents that `connect` and `disconnect` know: one row each, read by
// every command that names agents (connect, disconnect, doctor, mcp-setup,
// uninstall, help and the completion scripts). Adding an agent means adding
// a row.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "agents/agents.h"
#include "agents/edit/jsonc_edit.h"
#include "base/result.h"
#include "platform/user_folders.h"

namespace vesk::agents {

enum class FileFormat {
  kJson,          // plain JSON: the agent refuses comments
  kJsonComments,  // JSON with comments: the agent refuses trailing commas
  kJsonc,         // JSON with comments and trailing commas
  kToml,
};

// What decides where the agents keep their files: the user's folders, the
// platform's rule and the agents' own variables (by name; an empty value
// counts as unset, as does one that is not a full path).
struct AgentEnv {
  platform::UserFolders folders;
  platform::FolderRule rule = platform::kFolderRule;
  std::map<std::string, std::string> variables;

  // The variable when it is a full path, else null.
  const std::string* full_path(const std::string& name) const;
};

// The agents' variables as this process sees them, with the user's folders.
AgentEnv read_agent_env();

// What locating a file may look at on disk.
class FileProbe {
 public:
  virtual ~FileProbe() = default;
  virtual bool exists(const std::string& path) const = 0;
  // The names in a folder; empty when it can't be listed.
  virtual std::vector<std::string> list(const std::string& folder) const = 0;
};

// The real disk.
const FileProbe& system_probe();

// Where an agent keeps its settings.
struct AgentPlace {
  // The file a new entry goes in.
  std::string file;
  // The file or folder whose presence means the agent is installed here.
  std::string presence;
  // Every file the agent reads servers from (it merges them), `file` among
  // them; most agents read only `file`.
  std::vector<std::string> files;
  // Where its lifecycle hooks go: the settings file that holds them, or
  // the folder of vesk's own hook files; empty for an agent without hooks.
  std::string hooks = {};
};

// How an agent's lifecycle hooks are written (see hook_install.h).
enum class HookForm {
  kNone,            // no hooks, or none vesk can use
  kClaudeSettings,  // Claude Code's settings.json, the exec form: no shell starts
  kCodex,           // Codex's hooks.json, and its trust in config.toml
  kGeminiSettings,  // Gemini CLI's settings.json
  kQwenSettings,    // Qwen Code's settings.json
  kCursorHooks,     // Cursor's hooks.json
  kWindsurfHooks,   // Windsurf's hooks.json
  kCopilotFile,     // Copilot CLI: hooks/vesk.json, vesk's own
  kClineScripts,    // Cline: one script of vesk's per event in its hooks folder
  kOpenCodePlugin,  // OpenCode: plugins/vesk.js, vesk's own
  kKiloPlugin,      // Kilo: the same in its folder
};

struct AgentSpec {
  std::span<const std::string_view> words;  // the first is the one shown
  std::string_view display;
  FileFormat format;
  Result<AgentPlace> (*locate)(const AgentEnv& env, const FileProbe& probe);
  std::string_view servers_key;  // the object (or TOML table) that holds "vesk"
  // The entry that starts `launch` (JSON formats only).
  edit::OrderedJson (*entry)(const LaunchEntry& launch);
  std::string_view added_note = {};  // after "Added to <agent>"
  // The agent's own command that adds a user-wide server, up to the
  // program's path; empty when `mcp-setup` doesn't show one.
  std::string_view add_command = {};
  HookForm hooks = HookForm::kNone;
};

// Every row, in the order they are listed and tried.
std::span<const AgentSpec> agent_catalogue();

// The row that a word names (exact, lower case); nullptr when none.
const AgentSpec* find_agent(std::string_view word);

// The first word of every row, in table order.
std::span<const std::string_view> agent_words();
// Every word of every row, in table order.
std::span<const std::string_view> all_agent_words();

// The entry's name and the path to it: {servers_key, "vesk"}.
inline constexpr std::string_view kEntryName = "vesk";

}  // namespace vesk::agents
