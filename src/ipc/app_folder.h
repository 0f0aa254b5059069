// The per-user app folder shared with the tray app.
#pragma once

#include <string>

#include "base/result.h"
#include "platform/user_folders.h"

namespace vesk::ipc {

// The app folder by `rule`, from what `folders` says; a value that is not a
// full path counts as unset, so the folder never depends on the current
// folder:
//   Windows: APPDATA, else the Roaming AppData known folder, else
//            USERPROFILE\AppData\Roaming; then "Vesk".
//   POSIX:   APPDATA, else USERPROFILE/AppData/Roaming, else
//            XDG_CONFIG_HOME, else HOME/.config; then "Vesk".
// With none of them, the message names what to set.
Result<std::string> app_folder_path(const platform::UserFolders& folders,
                                    platform::FolderRule rule);

// The app folder of this process's user (the same rule for `vesk` and the
// stand-in tray app), created with its parents if missing (a failure is
// ignored: later file operations report it). Nothing is created when there
// is no folder.
Result<std::string> app_folder();

}  // namespace vesk::ipc
