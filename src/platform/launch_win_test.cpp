#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/fs.h"
#include "platform/launch.h"
#include "platform/win_cmdline.h"
#include "platform/win_handle.h"

namespace vesk::platform {
namespace {

using win::narrow;
using win::widen;

// ---- Quoting ------------------------------------------------------------------

TEST(LaunchQuoting, ProgramArguments) {
  const std::pair<std::wstring, std::wstring> rows[] = {
      {L"plain", L"plain"},
      {L"", L"\"\""},
      {L"two words", L"\"two words\""},
      {L"tab\there", L"\"tab\there\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"\"", L"\"\\\"\""},
      {L"C:\\dir\\file", L"C:\\dir\\file"},
      {L"C:\\dir\\", L"C:\\dir\\"},                  // no quotes: left alone
      {L"C:\\my dir\\", L"\"C:\\my dir\\\\\""},       // before the closing quote
      {L"a\\\"b", L"\"a\\\\\\\"b\""},                 // 1 backslash + quote
      {L"a\\\\ b", L"\"a\\\\ b\""},                   // not before a quote
      {L"a&b|c", L"a&b|c"},                           // nothing special here
  };
  for (const auto& [arg, expected] : rows) {
    std::wstring line;
    win::append_argument(line, arg);
    EXPECT_EQ(line, expected) << narrow(arg);
  }
}

TEST(LaunchQuoting, ProgramCommandLine) {
  auto line = win::program_command_line(L"tool", {L"a", L"b c"});
  ASSERT_TRUE(line) << line.message();
  EXPECT_EQ(*line, L"\"tool\" a \"b c\"");
  EXPECT_FALSE(win::program_command_line(L"to\"ol", {}));
  EXPECT_FALSE(win::program_command_line(L"tool", {std::wstring(L"a\0b", 3)}));
}

TEST(LaunchQuoting, BatchArguments) {
  const std::pair<std::wstring, std::wstring> rows[] = {
      {L"plain", L"plain"},
      {L"C:\\dir\\file.txt", L"C:\\dir\\file.txt"},
      {L"-x=1", L"\"-x=1\""},
      {L"/flag", L"/flag"},
      {L"", L"\"\""},
      {L"two words", L"\"two words\""},
      {L"tab\there", L"\"tab\there\""},
      {L"x & exit /b 9", L"\"x & exit /b 9\""},
      {L"a|b", L"\"a|b\""},
      {L"<in", L"\"<in\""},
      {L">out", L"\">out\""},
      {L"^", L"\"^\""},
      {L"(", L"\"(\""},
      {L")", L"\")\""},
      {L"a,b", L"\"a,b\""},
      {L"a;b", L"\"a;b\""},
      {L"!x!", L"\"!x!\""},
      {L"%PATH%", L"\"%%cd:~,%PATH%%cd:~,%\""},
      {L"100%", L"\"100%%cd:~,%\""},
      {L"\"", L"\"\"\"\""},
      {L"a\"b", L"\"a\"\"b\""},
      {L"\" & exit /b 9 & \"", L"\"\"\" & exit /b 9 & \"\"\""},
      {L"a\\\"b", L"\"a\\\\\"\"b\""},                 // backslash before a quote doubled
      {L"C:\\dir\\", L"\"C:\\dir\\\\\""},             // trailing backslash: quoted, doubled
      {L"C:\\my dir\\\\", L"\"C:\\my dir\\\\\\\\\""},
      {L"caf\u00e9", L"\"caf\u00e9\""},
      {L"a\u00a0b", L"\"a\u00a0b\""},
  };
  for (const auto& [arg, expected] : rows) {
    std::wstring line;
    Status put = win::append_batch_argument(line, arg);
    ASSERT_TRUE(put) << narrow(arg);
    EXPECT_EQ(line, expected) << narrow(arg);
  }
}

TEST(LaunchQuoting, BatchArgumentsRefused) {
  const std::wstring rows[] = {
      std::wstring(L"a\0b", 3), L"a\rb", L"a\nb", L"a\r\nexit /b 9", L"\x1a", L"\x0b",
  };
  for (const std::wstring& arg : rows) {
    std::wstring line;
    Status put = win::append_batch_argument(line, arg);
    ASSERT_FALSE(put) << narrow(arg);
    EXPECT_EQ(put.message(), kBatchArgumentsInvalid);
  }
}

TEST(LaunchQuoting, BatchCommandLine) {
  auto line = win::batch_command_line(L"C:\\my (x) & dir\\run.bat", {L"a", L"b c", L"%x%"});
  ASSERT_TRUE(line) << line.message();
  EXPECT_EQ(*line,
            L"cmd.exe /e:ON /v:OFF /d /c \"\"C:\\my (x) & dir\\run.bat\" a \"b c\" "
            L"\"%%cd:~,%x%%cd:~,%\"\"");

  for (const wchar_t* script : {L"C:\\a\"b.bat", L"C:\\%x%\\run.bat", L"C:\\dir\\", L""}) {
    auto refused = win::batch_command_line(script, {});
    ASSERT_FALSE(refused) << narrow(script);
    EXPECT_EQ(refused.message(), kBatchArgumentsInvalid);
  }
  auto bad_arg = win::batch_command_line(L"C:\\run.bat", {L"ok", L"a\nb"});
  ASSERT_FALSE(bad_arg);
  EXPECT_EQ(bad_arg.message(), kBatchArgumentsInvalid);
}

TEST(LaunchQuoting, IsBatchFile) {
  EXPECT_TRUE(win::is_batch_file(L"C:\\x\\run.bat"));
  EXPECT_TRUE(win::is_batch_file(L"RUN.BAT"));
  EXPECT_TRUE(win::is_batch_file(L"run.Cmd"));
  EXPECT_FALSE(win::is_batch_file(L"run.exe"));
  EXPECT_FALSE(win::is_batch_file(L"run.bat.exe"));
  EXPECT_FALSE(win::is_batch_file(L"run.batch"));
  EXPECT_FALSE(win::is_batch_file(L"bat"));
}

TEST(LaunchQuoting, ProgramExtensions) {
  using List = std::vector<std::wstring>;
  const List all = {L".com", L".exe", L".bat", L".cmd"};
  const std::pair<std::wstring, List> rows[] = {
      {L"", all},
      {L".COM;.EXE;.BAT;.CMD;.VBS;.JS", all},
      {L".CMD;.exe", {L".cmd", L".exe"}},
      {L".EXE;;.Com;.EXE;.PY", {L".exe", L".com"}},
      {L".PY;.PYW", all},
      {L"EXE;.exe.;.ex", all},
  };
  for (const auto& [pathext, expected] : rows) {
    EXPECT_EQ(win::program_extensions(pathext), expected) << narrow(pathext);
  }
}

// ---- Real children ------------------------------------------------------------

Result<int64_t> run(const std::string& program, const std::vector<std::string>& args) {
  TRY_ASSIGN(LaunchedProcess child, LaunchedProcess::start(program, args));
  EXPECT_NE(child.pid(), 0u);
  return child.wait();
}

std::string write_batch(const std::string& folder, const std::string& name,
                        const std::string& body) {
  std::string path = join_path(folder, name);
  Status written = write_file(path, "@echo off\r\n" + body);
  EXPECT_TRUE(written) << written.message();
  return path;
}

// Sets the current folder for a scope.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    old_.assign(n, L'\0');
    old_.resize(GetCurrentDirectoryW(n, old_.data()));
    EXPECT_TRUE(SetCurrentDirectoryW(widen(folder).c_str()));
  }
  ~InFolder() { SetCurrentDirectoryW(old_.c_str()); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::wstring old_;
};

TEST(LaunchWin, BatchExitCode) {
  testing::TempDir dir;
  std::string bat = write_batch(dir.path(), "seven.bat", "exit /b 7\r\n");
  auto code = run(bat, {});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 7);

  // Any letter case, and a .cmd file.
  std::string cmd = write_batch(dir.path(), "Four.CMD", "exit /b 4\r\n");
  code = run(cmd, {"an arg"});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 4);
}

// Arguments that would make cmd run something else (`exit /b 9`) if they
// were not quoted safely. VESK_LAUNCH_TEST holds a value that would break
// out of the quotes if cmd expanded it on the command line.
std::vector<std::string> hostile_batch_arguments() {
  EXPECT_TRUE(SetEnvironmentVariableW(L"VESK_LAUNCH_TEST", L"\" & exit /b 9 & \""));
  return {
      "x & exit /b 9",
      "x\" & exit /b 9 & \"",
      "\" & exit /b 9",
      "x | exit /b 9",
      "x ^& exit /b 9",
      "^\" & exit /b 9",
      "x) & exit /b 9",
      "x\\\" & exit /b 9",
      "x\\",
      "> nul & exit /b 9",
      "< nul & exit /b 9",
      "%COMSPEC% /c exit /b 9",
      "%cd:~,% & exit /b 9",
      "!COMSPEC! & exit /b 9",
      "%VESK_LAUNCH_TEST%",
      "x\"%VESK_LAUNCH_TEST%\"x",
  };
}

// Runs `program` with each hostile argument, alone and between ordinary
// ones: the batch file behind it always exits with 3.
void expect_hostile_arguments_run_nothing_else(const std::string& program) {
  for (const std::string& arg : hostile_batch_arguments()) {
    auto code = run(program, {arg});
    ASSERT_TRUE(code) << arg << ": " << code.message();
    EXPECT_EQ(*code, 3) << arg;
    code = run(program, {"first", arg, "last"});
    ASSERT_TRUE(code) << arg << ": " << code.message();
    EXPECT_EQ(*code, 3) << arg;
  }
  SetEnvironmentVariableW(L"VESK_LAUNCH_TEST", nullptr);
}

TEST(LaunchWin, HostileBatchArgumentsRunNothingElse) {
  testing::TempDir dir;
  expect_hostile_arguments_run_nothing_else(
      write_batch(dir.path(), "three.bat", "exit /b 3\r\n"));
}

TEST(LaunchWin, BatchSeesItsArguments) {
  testing::TempDir dir;
  std::string bat =
      write_batch(dir.path(), "echo args.bat", "echo [%1] [%2]>\"%~dp0out.txt\"\r\nexit /b 0\r\n");
  std::string out = join_path(dir.path(), "out.txt");
  // The batch file's %1 is the quoted text as the rules above write it.
  // (No % here: wine's batch interpreter, unlike Windows, expands variables
  // again in the text that replaces %1, so the file could not show it.)
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"plain", "two words"}, "[plain] [\"two words\"]"},
      {{"a & b", "c|d"}, "[\"a & b\"] [\"c|d\"]"},
      {{"a\"b", ""}, "[\"a\"\"b\"] [\"\"]"},
      {{"(x)", "^"}, "[\"(x)\"] [\"^\"]"},
  };
  for (const auto& [args, expected] : rows) {
    auto code = run(bat, args);
    ASSERT_TRUE(code) << expected << ": " << code.message();
    EXPECT_EQ(*code, 0);
    auto text = read_file(out);
    ASSERT_TRUE(text) << text.message();
    std::string got = *text;
    while (!got.empty() && (got.back() == '\n' || got.back() == '\r' || got.back() == ' ')) {
      got.pop_back();
    }
    EXPECT_EQ(got, expected);
  }
}

TEST(LaunchWin, RefusedBatchArguments) {
  testing::TempDir dir;
  std::string bat = write_batch(dir.path(), "three.bat", "exit /b 3\r\n");
  for (const std::string& arg : {std::string("a\nexit /b 9"), std::string("a\r"),
                                 std::string("a\0b", 3)}) {
    auto started = LaunchedProcess::start(bat, {arg});
    ASSERT_FALSE(started);
    EXPECT_EQ(started.message(), kBatchArgumentsInvalid);
  }
}

TEST(LaunchWin, MissingProgram) {
  testing::TempDir dir;
  for (const std::string& program :
       {std::string("vesk-no-such-program"), std::string("vesk-no-such-program.bat"),
        join_path(dir.path(), "missing.exe"), join_path(dir.path(), "missing"),
        std::string("C:\\vesk-no-such-folder\\tool.exe"), dir.path(), std::string("a\0b", 3)}) {
    auto started = LaunchedProcess::start(program, {});
    ASSERT_FALSE(started) << program;
    EXPECT_EQ(started.message(), kProgramNotFound) << program;
  }
}

TEST(LaunchWin, TrailingDotsAndSpacesAreRefused) {
  testing::TempDir dir;
  std::string bat = write_batch(dir.path(), "seven.bat", "exit /b 7\r\n");
  for (const std::string& program :
       {bat + ".", bat + " ", bat + ". .", bat + "::$DATA", std::string("cmd."),
        std::string("cmd.exe ")}) {
    auto started = LaunchedProcess::start(program, {});
    ASSERT_FALSE(started) << program;
    EXPECT_EQ(started.message(), kProgramNotFound) << program;
  }
}

TEST(LaunchWin, CurrentFolderIsNotSearched) {
  testing::TempDir dir;
  write_batch(dir.path(), "vesk-here-only.bat", "exit /b 7\r\n");
  {
    InFolder in(dir.path());
    auto started = LaunchedProcess::start("vesk-here-only.bat", {});
    ASSERT_FALSE(started);
    EXPECT_EQ(started.message(), kProgramNotFound);

    // A path relative to the current folder is used as given.
    auto code = run(".\\vesk-here-only.bat", {});
    ASSERT_TRUE(code) << code.message();
    EXPECT_EQ(*code, 7);
    code = run("./vesk-here-only.bat", {});
    ASSERT_TRUE(code) << code.message();
    EXPECT_EQ(*code, 7);
  }
}

TEST(LaunchWin, SystemFolderProgram) {
  auto code = run("cmd", {"/c", "exit", "5"});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 5);
  code = run("CMD.EXE", {"/c", "exit 6"});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 6);
}

TEST(LaunchWin, CrashStatusIsNegative) {
  auto code = run("cmd", {"/c", "exit", "-1073741819"});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, -1073741819);  // 0xC0000005
}

TEST(LaunchWin, OwnFolderIsSearchedFirst) {
  // The built program sits beside this test binary.
  auto code = run("vesk", {"--version"});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 0);

  // A path without an extension gets ".exe".
  std::string full = testing::built_program("vesk");
  ASSERT_GT(full.size(), 4u);
  code = run(full.substr(0, full.size() - 4), {"--version"});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 0);
}

// Sets an environment variable for a scope, then puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n != 0) {
      old_.emplace(n, L'\0');
      old_->resize(GetEnvironmentVariableW(name, old_->data(), n));
    }
    EXPECT_TRUE(SetEnvironmentVariableW(name, value.c_str()));
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
};

// As npm installs its tools: a .cmd shim on PATH, run by its bare name.
TEST(LaunchWin, CmdShimOnPathByBareName) {
  testing::TempDir dir;
  write_batch(dir.path(), "vesk-shim.cmd", "exit /b 3\r\n");
  std::string path = ".;relative;" + dir.path();
  ScopedVariable on_path(L"PATH", widen(path));
  expect_hostile_arguments_run_nothing_else("vesk-shim");
  // Refused arguments are refused as before.
  auto started = LaunchedProcess::start("vesk-shim", {"a\nexit /b 9"});
  ASSERT_FALSE(started);
  EXPECT_EQ(started.message(), kBatchArgumentsInvalid);
  // Not from the current folder, nor from a relative PATH entry.
  testing::TempDir here;
  write_batch(here.path(), "vesk-here.cmd", "exit /b 7\r\n");
  std::string relative = join_path(here.path(), "relative");
  ASSERT_TRUE(create_dirs(relative));
  write_batch(relative, "vesk-here.cmd", "exit /b 7\r\n");
  InFolder in(here.path());
  auto missing = LaunchedProcess::start("vesk-here", {});
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.message(), kProgramNotFound);
}

// `tool` as tool.com (the tool child: exits with its first argument) and
// tool.exe (the test child: 100 for arguments it does not know), in one
// folder; a .bat later on PATH. PATHEXT decides.
TEST(LaunchWin, PathextOrderDecides) {
  testing::TempDir first, second;
  auto copy = [](const std::string& built, const std::string& to) {
    ASSERT_TRUE(CopyFileW(widen(testing::built_program(built)).c_str(), widen(to).c_str(), FALSE));
  };
  copy("vesk-toolchild", join_path(first.path(), "vesk-tool.com"));
  copy("vesk-testchild", join_path(first.path(), "vesk-tool.exe"));
  write_batch(second.path(), "vesk-tool.bat", "exit /b 3\r\n");
  write_batch(second.path(), "vesk-later.bat", "exit /b 4\r\n");
  ScopedVariable on_path(L"PATH", widen(first.path() + ";" + second.path()));
  const std::pair<std::wstring, int64_t> rows[] = {
      {L"", 7},                        // the default: .COM first
      {L".COM;.EXE;.BAT;.CMD", 7},
      {L".EXE;.COM", 100},
      {L".bat;.exe", 100},             // folder by folder: the first folder wins
      {L".PY", 7},                     // none usable: the default
  };
  for (const auto& [pathext, expected] : rows) {
    ScopedVariable ext(L"PATHEXT", pathext);
    if (pathext.empty()) SetEnvironmentVariableW(L"PATHEXT", nullptr);
    auto code = run("vesk-tool", {"7", "", ""});
    ASSERT_TRUE(code) << narrow(pathext) << ": " << code.message();
    EXPECT_EQ(*code, expected) << narrow(pathext);
  }
  // An extension left out of PATHEXT is not tried; a name with an
  // extension is used as given.
  ScopedVariable ext(L"PATHEXT", L".EXE");
  EXPECT_EQ(LaunchedProcess::start("vesk-later", {}).message(), kProgramNotFound);
  auto code = run("vesk-later.bat", {});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 4);
  code = run("vesk-tool.com", {"5", "", ""});
  ASSERT_TRUE(code) << code.message();
  EXPECT_EQ(*code, 5);
}

TEST(LaunchWin, WaitTwiceAndMove) {
  auto started = LaunchedProcess::start("cmd", {"/c", "exit", "2"});
  ASSERT_TRUE(started) << started.message();
  LaunchedProcess child = std::move(*started);
  uint32_t pid = child.pid();
  EXPECT_NE(pid, 0u);
  LaunchedProcess moved = std::move(child);
  EXPECT_EQ(moved.pid(), pid);
  auto first = moved.wait();
  ASSERT_TRUE(first) << first.message();
  EXPECT_EQ(*first, 2);
  auto second = moved.wait();
  ASSERT_TRUE(second) << second.message();
  EXPECT_EQ(*second, 2);
}

}  // namespace
}  // namespace vesk::platform
