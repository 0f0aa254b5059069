// `vesk mcp` asked to stop by a signal while its input is still open.
#include <gtest/gtest.h>

#include "harness.h"
#include "standin/standin.h"

namespace vesk {
namespace {

TEST(McpProgram, SigtermEndsTheSessionAtOnceWithStatusZero) {
  testing::Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  // The signal goes out once the server has answered a ping, so that it is
  // surely serving; its input stays open, so only the signal can end it.
  // (Its output file appears only once the server has opened its input,
  // which may be after the first look: grep -s stays quiet about that.)
  const char* script =
      "d=$(mktemp -d) && mkfifo \"$d/in\" || exit 9\n"
      "\"$0\" mcp <\"$d/in\" >\"$d/out\" & pid=$!\n"
      "exec 3>\"$d/in\"\n"
      "echo '{\"id\":1,\"method\":\"ping\"}' >&3\n"
      "i=0; until grep -qs result \"$d/out\" || [ $i -gt 600 ]; do i=$((i+1)); sleep 0.05; done\n"
      "kill -TERM $pid; wait $pid; echo \"status=$?\"; cat \"$d/out\"; rm -rf \"$d\"\n";
  auto run = platform::run_captured("/bin/sh", {"-c", script, testing::built_program("vesk")},
                                    box.env());
  ASSERT_TRUE(run) << run.message();
  EXPECT_EQ(run->out, "status=0\n{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
  EXPECT_EQ(run->err, "");
  // A stopped session sends no release.
  EXPECT_TRUE(app.requests().empty());
}

}  // namespace
}  // namespace vesk
