#include "platform/user_folders.h"

#include "platform/win_handle.h"  // windows.h first

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

namespace vesk::platform {

const FolderRule kFolderRule = FolderRule::kWindows;

namespace {

// The known folder's path, without creating it; nullopt when the system
// has none for this user.
std::optional<std::string> known_folder(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  HRESULT hr = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
  std::optional<std::string> out;
  if (SUCCEEDED(hr) && path != nullptr && path[0] != L'\0') out = win::narrow(path);
  CoTaskMemFree(path);  // also after a failure; null is fine
  return out;
}

}  // namespace

UserFolders read_user_folders() {
  UserFolders folders = read_user_folder_variables();
  folders.known_roaming_app_data = known_folder(FOLDERID_RoamingAppData);
  folders.known_profile = known_folder(FOLDERID_Profile);
  folders.known_local_app_data = known_folder(FOLDERID_LocalAppData);
  return folders;
}

}  // namespace vesk::platform
