// Who may read and write a file.
#pragma once

#include <string>

#include "base/result.h"

namespace vesk::platform {

// Gives `to` the same access as `from`, so that a file rewritten through a
// new sibling is no more readable than the one it replaces. POSIX: the
// permission bits. Windows: the DACL (explicit entries, and whether it
// inherits from the folder). A `from` that does not exist is not an error
// (there is nothing to match).
Status copy_access(const std::string& from, const std::string& to);

}  // namespace vesk::platform
