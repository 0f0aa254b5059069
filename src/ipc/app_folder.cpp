#include "ipc/app_folder.h"

#include <optional>

#include "platform/fs.h"

namespace vesk::ipc {

namespace {

using platform::FolderRule;
using platform::join_path;

std::optional<std::string> base_folder(const platform::UserFolders& folders, FolderRule rule) {
  if (auto* appdata = platform::full_path_of(folders.appdata)) return *appdata;
  if (rule == FolderRule::kWindows) {
    if (auto* known = platform::full_path_of(folders.known_roaming_app_data)) return *known;
  }
  if (auto* profile = platform::full_path_of(folders.userprofile)) {
    return join_path(join_path(*profile, "AppData"), "Roaming");
  }
  if (rule == FolderRule::kPosix) {
    if (auto* xdg = platform::full_path_of(folders.xdg_config_home)) return *xdg;
    if (auto* home = platform::full_path_of(folders.home)) return join_path(*home, ".config");
  }
  return std::nullopt;
}

}  // namespace

Result<std::string> app_folder_path(const platform::UserFolders& folders, FolderRule rule) {
  auto base = base_folder(folders, rule);
  if (!base) {
    return Error{rule == FolderRule::kWindows
                     ? "can't tell where Vesk keeps its files: set APPDATA"
                     : "can't tell where Vesk keeps its files: set HOME"};
  }
  return join_path(*base, "Vesk");
}

Result<std::string> app_folder() {
  TRY_ASSIGN(std::string folder,
             app_folder_path(platform::read_user_folders(), platform::kFolderRule));
  // A folder that can't be made fails the first file operation in it, which
  // says why in its own words.
  (void)platform::create_dirs(folder);
  return folder;
}

}  // namespace vesk::ipc
