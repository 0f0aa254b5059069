// Where the system keeps the user's folders, as this platform tells it.
#pragma once

#include <optional>
#include <string>

#include "platform/env.h"
#include "platform/fs.h"

namespace vesk::platform {

// Which platform's rules say where per-user files go (see ipc/app_folder.h
// and agents/agents.h); a value, so that tests can try both anywhere.
enum class FolderRule { kWindows, kPosix };

// This platform's rule.
extern const FolderRule kFolderRule;

// What the environment and the system say about the user's folders. Every
// member is nullopt when unknown; an empty value counts as unknown.
struct UserFolders {
  std::optional<std::string> appdata;          // APPDATA
  std::optional<std::string> userprofile;      // USERPROFILE
  std::optional<std::string> xdg_config_home;  // XDG_CONFIG_HOME
  std::optional<std::string> home;             // HOME
  std::optional<std::string> localappdata;     // LOCALAPPDATA
  // Windows' known folders, which follow folder redirection and do not
  // depend on the environment (SHGetKnownFolderPath with
  // FOLDERID_RoamingAppData, FOLDERID_Profile and FOLDERID_LocalAppData).
  // Nullopt on POSIX.
  std::optional<std::string> known_roaming_app_data;
  std::optional<std::string> known_profile;
  std::optional<std::string> known_local_app_data;
};

// The value when it is a full path (see is_full_path), else null: a folder
// named relative to the current one is no user folder.
inline const std::string* full_path_of(const std::optional<std::string>& value) {
  return value && is_full_path(*value) ? &*value : nullptr;
}

// Reads them all from this process's environment and the system.
UserFolders read_user_folders();

// The environment's part of it, the same on every platform.
inline UserFolders read_user_folder_variables() {
  auto non_empty = [](const char* name) {
    auto value = get_env(name);
    if (value && value->empty()) value.reset();
    return value;
  };
  UserFolders folders;
  folders.appdata = non_empty("APPDATA");
  folders.userprofile = non_empty("USERPROFILE");
  folders.xdg_config_home = non_empty("XDG_CONFIG_HOME");
  folders.home = non_empty("HOME");
  folders.localappdata = non_empty("LOCALAPPDATA");
  return folders;
}

}  // namespace vesk::platform
