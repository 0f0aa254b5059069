#include "ipc/app_folder.h"

#include <gtest/gtest.h>

#include "platform/fs.h"

namespace vesk::ipc {
namespace {

TEST(AppFolder, FromTheEnvironment) {
  using platform::join_path;
  auto j = [](std::initializer_list<const char*> parts) {
    std::string out;
    for (const char* p : parts) out = out.empty() ? p : join_path(out, p);
    return out;
  };
  EXPECT_EQ(app_folder_path("A", "U"), j({"A", "Vesk"}));
  EXPECT_EQ(app_folder_path("", "U"), "Vesk");  // set but empty still counts
  EXPECT_EQ(app_folder_path(std::nullopt, "U"), j({"U", "AppData", "Roaming", "Vesk"}));
  EXPECT_EQ(app_folder_path(std::nullopt, std::nullopt),
            j({".", "AppData", "Roaming", "Vesk"}));
}

}  // namespace
}  // namespace vesk::ipc
