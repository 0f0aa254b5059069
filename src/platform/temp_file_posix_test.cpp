#include "platform/temp_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/fs.h"

namespace vesk::platform {
namespace {

TEST(WriteNewFile, CreatesTheFileWithTheBytes) {
  testing::TempDir dir;
  std::string path = join_path(dir.path(), "vesk-task-1.xml");
  ASSERT_TRUE(write_new_file(path, std::string("\xFF\xFE<\0", 4)).ok());
  EXPECT_EQ(read_file(path).value_or(""), std::string("\xFF\xFE<\0", 4));
}

TEST(WriteNewFile, ReplacesAStaleFileOfTheSameName) {
  testing::TempDir dir;
  std::string path = join_path(dir.path(), "vesk-task-1.xml");
  ASSERT_TRUE(write_file(path, "an old, longer definition").ok());
  ASSERT_TRUE(write_new_file(path, "new").ok());
  EXPECT_EQ(read_file(path).value_or(""), "new");
}

TEST(WriteNewFile, NeverWritesThroughALink) {
  testing::TempDir dir;
  std::string target = join_path(dir.path(), "precious");
  std::string path = join_path(dir.path(), "vesk-task-1.xml");
  ASSERT_TRUE(write_file(target, "keep me").ok());
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  ASSERT_TRUE(write_new_file(path, "definition").ok());
  EXPECT_EQ(read_file(target).value_or(""), "keep me");
  struct stat st{};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(read_file(path).value_or(""), "definition");
}

TEST(WriteNewFile, ADanglingLinkIsNotFollowedEither) {
  testing::TempDir dir;
  std::string target = join_path(dir.path(), "would-be-created");
  std::string path = join_path(dir.path(), "vesk-task-1.xml");
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  ASSERT_TRUE(write_new_file(path, "definition").ok());
  EXPECT_FALSE(file_exists(target));
  EXPECT_EQ(read_file(path).value_or(""), "definition");
}

TEST(WriteNewFile, AFolderInTheWayIsAnError) {
  testing::TempDir dir;
  std::string path = join_path(dir.path(), "vesk-task-1.xml");
  ASSERT_TRUE(create_dirs(join_path(path, "inner")).ok());
  auto written = write_new_file(path, "definition");
  EXPECT_FALSE(written.ok());
  EXPECT_TRUE(file_exists(join_path(path, "inner")));
}

TEST(TempFolder, FollowsTmpdirWithoutTrailingSeparator) {
  const char* saved = std::getenv("TMPDIR");
  std::string old = saved ? saved : "";
  ::setenv("TMPDIR", "/var/tmp/", 1);
  auto folder = temp_folder();
  if (saved) ::setenv("TMPDIR", old.c_str(), 1); else ::unsetenv("TMPDIR");
  ASSERT_TRUE(folder.ok());
  EXPECT_EQ(*folder, "/var/tmp");
}

}  // namespace
}  // namespace vesk::platform
