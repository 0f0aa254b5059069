#include "platform/temp_file.h"

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/fs.h"

namespace vesk::platform {
namespace {

TEST(WriteNewFileWin, CreatesAndReplacesAStaleFile) {
  testing::TempDir dir;
  std::string path = join_path(dir.path(), "vesk-task-1.xml");
  ASSERT_TRUE(write_new_file(path, std::string("\xFF\xFE<\0", 4)).ok());
  EXPECT_EQ(read_file(path).value_or(""), std::string("\xFF\xFE<\0", 4));
  ASSERT_TRUE(write_new_file(path, "new").ok());
  EXPECT_EQ(read_file(path).value_or(""), "new");
}

TEST(WriteNewFileWin, AFolderInTheWayIsAnError) {
  testing::TempDir dir;
  std::string path = join_path(dir.path(), "vesk-task-1.xml");
  ASSERT_TRUE(create_dirs(join_path(path, "inner")).ok());
  EXPECT_FALSE(write_new_file(path, "definition").ok());
  EXPECT_TRUE(file_exists(join_path(path, "inner")));
}

TEST(TempFolderWin, NoTrailingSeparator) {
  auto folder = temp_folder();
  ASSERT_TRUE(folder.ok()) << folder.message();
  ASSERT_FALSE(folder->empty());
  EXPECT_NE(folder->back(), '\\');
  EXPECT_TRUE(file_exists(*folder));
}

}  // namespace
}  // namespace vesk::platform
