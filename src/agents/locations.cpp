// Where the agents keep their configuration: the variables they honour
// first, then the user's folders; never the current folder.
#include "agents/locations.h"

#include <algorithm>

#include "base/utf8.h"
#include "platform/env.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

using platform::FolderRule;
using platform::join_path;

// Every variable an agent row reads.
constexpr const char* kAgentVariables[] = {
    "CLAUDE_CONFIG_DIR", "CODEX_HOME", "GEMINI_CLI_HOME", "QWEN_HOME", "COPILOT_HOME", "CLINE_DIR",
};

std::string join_all(std::string path, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) path = join_path(path, name);
  return path;
}

Error no_folder(std::string_view agent, std::string_view variable, FolderRule rule) {
  std::string set = variable.empty() ? std::string() : std::string(variable) + " or ";
  return Error{"couldn't find where " + std::string(agent) + " keeps its settings: set " + set +
               (rule == FolderRule::kWindows ? "USERPROFILE" : "HOME")};
}

// A folder from a variable, else from the profile joined with `names`.
Result<std::string> variable_or_profile(const AgentEnv& env, std::string_view agent,
                                        const char* variable,
                                        std::initializer_list<std::string_view> names) {
  if (const std::string* set = env.full_path(variable)) return *set;
  const std::string* profile = profile_folder(env);
  if (profile == nullptr) return no_folder(agent, variable, env.rule);
  return join_all(*profile, names);
}

// POSIX's XDG_CONFIG_HOME, else <profile>/.config.
Result<std::string> config_home(const AgentEnv& env, std::string_view agent) {
  if (const std::string* xdg = platform::full_path_of(env.folders.xdg_config_home)) return *xdg;
  const std::string* profile = profile_folder(env);
  if (profile == nullptr) return no_folder(agent, "XDG_CONFIG_HOME", env.rule);
  return join_path(*profile, ".config");
}

// Windows' roaming application data: APPDATA, else the known folder.
Result<std::string> roaming_app_data(const AgentEnv& env, std::string_view agent) {
  if (const std::string* appdata = platform::full_path_of(env.folders.appdata)) return *appdata;
  if (const std::string* known = platform::full_path_of(env.folders.known_roaming_app_data)) {
    return *known;
  }
  return Error{"couldn't find where " + std::string(agent) + " keeps its settings: set APPDATA"};
}

// In a folder, the first of the names that exists, else the fallback.
std::string first_existing(const std::string& folder, std::initializer_list<std::string_view> names,
                           std::string_view fallback, const FileProbe& probe) {
  for (std::string_view name : names) {
    std::string path = join_path(folder, name);
    if (probe.exists(path)) return path;
  }
  return join_path(folder, fallback);
}

// An agent that reads several files in its folder and merges them.
AgentPlace merged_in_folder(const std::string& folder, std::string file,
                            std::initializer_list<std::string_view> reads) {
  AgentPlace place{std::move(file), folder, {}};
  for (std::string_view name : reads) place.files.push_back(join_path(folder, name));
  return place;
}

AgentPlace one_file(std::string file, std::string presence) {
  std::vector<std::string> files{file};
  return {std::move(file), std::move(presence), std::move(files)};
}

AgentPlace in_folder(const std::string& folder, std::string_view name) {
  return one_file(join_path(folder, name), folder);
}

AgentPlace with_hooks(AgentPlace place, std::string hooks) {
  place.hooks = std::move(hooks);
  return place;
}

class SystemProbe final : public FileProbe {
 public:
  // A link that leads nowhere, or round in a loop, is there too: reading
  // the file says what is wrong with it.
  bool exists(const std::string& path) const override { return !platform::file_absent(path); }
  std::vector<std::string> list(const std::string& folder) const override {
    auto names = platform::list_dir(folder);
    return names ? std::move(*names) : std::vector<std::string>();
  }
};

}  // namespace

const std::string* AgentEnv::full_path(const std::string& name) const {
  auto found = variables.find(name);
  if (found == variables.end() || !platform::is_full_path(found->second)) return nullptr;
  return &found->second;
}

AgentEnv read_agent_env() {
  AgentEnv env;
  env.folders = platform::read_user_folders();
  env.rule = platform::kFolderRule;
  for (const char* name : kAgentVariables) {
    auto value = platform::get_env(name);
    if (value && !value->empty()) env.variables[name] = *value;
  }
  return env;
}

const FileProbe& system_probe() {
  static const SystemProbe probe;
  return probe;
}

const std::string* profile_folder(const AgentEnv& env) {
  if (auto* profile = platform::full_path_of(env.folders.userprofile)) return profile;
  return platform::full_path_of(env.rule == FolderRule::kWindows ? env.folders.known_profile
                                                                  : env.folders.home);
}

Result<AgentPlace> locate_claude_code(const AgentEnv& env, const FileProbe&) {
  TRY_ASSIGN(std::string folder, variable_or_profile(env, "Claude Code", "CLAUDE_CONFIG_DIR", {}));
  std::string file = join_path(folder, ".claude.json");
  AgentPlace place = one_file(file, file);
  // CLAUDE_CONFIG_DIR takes the place of ~/.claude, which holds settings.json.
  place.hooks = env.full_path("CLAUDE_CONFIG_DIR") ? join_path(folder, "settings.json")
                                                   : join_all(folder, {".claude", "settings.json"});
  return place;
}

Result<AgentPlace> locate_codex(const AgentEnv& env, const FileProbe&) {
  TRY_ASSIGN(std::string folder, variable_or_profile(env, "Codex", "CODEX_HOME", {".codex"}));
  return with_hooks(in_folder(folder, "config.toml"), join_path(folder, "hooks.json"));
}

Result<AgentPlace> locate_gemini(const AgentEnv& env, const FileProbe&) {
  std::string folder;
  if (const std::string* home = env.full_path("GEMINI_CLI_HOME")) {
    folder = join_path(*home, ".gemini");
  } else if (const std::string* profile = profile_folder(env)) {
    folder = join_path(*profile, ".gemini");
  } else {
    return no_folder("Gemini CLI", "GEMINI_CLI_HOME", env.rule);
  }
  return with_hooks(in_folder(folder, "settings.json"), join_path(folder, "settings.json"));
}

Result<AgentPlace> locate_qwen(const AgentEnv& env, const FileProbe&) {
  TRY_ASSIGN(std::string folder, variable_or_profile(env, "Qwen Code", "QWEN_HOME", {".qwen"}));
  return with_hooks(in_folder(folder, "settings.json"), join_path(folder, "settings.json"));
}

Result<AgentPlace> locate_copilot(const AgentEnv& env, const FileProbe&) {
  TRY_ASSIGN(std::string folder,
             variable_or_profile(env, "GitHub Copilot CLI", "COPILOT_HOME", {".copilot"}));
  return with_hooks(in_folder(folder, "mcp-config.json"), join_path(folder, "hooks"));
}

Result<AgentPlace> locate_opencode(const AgentEnv& env, const FileProbe& probe) {
  TRY_ASSIGN(std::string base, config_home(env, "OpenCode"));
  std::string folder = join_path(base, "opencode");
  return with_hooks(
      merged_in_folder(folder,
                       first_existing(folder, {"opencode.jsonc", "opencode.json", "config.json"},
                                      "opencode.json", probe),
                       {"config.json", "opencode.json", "opencode.jsonc"}),
      join_path(folder, "plugins"));
}

Result<AgentPlace> locate_kilo(const AgentEnv& env, const FileProbe& probe) {
  TRY_ASSIGN(std::string base, config_home(env, "Kilo CLI"));
  std::string folder = join_path(base, "kilo");
  return with_hooks(
      merged_in_folder(folder, first_existing(folder, {"kilo.jsonc", "kilo.json"}, "kilo.json", probe),
                       {"config.json", "kilo.json", "kilo.jsonc", "opencode.json", "opencode.jsonc"}),
      join_path(folder, "plugins"));
}

Result<AgentPlace> locate_cline(const AgentEnv& env, const FileProbe&) {
  TRY_ASSIGN(std::string folder, variable_or_profile(env, "Cline CLI", "CLINE_DIR", {".cline"}));
  return with_hooks(one_file(join_all(folder, {"data", "settings", "cline_mcp_settings.json"}), folder),
                    join_path(folder, "hooks"));
}

Result<AgentPlace> locate_cursor(const AgentEnv& env, const FileProbe&) {
  const std::string* profile = profile_folder(env);
  if (profile == nullptr) return no_folder("Cursor", "", env.rule);
  return with_hooks(in_folder(join_path(*profile, ".cursor"), "mcp.json"),
                    join_all(*profile, {".cursor", "hooks.json"}));
}

Result<AgentPlace> locate_windsurf(const AgentEnv& env, const FileProbe&) {
  const std::string* profile = profile_folder(env);
  if (profile == nullptr) return no_folder("Windsurf", "", env.rule);
  return with_hooks(in_folder(join_all(*profile, {".codeium", "windsurf"}), "mcp_config.json"),
                    join_all(*profile, {".codeium", "windsurf", "hooks.json"}));
}

Result<AgentPlace> locate_vscode(const AgentEnv& env, const FileProbe&) {
  std::string base;
  if (env.rule == FolderRule::kWindows) {
    TRY_ASSIGN(base, roaming_app_data(env, "VS Code"));
  } else {
    TRY_ASSIGN(base, config_home(env, "VS Code"));
  }
  return in_folder(join_all(base, {"Code", "User"}), "mcp.json");
}

Result<AgentPlace> locate_claude_desktop(const AgentEnv& env, const FileProbe& probe) {
  constexpr std::string_view kFile = "claude_desktop_config.json";
  if (env.rule == FolderRule::kPosix) {
    TRY_ASSIGN(std::string base, config_home(env, "Claude Desktop"));
    return in_folder(join_path(base, "Claude"), kFile);
  }
  // The packaged app sees its own copy of the roaming folder, inside its
  // package folder: the one in the real roaming folder it never reads.
  const std::string* local = platform::full_path_of(env.folders.localappdata);
  if (local == nullptr) local = platform::full_path_of(env.folders.known_local_app_data);
  if (local != nullptr) {
    std::string packages = join_path(*local, "Packages");
    std::vector<std::string> names = probe.list(packages);
    std::sort(names.begin(), names.end());
    std::vector<std::string> found, holding;
    for (const std::string& name : names) {
      if (name.rfind("Claude_", 0) != 0) continue;
      std::string roaming = join_all(join_path(packages, name), {"LocalCache", "Roaming"});
      if (!probe.exists(roaming)) continue;
      found.push_back(name);
      if (probe.exists(join_all(roaming, {"Claude", kFile}))) holding.push_back(name);
    }
    auto place = [&](const std::string& name) {
      return in_folder(join_all(join_path(packages, name), {"LocalCache", "Roaming", "Claude"}),
                       kFile);
    };
    if (found.size() == 1) return place(found.front());
    if (holding.size() == 1) return place(holding.front());
    if (found.size() > 1) {
      std::string list;
      for (const std::string& name : found) list += (list.empty() ? "" : ", ") + name;
      return Error{"found several Claude Desktop packages in " + packages + " (" + list +
                   "), so I can't tell which one you use"};
    }
  }
  TRY_ASSIGN(std::string roaming, roaming_app_data(env, "Claude Desktop"));
  return in_folder(join_path(roaming, "Claude"), kFile);
}

}  // namespace vesk::agents
