#include "platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "platform/clock.h"

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

}  // namespace
}  // namespace vesk::platform
