#include "platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "platform/clock.h"
#include "platform/process_tree.h"

namespace vesk::platform {
namespace {

// A child that answers a large input with a large output while still
// reading must not deadlock against our writing: `vesk mcp` answers each
// ping line at once.
TEST(CapturedRun, LargeInputAndOutputTogether) {
  testing::Sandbox box;
  std::string input;
  const int count = 20000;
  for (int i = 0; i < count; ++i) {
    input += "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(i) + ",\"method\":\"ping\"}\n";
  }
  auto run = box.vesk({"mcp"}, input);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), count);
  EXPECT_EQ(run.out.substr(0, 37), "{\"id\":0,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
}

TEST(ProcessStartTime, KnowsTheRunningProcess) {
  auto created = process_start_time(current_pid());
  ASSERT_TRUE(created.has_value());
  uint64_t now = system_filetime();
  EXPECT_LE(*created, now + 10000000ULL);  // clock-tick rounding
  EXPECT_GT(*created, now - 3600ULL * 10000000ULL);  // started within the hour
  EXPECT_EQ(process_start_time(current_pid()), created);
}

TEST(ProcessStartTime, EndedProcessIsNotRunning) {
  EXPECT_FALSE(process_start_time(0).has_value());
  testing::Sandbox box;
  auto child = box.start_vesk({"version"});
  ASSERT_TRUE(child) << child.message();
  uint32_t pid = child->pid();
  ASSERT_TRUE(child->wait());
  EXPECT_FALSE(process_start_time(pid).has_value());
}

// What the hooks walk to find the agent: a child names this process as its
// parent and its own program; an ended one is nothing to look at.
TEST(ProcessLink, AChildNamesItsParentAndItsProgram) {
  uint32_t pid = 0;
  {
    auto child = Child::start(testing::built_program("vesk-testchild"), {"exit", "0", "30000"});
    ASSERT_TRUE(child) << child.message();
    pid = child->pid();
    auto link = process_link(pid);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->parent, current_pid());
    // POSIX gives the name alone, Windows with ".exe".
    EXPECT_EQ(link->name.rfind("vesk-testchild", 0), 0u) << link->name;
  }  // ended here
  EXPECT_FALSE(process_link(pid).has_value());
  // Its own parent may be none (a program that wine starts from a host
  // shell has none), but its name is there.
  auto self = process_link(current_pid());
  ASSERT_TRUE(self);
  EXPECT_EQ(self->name.rfind("vesk_tests", 0), 0u) << self->name;
}

}  // namespace
}  // namespace vesk::platform
