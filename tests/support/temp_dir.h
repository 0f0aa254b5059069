// Temporary folders for tests, benchmarks and fuzz targets.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace vesk::platform {

// A new, empty folder in the system's temporary folder.
Result<std::string> make_temp_dir(std::string_view prefix);

// Deletes a folder and everything in it; errors are ignored.
void remove_tree(const std::string& path);

}  // namespace vesk::platform
