// What both benchmarks share: the programs built beside them, a temporary
// app folder, and order statistics.
#pragma once

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "support/temp_dir.h"

namespace vesk::bench {

// A program built in the benchmark's own folder ("vesk", "vesk-standin").
inline std::string sibling(const std::string& name) {
  std::string self = platform::self_exe_path().value_or("./vesk_bench");
  return platform::join_path(platform::parent_folder(self), name + platform::kExeSuffix);
}

// A new temporary folder to serve as APPDATA, with its app folder "Vesk"
// created; nullopt (after a message on standard error) when there is none.
struct AppData {
  std::string root;    // APPDATA
  std::string folder;  // the app folder in it
};
inline std::optional<AppData> make_app_data(std::string_view prefix) {
  auto root = platform::make_temp_dir(prefix);
  if (!root) {
    std::fprintf(stderr, "no temporary folder: %s\n", root.message().c_str());
    return std::nullopt;
  }
  AppData made{*root, platform::join_path(*root, "Vesk")};
  (void)platform::create_dirs(made.folder);
  return made;
}

// The value at fraction `p` of the sorted samples (0.5: the median).
inline double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[i];
}

}  // namespace vesk::bench
