// The per-user app folder shared with the tray app.
#pragma once

#include <optional>
#include <string>

namespace vesk::ipc {

// APPDATA/Vesk; else USERPROFILE/AppData/Roaming/Vesk; else
// ./AppData/Roaming/Vesk. A variable that is set counts even when empty.
std::string app_folder_path(const std::optional<std::string>& appdata,
                            const std::optional<std::string>& userprofile);

// The app folder from the environment, created with its parents if missing
// (a failure is ignored: later file operations report it).
std::string app_folder();

}  // namespace vesk::ipc
