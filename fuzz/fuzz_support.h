// What the fuzz targets share: the check that stops the run, and a scratch
// folder for the targets that edit real files.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "support/temp_dir.h"

namespace vesk::fuzzing {

// A broken property: libFuzzer reports the input.
inline void check(bool condition) {
  if (!condition) std::abort();
}

// One per process, in the temporary folder (scripts/fuzz.sh points TMPDIR at
// memory where it can), emptied between inputs and removed at a normal exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    auto made = platform::make_temp_dir("vesk-fuzz-");
    if (!made) std::abort();
    path_ = *made;
  }
  ~ScratchFolder() { platform::remove_tree(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline const std::string& scratch_folder() {
  static const ScratchFolder folder;
  return folder.path();
}

inline std::vector<std::string> names(const std::string& folder) {
  auto listed = platform::list_dir(folder).value_or({});
  std::sort(listed.begin(), listed.end());
  return listed;
}

// Removes everything in the folder.
inline void empty(const std::string& folder) {
  for (const std::string& name : names(folder)) {
    platform::remove_tree(platform::join_path(folder, name));
  }
}

}  // namespace vesk::fuzzing
