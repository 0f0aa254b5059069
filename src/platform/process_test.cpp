#include "platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

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

}  // namespace
}  // namespace vesk::platform
