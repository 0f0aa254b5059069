// The program's version: the one place it is written. CMakeLists.txt reads
// it from here for the project version.
#pragma once

#include <string_view>

namespace vesk {

inline constexpr std::string_view kVersion = "1.0.0";

}  // namespace vesk
