#include "platform/user_folders.h"

namespace vesk::platform {

const FolderRule kFolderRule = FolderRule::kPosix;

UserFolders read_user_folders() { return read_user_folder_variables(); }

}  // namespace vesk::platform
