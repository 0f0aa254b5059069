// What reaches a POSIX shell: closed pipes and arguments that are not UTF-8.
#include <gtest/gtest.h>

#include "harness.h"

namespace vesk {
namespace {

TEST(VeskStreams, ClosedPipeKeepsTheExitStatus) {
  testing::Sandbox box;
  // The reader is gone before vesk writes: the write fails, vesk still exits
  // normally with its own status.
  const char* script =
      "exec 3>&1; { sleep 0.3; \"$0\" help; echo \"help=$?\" >&3; "
      "\"$0\" NOPE 2>&-; echo \"unknown=$?\" >&3; } | true";
  auto run = platform::run_captured("/bin/sh", {"-c", script, testing::built_program("vesk")},
                                    box.env());
  ASSERT_TRUE(run) << run.message();
  EXPECT_EQ(run->out, "help=0\nunknown=2\n");
}

// Output that cannot be written (a full disk): one line saying so, and
// status 2, for a report and for the completion script alike.
TEST(VeskStreams, FullDiskIsAnError) {
  testing::Sandbox box;
  for (const char* command : {"completion bash", "doctor", "version", "help"}) {
    const std::string script = std::string("\"$0\" ") + command + " > /dev/full";
    auto run = platform::run_captured("/bin/sh", {"-c", script, testing::built_program("vesk")},
                                      box.env());
    ASSERT_TRUE(run) << run.message();
    EXPECT_EQ(run->exit_code, 2) << command;
    EXPECT_EQ(run->out, "") << command;
    EXPECT_EQ(run->err, "vesk: couldn't write the output: No space left on device (os error 28)\n")
        << command;
  }
}

TEST(VeskStreams, ArgumentThatIsNotUtf8) {
  testing::Sandbox box;
  auto run = box.vesk({"\xFF" "x"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, "vesk: unknown command \"\xEF\xBF\xBDx\". Try `vesk help`.\n");
}

}  // namespace
}  // namespace vesk
