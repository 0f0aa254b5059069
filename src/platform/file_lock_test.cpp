#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/clock.h"
#include "platform/fs.h"

namespace vesk::platform {
namespace {

// flock and LockFileEx both refuse a second open of the same file, in this
// process as in another, so one process shows the whole exchange.
TEST(FileLock, ASecondHolderWaitsItsTimeAndIsRefusedUntilTheFirstLetsGo) {
  testing::TempDir dir;
  const std::string path = join_path(dir.path(), "codex-1.lock");
  auto first = FileLock::acquire(path, 0);
  ASSERT_TRUE(first) << first.message();
  EXPECT_TRUE(file_exists(path));

  const uint64_t start = monotonic_ns();
  auto second = FileLock::acquire(path, 60);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.message(), "another process holds it");
  EXPECT_GE(monotonic_ns() - start, uint64_t{60} * 1000000);

  // Moved, the lock is still held; destroyed, it is let go.
  FileLock moved = std::move(*first);
  EXPECT_FALSE(FileLock::acquire(path, 0));
  { FileLock gone = std::move(moved); }
  auto third = FileLock::acquire(path, 0);
  EXPECT_TRUE(third) << third.message();
}

TEST(FileLock, AFileThatCannotBeMadeIsTheSystemsReason) {
  testing::TempDir dir;
  auto lock = FileLock::acquire(join_path(join_path(dir.path(), "missing"), "a.lock"), 0);
  ASSERT_FALSE(lock);
  EXPECT_NE(lock.message().find("(os error "), std::string::npos) << lock.message();
}

}  // namespace
}  // namespace vesk::platform
