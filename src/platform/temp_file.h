// Files of our own in the system's temporary folder.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace vesk::platform {

// The system's temporary folder (GetTempPathW; TMPDIR or /tmp), without a
// trailing separator.
Result<std::string> temp_folder();

// Creates `path` as a new file and writes `bytes` to it. Whatever already
// sits at that name (a stale file, a link, a link to elsewhere) is never
// opened or followed: it is removed as a name first (a link goes, not what
// it points to), and the file is then created exclusively; if something
// takes the name again meanwhile, this fails rather than write through it.
Status write_new_file(const std::string& path, std::string_view bytes);

}  // namespace vesk::platform
