// Who may read and write a file.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace vesk::platform {

// Gives `to` the same access as `from`, so that a file rewritten through a
// new sibling is no more readable than the one it replaces, and still
// readable by whoever read it. POSIX: the permission bits, and the owner and
// group when this program runs as root (else only the group, when the user
// may give it, as a best effort). Windows: the DACL (explicit entries, and
// whether it inherits from the folder). A `from` that does not exist is not
// an error (there is nothing to match).
Status copy_access(const std::string& from, const std::string& to);

// Gives the file at `path`, one this program has just created, the
// permission bits `mode` (0644, 0755; only the 0777 bits count) as a new
// file of the user's gets them: the user's file-creation mask (umask)
// still takes its bits away, except that an owner `mode` lets execute
// keeps execute and read (a script must run for its owner whatever the
// mask). Windows: nothing (a file there has no such bits).
Status set_new_file_mode(const std::string& path, uint32_t mode);

// Whether the existing file at `path` (through symbolic links) is one its
// user has made read-only, which a rewrite must respect. POSIX: for root,
// who may write anything, a file without any write bit (0444); for anyone
// else, a file they may not write (faccessat with AT_EACCESS). Windows:
// FILE_ATTRIBUTE_READONLY. False when there is no file.
Result<bool> file_read_only(const std::string& path);

}  // namespace vesk::platform
