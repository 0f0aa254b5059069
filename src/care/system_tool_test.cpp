// The hidden tool runner against a stand-in tool built beside the tests.
#include <gtest/gtest.h>

#include "harness.h"
#include "care/watchdog.h"

namespace vesk::care {
namespace {

std::string tool() { return testing::built_program("vesk-toolchild"); }

TEST(RunSystemTool, ExitCodesAndStreams) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    std::string text;  // the output, or the message after "<tool>: "
  };
  const Case cases[] = {
      {{"0", "line\r\n", "ignored\n"}, true, "line\r\n"},
      {{"0", "", ""}, true, ""},
      {{"1", "", "ERROR: no such task\n"}, false, "ERROR: no such task"},
      {{"1", " out\n", " err\n"}, false, "errout"},
      {{"3", "only out\n", ""}, false, "only out"},
      {{"200", "", ""}, false, ""},
  };
  for (const Case& c : cases) {
    auto got = run_system_tool(tool(), c.args);
    ASSERT_EQ(got.ok(), c.ok) << c.args[0] << " " << c.args[1];
    if (c.ok) {
      EXPECT_EQ(*got, c.text);
    } else {
      EXPECT_EQ(got.message(), tool() + ": " + c.text);
    }
  }
}

TEST(RunSystemTool, MegabytesOnBothStreamsDoNotStall) {
  // 4 KiB a write, alternating, 3 MiB to each stream: far beyond a pipe's
  // buffer, so a reader that drained one stream at a time would hang.
  std::string block(4096, 'x');
  auto got = run_system_tool(tool(), {"0", block, std::string(4096, 'y'), "768"});
  ASSERT_TRUE(got.ok()) << got.message();
  EXPECT_EQ(got->size(), 4096u * 768u);
  EXPECT_EQ(got->find_first_not_of('x'), std::string::npos);
}

TEST(RunSystemTool, HasNoInput) {
  auto got = run_system_tool(tool(), {"stdin"});
  ASSERT_TRUE(got.ok()) << got.message();
  EXPECT_EQ(*got, "no input");
}

TEST(RunSystemTool, MissingToolNamesTheToolAndTheSystemsReason) {
  auto got = run_system_tool("vesk-no-such-tool-here.exe", {"/Query"});
  ASSERT_FALSE(got.ok());
  const std::string prefix = "vesk-no-such-tool-here.exe: ";
  ASSERT_EQ(got.message().substr(0, prefix.size()), prefix);
  // The system's text for a file that cannot be found, with its code.
  EXPECT_NE(got.message().find("(os error 2)"), std::string::npos) << got.message();
}

}  // namespace
}  // namespace vesk::care
