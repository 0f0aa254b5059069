#include "ipc/app_folder.h"

#include <gtest/gtest.h>

#include "platform/fs.h"

namespace vesk::ipc {
namespace {

using platform::FolderRule;
using platform::join_path;
using platform::UserFolders;

TEST(AppFolder, FirstFullPathInTheRulesOrder) {
  // Full paths on this platform; "rel" is relative everywhere.
  const std::string root = platform::kPathSeparator == '\\' ? "C:\\" : "/";
  const std::string a = root + "a", u = root + "u", x = root + "x", h = root + "h",
                    k = root + "k";
  auto j = [](std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& p : parts) out = out.empty() ? p : join_path(out, p);
    return out;
  };
  struct Row {
    UserFolders folders;
    std::string windows;  // empty: no folder
    std::string posix;
  };
  auto with = [](auto setter) {
    UserFolders f;
    setter(f);
    return f;
  };
  const Row rows[] = {
      {with([&](UserFolders& f) { f.appdata = a; f.userprofile = u; f.home = h; }),
       j({a, "Vesk"}), j({a, "Vesk"})},
      {with([&](UserFolders& f) { f.userprofile = u; f.known_roaming_app_data = k; f.home = h; }),
       j({k, "Vesk"}), j({u, "AppData", "Roaming", "Vesk"})},
      {with([&](UserFolders& f) { f.userprofile = u; f.xdg_config_home = x; }),
       j({u, "AppData", "Roaming", "Vesk"}), j({u, "AppData", "Roaming", "Vesk"})},
      {with([&](UserFolders& f) { f.xdg_config_home = x; f.home = h; }), "", j({x, "Vesk"})},
      {with([&](UserFolders& f) { f.home = h; }), "", j({h, ".config", "Vesk"})},
      // Relative values never count: nothing depends on the current folder.
      {with([&](UserFolders& f) { f.appdata = "rel"; f.userprofile = "."; f.home = h; }), "",
       j({h, ".config", "Vesk"})},
      {with([&](UserFolders& f) { f.appdata = "rel"; f.xdg_config_home = "rel"; }), "", ""},
      {UserFolders{}, "", ""},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    for (FolderRule rule : {FolderRule::kWindows, FolderRule::kPosix}) {
      auto got = app_folder_path(rows[i].folders, rule);
      const std::string& want = rule == FolderRule::kWindows ? rows[i].windows : rows[i].posix;
      if (want.empty()) {
        ASSERT_FALSE(got) << "row " << i;
        EXPECT_EQ(got.message(), rule == FolderRule::kWindows
                                     ? "can't tell where Vesk keeps its files: set APPDATA"
                                     : "can't tell where Vesk keeps its files: set HOME");
      } else {
        ASSERT_TRUE(got) << "row " << i << ": " << got.message();
        EXPECT_EQ(*got, want) << "row " << i;
      }
    }
  }
}

}  // namespace
}  // namespace vesk::ipc
