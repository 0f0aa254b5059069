#include "ipc/app_folder.h"

#include "platform/env.h"
#include "platform/fs.h"

namespace vesk::ipc {

std::string app_folder_path(const std::optional<std::string>& appdata,
                            const std::optional<std::string>& userprofile) {
  using platform::join_path;
  std::string base;
  if (appdata) {
    base = *appdata;
  } else if (userprofile) {
    base = join_path(join_path(*userprofile, "AppData"), "Roaming");
  } else {
    base = join_path(join_path(".", "AppData"), "Roaming");
  }
  return join_path(base, "Vesk");
}

std::string app_folder() {
  std::string folder =
      app_folder_path(platform::get_env("APPDATA"), platform::get_env("USERPROFILE"));
  (void)platform::create_dirs(folder);
  return folder;
}

}  // namespace vesk::ipc
