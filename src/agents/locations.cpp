// Where the agents keep their configuration: the variables they honour
// first, then the user's profile; never the current folder.
#include "agents/agents.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

using platform::FolderRule;
using platform::UserFolders;

const std::string* profile_folder(const UserFolders& folders, FolderRule rule) {
  if (auto* profile = platform::full_path_of(folders.userprofile)) return profile;
  return platform::full_path_of(rule == FolderRule::kWindows ? folders.known_profile : folders.home);
}

Error no_folder(std::string_view agent, std::string_view variable, FolderRule rule) {
  return Error{"couldn't find where " + std::string(agent) + " keeps its settings: set " +
               std::string(variable) + " or " +
               (rule == FolderRule::kWindows ? "USERPROFILE" : "HOME")};
}

}  // namespace

Result<std::string> claude_config_path(const UserFolders& folders, FolderRule rule) {
  const std::string* folder = platform::full_path_of(folders.claude_config_dir);
  if (folder == nullptr) folder = profile_folder(folders, rule);
  if (folder == nullptr) return no_folder("Claude Code", "CLAUDE_CONFIG_DIR", rule);
  return platform::join_path(*folder, ".claude.json");
}

Result<std::string> claude_config_path() {
  return claude_config_path(platform::read_user_folders(), platform::kFolderRule);
}

Result<std::string> codex_folder(const UserFolders& folders, FolderRule rule) {
  if (auto* home = platform::full_path_of(folders.codex_home)) return *home;
  const std::string* profile = profile_folder(folders, rule);
  if (profile == nullptr) return no_folder("Codex", "CODEX_HOME", rule);
  return platform::join_path(*profile, ".codex");
}

Result<std::string> codex_folder() {
  return codex_folder(platform::read_user_folders(), platform::kFolderRule);
}

Result<std::string> codex_config_path() {
  TRY_ASSIGN(std::string folder, codex_folder());
  return platform::join_path(folder, "config.toml");
}

}  // namespace vesk::agents
