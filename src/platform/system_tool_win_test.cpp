// System tools under Windows: only from the system folder, and their text in
// the OEM code page.
#include <gtest/gtest.h>

#include "care/watchdog.h"
#include "harness.h"
#include "platform/fs.h"
#include "platform/system_tool.h"
#include "platform/win_handle.h"

namespace vesk::platform {
namespace {

// "Zugriff verweigert für Aufgabe ä" in code page 850 (and 437).
const std::string kGermanOem = "Zugriff verweigert f\x81r Aufgabe \x84";
const std::string kGermanUtf8 = "Zugriff verweigert f\xC3\xBCr Aufgabe \xC3\xA4";

bool oem_is_western() {
  UINT cp = GetOEMCP();
  return cp == 437 || cp == 850 || cp == 858;
}

TEST(ToolTextWin, ReadsTheOemCodePage) {
  if (!oem_is_western()) GTEST_SKIP() << "OEM code page " << GetOEMCP();
  EXPECT_EQ(legacy_tool_text(kGermanOem), kGermanUtf8);
  EXPECT_EQ(tool_text(kGermanOem), kGermanUtf8);
  EXPECT_EQ(tool_text(kGermanUtf8), kGermanUtf8);  // UTF-8 output stays
}

// A fake system tool that writes its error in the OEM code page.
TEST(ToolTextWin, AToolsErrorReadsCorrectly) {
  if (!oem_is_western()) GTEST_SKIP() << "OEM code page " << GetOEMCP();
  std::string hex;
  for (unsigned char c : kGermanOem + "\r\n") {
    hex += "0123456789abcdef"[c >> 4];
    hex += "0123456789abcdef"[c & 15];
  }
  const std::string tool = testing::built_program("vesk-toolchild");
  auto ran = care::run_system_tool(tool, {"hex", "1", "", hex});
  ASSERT_FALSE(ran);
  EXPECT_EQ(ran.message(), tool + ": " + kGermanUtf8);
}

TEST(SystemToolWin, NeverFromTheCurrentFolder) {
  // The tool child sits in the test binary's folder: made current, it is
  // still not found by its bare name.
  std::string own = testing::built_program("vesk-toolchild");
  std::wstring old(platform::win::kLongestPath, L'\0');
  old.resize(GetCurrentDirectoryW(static_cast<DWORD>(old.size()), old.data()));
  ASSERT_TRUE(SetCurrentDirectoryW(win::widen(parent_folder(own)).c_str()));
  auto got = run_hidden_tool("vesk-toolchild.exe", {"0", "ran", ""});
  SetCurrentDirectoryW(old.c_str());
  ASSERT_FALSE(got);
  EXPECT_NE(got.message().find("not found in the system folder"), std::string::npos)
      << got.message();
  // The system's own tools are found there.
  auto cmd = run_hidden_tool("cmd.exe", {"/c", "exit", "4"});
  ASSERT_TRUE(cmd) << cmd.message();
  EXPECT_EQ(cmd->exit_code, 4);
}

}  // namespace
}  // namespace vesk::platform
