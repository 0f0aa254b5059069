// The hidden tool runner against a stand-in tool built beside the tests.
#include "platform/system_tool.h"

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/fs.h"

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

TEST(RunHiddenTool, MissingToolGivesTheReason) {
  auto got = run_hidden_tool("vesk-no-such-tool-here.exe", {"/Query"});
  ASSERT_FALSE(got.ok());
  // POSIX: the system's text for a file that cannot be found. Windows: a
  // bare name is only looked for in the system folder.
  bool windows = kPathSeparator == '\\';
  EXPECT_NE(got.message().find(windows ? "not found in the system folder (" : "(os error 2)"),
            std::string::npos)
      << got.message();
}

std::string fake_legacy(std::string_view bytes) { return "legacy:" + std::string(bytes); }

TEST(ToolText, Utf8AsItIsElseTheLegacyReading) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},
      {"ERROR: denied\r\n", "ERROR: denied\r\n"},
      {"Zugriff f\xC3\xBCr", "Zugriff f\xC3\xBCr"},
      {"Zugriff f\x81r", "legacy:Zugriff f\x81r"},  // OEM 850: u-umlaut
      {"\x83\x41\x83\x4E", "legacy:\x83\x41\x83\x4E"},  // Shift-JIS
      {"cut \xC3", "legacy:cut \xC3"},
  };
  for (const auto& [bytes, text] : rows) {
    EXPECT_EQ(utf8_or_legacy(bytes, fake_legacy), text) << bytes;
  }
  // POSIX reads other bytes as UTF-8 with replacements.
  if (kPathSeparator == '/') {
    EXPECT_EQ(tool_text("f\x81r"), "f\xEF\xBF\xBDr");
  }
}

}  // namespace
}  // namespace vesk::platform
