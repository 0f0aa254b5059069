#include "platform/process_control.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::platform {
namespace {

TEST(NiceForPriorityClass, EachClass) {
  const std::pair<uint32_t, std::optional<int>> rows[] = {
      {64, 19},  {16384, 10}, {32, 0}, {32768, -5}, {128, -10}, {256, -20},
      {0, std::nullopt}, {1, std::nullopt}, {33, std::nullopt}, {0xFFFFFFFF, std::nullopt},
  };
  for (const auto& [cls, nice] : rows) EXPECT_EQ(nice_for_priority_class(cls), nice) << cls;
}

TEST(PosixProcessControl, ImagePathOfARunningProgram) {
  ProcessControl& processes = system_processes();
  auto own = processes.image_path(current_pid());
  auto exe = self_exe_path();
  ASSERT_TRUE(own);
  ASSERT_TRUE(exe);
  EXPECT_EQ(*own, *exe);
  EXPECT_EQ(processes.own_pid(), current_pid());
  EXPECT_EQ(processes.start_time(current_pid()), process_start_time(current_pid()));
  EXPECT_FALSE(processes.image_path(0));
  EXPECT_FALSE(processes.image_path(0xFFFFFFFFu));
}

TEST(PosixProcessControl, NothingIsDoneToAnotherIdentity) {
  ProcessControl& processes = system_processes();
  uint32_t self = current_pid();
  auto start = process_start_time(self);
  ASSERT_TRUE(start);
  Status resumed = processes.resume(self, *start + 1);
  ASSERT_FALSE(resumed);
  EXPECT_EQ(resumed.message(),
            "process " + std::to_string(self) + " has ended or is another process now");
  EXPECT_FALSE(processes.restore_priority(self, *start + 1, kNormalPriorityClass));
  EXPECT_FALSE(processes.resume(0, 0));
  EXPECT_FALSE(processes.resume(0x80000000u, 0));  // not a pid_t
  // A value that is no priority class fails as it does on Windows.
  EXPECT_FALSE(processes.restore_priority(self, *start, 5));
  // Resuming a process that runs is harmless and succeeds.
  EXPECT_TRUE(processes.resume(self, *start));
}

// A program whose file was replaced (an update) keeps its name.
TEST(PosixProcessControl, ImagePathOfAReplacedProgram) {
  vesk::testing::TempDir dir;
  std::string copy = join_path(dir.path(), "napper");
  auto program = read_file("/bin/sleep");
  ASSERT_TRUE(program);
  ASSERT_TRUE(write_file(copy, *program));
  ASSERT_EQ(::chmod(copy.c_str(), 0700), 0);
  auto child = Child::start(copy, {"60"});
  ASSERT_TRUE(child) << child.message();
  ASSERT_TRUE(remove_file(copy));
  auto path = system_processes().image_path(child->pid());
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, copy);
}

}  // namespace
}  // namespace vesk::platform
