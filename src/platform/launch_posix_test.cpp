// Stops handed on to a launched child: a child that ignores SIGTERM is
// ended by SIGKILL when a second SIGTERM comes late enough.
#include <signal.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/launch.h"
#include "platform/process.h"

namespace vesk::platform {
namespace {

// Starts the test child ignoring SIGTERM and waits until it says so.
Result<LaunchedProcess> stubborn_child(const std::string& ready, uint32_t kill_after_ms) {
  auto child = LaunchedProcess::start(testing::built_program("vesk-testchild"),
                                      {"stop", ready, "ignore"}, kill_after_ms);
  for (int i = 0; child && i < 1000 && !file_exists(ready); ++i) sleep_ms(10);
  return child;
}

TEST(LaunchedProcessStops, SecondLateTermIsAKill) {
  testing::TempDir dir;
  const std::string ready = join_path(dir.path(), "ready");
  // No wait at all between the two: the second SIGTERM is already late.
  auto child = stubborn_child(ready, 0);
  ASSERT_TRUE(child) << child.message();
  ASSERT_TRUE(file_exists(ready));
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);  // handed on, and ignored
  sleep_ms(100);
  EXPECT_TRUE(process_start_time(child->pid()).has_value());
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);  // handed on as SIGKILL
  auto code = child->wait();
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 128 + SIGKILL);
}

TEST(LaunchedProcessStops, SecondEarlyTermIsATerm) {
  testing::TempDir dir;
  const std::string ready = join_path(dir.path(), "ready");
  auto child = stubborn_child(ready, kKillAfterMs);
  ASSERT_TRUE(child) << child.message();
  ASSERT_TRUE(file_exists(ready));
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);  // within the ten seconds: SIGTERM again
  sleep_ms(100);
  EXPECT_TRUE(process_start_time(child->pid()).has_value());
  ASSERT_EQ(::kill(static_cast<pid_t>(child->pid()), SIGKILL), 0);
  auto code = child->wait();
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 128 + SIGKILL);
}

}  // namespace
}  // namespace vesk::platform
