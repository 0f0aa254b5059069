// The hidden tool runner against a stand-in tool built beside the tests.
#include "platform/system_tool.h"

#include <gtest/gtest.h>

#include "harness.h"

namespace vesk::platform {
namespace {

std::string tool() { return testing::built_program("vesk-toolchild"); }

TEST(RunHiddenTool, ExitCodesAndStreams) {
  const std::vector<std::string> cases[] = {
      {"0", "line\r\n", "ignored\n"},
      {"0", "", ""},
      {"1", "", "ERROR: no such task\n"},
      {"1", " out\n", " err\n"},
      {"3", "only out\n", ""},
      {"200", "", ""},
  };
  for (const auto& args : cases) {
    auto got = run_hidden_tool(tool(), args);
    ASSERT_TRUE(got.ok()) << args[0] << " " << args[1] << ": " << got.message();
    EXPECT_EQ(got->exit_code, std::stoi(args[0]));
    EXPECT_EQ(got->out, args[1]);
    EXPECT_EQ(got->err, args[2]);
  }
}

TEST(RunHiddenTool, MegabytesOnBothStreamsDoNotStall) {
  // 4 KiB a write, alternating, 3 MiB to each stream: far beyond a pipe's
  // buffer, so a reader that drained one stream at a time would hang.
  auto got = run_hidden_tool(tool(), {"0", std::string(4096, 'x'), std::string(4096, 'y'), "768"});
  ASSERT_TRUE(got.ok()) << got.message();
  EXPECT_EQ(got->out, std::string(4096u * 768u, 'x'));
  EXPECT_EQ(got->err, std::string(4096u * 768u, 'y'));
}

TEST(RunHiddenTool, HasNoInput) {
  auto got = run_hidden_tool(tool(), {"stdin"});
  ASSERT_TRUE(got.ok()) << got.message();
  EXPECT_EQ(got->out, "no input");
}

TEST(RunHiddenTool, MissingToolGivesTheSystemsReason) {
  auto got = run_hidden_tool("vesk-no-such-tool-here.exe", {"/Query"});
  ASSERT_FALSE(got.ok());
  // The system's text for a file that cannot be found, with its code.
  EXPECT_NE(got.message().find("(os error 2)"), std::string::npos) << got.message();
}

}  // namespace
}  // namespace vesk::platform
