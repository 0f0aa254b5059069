#include "care/watchdog.h"

#include <gtest/gtest.h>

#include <map>

#include "base/utf8.h"
#include "harness.h"
#include "platform/fs.h"

namespace vesk::care {
namespace {

// The whole definition for a program path, written out line by line.
std::string expected_definition(const std::string& escaped_path) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo><Description>Puts apps and power settings back if Vesk stops "
         "unexpectedly.</Description></RegistrationInfo>\n"
         "  <Triggers>\n"
         "    <TimeTrigger>\n"
         "      <StartBoundary>2025-01-01T00:00:00</StartBoundary>\n"
         "      <Enabled>true</Enabled>\n"
         "      <Repetition><Interval>PT1M</Interval><StopAtDurationEnd>false</StopAtDurationEnd></Repetition>\n"
         "    </TimeTrigger>\n"
         "  </Triggers>\n"
         "  <Principals><Principal id=\"Author\"><LogonType>InteractiveToken</LogonType><RunLevel>LeastPrivilege</RunLevel></Principal></Principals>\n"
         "  <Settings>\n"
         "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
         "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
         "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
         "    <StartWhenAvailable>true</StartWhenAvailable>\n"
         "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\n"
         "    <IdleSettings><StopOnIdleEnd>false</StopOnIdleEnd><RestartOnIdle>false</RestartOnIdle></IdleSettings>\n"
         "    <AllowStartOnDemand>true</AllowStartOnDemand>\n"
         "    <Enabled>true</Enabled>\n"
         "    <Hidden>true</Hidden>\n"
         "    <ExecutionTimeLimit>PT1M</ExecutionTimeLimit>\n"
         "    <Priority>7</Priority>\n"
         "  </Settings>\n"
         "  <Actions Context=\"Author\"><Exec><Command>" +
         escaped_path +
         "</Command><Arguments>watchdog</Arguments></Exec></Actions>\n"
         "</Task>\n";
}

// A folder name with an ampersand, an apostrophe and U+1F600.
const std::string kAwkwardPath = "C:\\Users\\Tom & Jerry's \xF0\x9F\x98\x80\\vesk-app.exe";
const std::string kAwkwardEscaped =
    "C:\\Users\\Tom &amp; Jerry&apos;s \xF0\x9F\x98\x80\\vesk-app.exe";

TEST(TaskDefinition, AwkwardPathByteForByte) {
  std::string text = task_definition(kAwkwardPath);
  EXPECT_EQ(text, expected_definition(kAwkwardEscaped));
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 26u);
  EXPECT_EQ(text.back(), '\n');
}

TEST(TaskDefinition, UnreadableBytesBecomeReplacementCharacters) {
  EXPECT_EQ(task_definition("C:\\a\xFF.exe"), expected_definition("C:\\a\xEF\xBF\xBD.exe"));
}

TEST(XmlEscape, EachCharacterOnceAmpersandFirst) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"&", "&amp;"},
      {"<>", "&lt;&gt;"},
      {"\"'", "&quot;&apos;"},
      {"&amp;", "&amp;amp;"},  // an ampersand in the text is still an ampersand
      {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(xml_escape(in), out) << in;
}

TEST(DefinitionBytes, MarkThenLittleEndianWithSurrogatePairs) {
  // "A&" then U+1F600 then "é".
  std::string bytes = utf16le_with_mark("A&\xF0\x9F\x98\x80\xC3\xA9");
  EXPECT_EQ(bytes, std::string("\xFF\xFE"
                               "A\0&\0"
                               "\x3D\xD8\x00\xDE"
                               "\xE9\0",
                               12));
}

TEST(DefinitionBytes, WholeDefinitionStartsWithMarkAndDeclaration) {
  std::string bytes = utf16le_with_mark(task_definition(kAwkwardPath));
  ASSERT_GE(bytes.size(), 6u);
  EXPECT_EQ(bytes.substr(0, 6), std::string("\xFF\xFE<\0?\0", 6));
  // Every character of the text is one unit except the one outside the
  // plane, which is two.
  std::u16string units = utf8_to_utf16(task_definition(kAwkwardPath));
  EXPECT_EQ(bytes.size(), 2 + units.size() * 2);
  EXPECT_NE(bytes.find(std::string("\x3D\xD8\x00\xDE", 4)), std::string::npos);
}

TEST(DefinitionPath, NameCarriesTheProcessId) {
  EXPECT_EQ(definition_path("/tmp", 4242),
            platform::join_path("/tmp", "vesk-task-4242.xml"));
}

TEST(ToolOutcome, Table) {
  struct Case {
    int code;
    std::string out, err;
    bool ok;
    std::string text;
  };
  const Case cases[] = {
      {0, "  listed\r\n", "", true, "  listed\r\n"},  // untrimmed on success
      {0, "caf\xC3\xA9 \xE2\x9C\x93", "ignored", true, "caf\xC3\xA9 \xE2\x9C\x93"},  // UTF-8 kept
      // Other bytes are read as platform::tool_text does (tested there).
      {0, "f\x81r", "", true, platform::tool_text("f\x81r")},
      {1, "", "f\x81r\r\n", false, "schtasks.exe: " + platform::tool_text("f\x81r")},
      {1, "", "ERROR: The system cannot find the file specified.\r\n", false,
       "schtasks.exe: ERROR: The system cannot find the file specified."},
      {1, " out text \n", "\n err text \n", false, "schtasks.exe: err textout text"},
      {5, "only out\n", "", false, "schtasks.exe: only out"},
      {255, "", " \r\n", false, "schtasks.exe: exited with status 255"},
  };
  for (const Case& c : cases) {
    auto got = tool_outcome("schtasks.exe", platform::ToolOutput{c.code, c.out, c.err});
    ASSERT_EQ(got.ok(), c.ok) << c.code << " " << c.out;
    EXPECT_EQ(c.ok ? *got : got.message(), c.text);
  }
}

// A tool that ran gives tool_outcome's reading; one that could not start
// gives its name and the system's reason.
TEST(RunSystemTool, NamesTheTool) {
  const std::string tool = testing::built_program("vesk-toolchild");
  auto ran = run_system_tool(tool, {"1", " out\n", " err\n"});
  ASSERT_FALSE(ran.ok());
  EXPECT_EQ(ran.message(), tool + ": errout");
  auto missing = run_system_tool("vesk-no-such-tool-here.exe", {"/Query"});
  ASSERT_FALSE(missing.ok());
  const std::string prefix = "vesk-no-such-tool-here.exe: ";
  EXPECT_EQ(missing.message().substr(0, prefix.size()), prefix);
  EXPECT_GT(missing.message().size(), prefix.size() + 10) << missing.message();
}

// The program's folder, with the platform's separators.
std::string app_folder() {
  const std::string sep(1, platform::kPathSeparator);
  return "C:" + sep + "Apps" + sep + "Vesk";
}
std::string self_path() { return platform::join_path(app_folder(), "vesk.exe"); }

// Records what install_watchdog does with the system.
class FakeWatchdogSystem final : public WatchdogSystem {
 public:
  Result<std::string> self{self_path()};
  std::map<std::string, bool> existing;
  Result<std::string> temp{std::string("C:\\Temp")};
  Status write_status;
  Result<std::string> tool_answer{std::string("SUCCESS")};

  std::map<std::string, std::string> files;  // what is in the temp folder now
  std::string written;                         // the bytes last written
  std::vector<std::pair<std::string, std::vector<std::string>>> tool_runs;
  std::vector<std::string> removed;
  // remove_registrations: what each deletion gives, and every deletion in
  // order, the tool's runs among them.
  Status task_result, key_result, value_result, file_result;
  std::vector<std::string> deletions;

  Result<std::string> self_exe_path() override { return self; }
  bool file_exists(const std::string& path) override { return existing[path]; }
  Result<std::string> temp_folder() override { return temp; }
  uint32_t pid() override { return 77; }
  Status write_new_file(const std::string& path, std::string_view bytes) override {
    if (!write_status) return write_status;
    files[path] = std::string(bytes);
    written = std::string(bytes);
    return {};
  }
  Result<std::string> run_system_tool(const std::string& program,
                                      const std::vector<std::string>& args) override {
    tool_runs.emplace_back(program, args);
    // The tool sees the definition while it registers the task.
    if (args.at(0) == "/Create") {
      EXPECT_EQ(files.size(), 1u);
    }
    std::string run = "tool " + program;
    for (const std::string& arg : args) run += " " + arg;
    deletions.push_back(run);
    return tool_answer;
  }
  Status remove_file(const std::string& path) override {
    removed.push_back(path);
    files.erase(path);
    return {};
  }
  Status delete_scheduled_task(const std::string& name) override {
    deletions.push_back("task " + name);
    return task_result;
  }
  Status delete_user_key_tree(const std::string& subkey) override {
    deletions.push_back("key " + subkey);
    return key_result;
  }
  Status delete_user_value(const std::string& subkey, const std::string& name) override {
    deletions.push_back("value " + subkey + " " + name);
    return value_result;
  }
  Status delete_file(const std::string& path) override {
    deletions.push_back("file " + path);
    return file_result;
  }
};

std::string app_path() { return platform::join_path(app_folder(), "vesk-app.exe"); }
std::string def_path() { return platform::join_path("C:\\Temp", "vesk-task-77.xml"); }

TEST(InstallWatchdog, PrefersTheAppBesideTheProgram) {
  FakeWatchdogSystem fake;
  fake.existing[app_path()] = true;
  ASSERT_TRUE(install_watchdog(fake).ok());
  EXPECT_EQ(fake.written, utf16le_with_mark(task_definition(app_path())));
  ASSERT_EQ(fake.tool_runs.size(), 1u);
  EXPECT_EQ(fake.tool_runs[0].first, "schtasks.exe");
  EXPECT_EQ(fake.tool_runs[0].second,
            (std::vector<std::string>{"/Create", "/F", "/TN", "Vesk Watchdog", "/XML", def_path()}));
  EXPECT_TRUE(fake.files.empty());
}

TEST(InstallWatchdog, FallsBackToTheProgramItself) {
  FakeWatchdogSystem fake;
  ASSERT_TRUE(install_watchdog(fake).ok());
  EXPECT_EQ(fake.written, utf16le_with_mark(task_definition(self_path())));
}

TEST(InstallWatchdog, ToolRefusalIsTheMessageAndTheFileStillGoes) {
  FakeWatchdogSystem fake;
  fake.tool_answer = Error{"schtasks.exe: ERROR: Access is denied."};
  auto result = install_watchdog(fake);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "schtasks.exe: ERROR: Access is denied.");
  EXPECT_EQ(fake.removed, std::vector<std::string>{def_path()});
  EXPECT_TRUE(fake.files.empty());
}

TEST(InstallWatchdog, UnwritableDefinitionRegistersNothing) {
  FakeWatchdogSystem fake;
  fake.write_status = Error{"Access is denied. (os error 5)"};
  auto result = install_watchdog(fake);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "Access is denied. (os error 5)");
  EXPECT_TRUE(fake.tool_runs.empty());
}

TEST(InstallWatchdog, UnknownProgramPathRegistersNothing) {
  FakeWatchdogSystem fake;
  fake.self = Error{"The system cannot find the path specified. (os error 3)"};
  auto result = install_watchdog(fake);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "The system cannot find the path specified. (os error 3)");
  EXPECT_TRUE(fake.tool_runs.empty());
  EXPECT_TRUE(fake.written.empty());
}

TEST(WatchdogInstalled, TheToolsQueryOfTheTask) {
  for (bool there : {true, false}) {
    FakeWatchdogSystem fake;
    if (!there) fake.tool_answer = Error{"schtasks.exe: ERROR: The system cannot find the file specified."};
    EXPECT_EQ(watchdog_installed(fake), there);
    EXPECT_EQ(fake.deletions, std::vector<std::string>{"tool schtasks.exe /Query /TN Vesk Watchdog"});
  }
}

std::string installed_marker() { return platform::join_path(app_folder(), "installed"); }

// The tool deletes the task: the scheduler is not asked. When the tool
// fails (as it does for a task that is not there), the scheduler itself is
// asked, and here finds nothing to delete. Either way nothing is left.
TEST(RemoveRegistrations, EverythingInOrder) {
  for (bool tool_deletes : {true, false}) {
    FakeWatchdogSystem fake;
    if (!tool_deletes) fake.tool_answer = Error{"schtasks.exe: exited with status 1"};
    EXPECT_TRUE(remove_registrations(fake, app_folder()).empty());
    std::vector<std::string> expected{"tool schtasks.exe /Delete /F /TN Vesk Watchdog"};
    if (!tool_deletes) expected.push_back("task Vesk Watchdog");
    for (const char* rest : {"key Software\\Classes\\AppUserModelId\\Vesk.App",
                             "value Software\\Microsoft\\Windows\\CurrentVersion\\Run Vesk"}) {
      expected.push_back(rest);
    }
    expected.push_back("file " + installed_marker());
    EXPECT_EQ(fake.deletions, expected) << tool_deletes;
  }
}

// An item that is there and stays gets a line with the reason; the others
// are still removed.
TEST(RemoveRegistrations, WhatCouldNotBeRemovedIsNamed) {
  const Error denied{"Access is denied. (os error 5)"};
  struct Case {
    void (*fail)(FakeWatchdogSystem&, const Error&);
    std::string line;
  };
  const Case cases[] = {
      {[](FakeWatchdogSystem& f, const Error& e) {
         f.tool_answer = Error{"schtasks.exe: exited with status 1"};
         f.task_result = e;
       },
       "the watchdog task \"Vesk Watchdog\": Access is denied. (os error 5)"},
      {[](FakeWatchdogSystem& f, const Error& e) { f.key_result = e; },
       "HKEY_CURRENT_USER\\Software\\Classes\\AppUserModelId\\Vesk.App: Access is denied. "
       "(os error 5)"},
      {[](FakeWatchdogSystem& f, const Error& e) { f.value_result = e; },
       "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run value Vesk: Access "
       "is denied. (os error 5)"},
      {[](FakeWatchdogSystem& f, const Error& e) { f.file_result = e; },
       installed_marker() + ": Access is denied. (os error 5)"},
  };
  for (const Case& c : cases) {
    FakeWatchdogSystem fake;
    c.fail(fake, denied);
    EXPECT_EQ(remove_registrations(fake, app_folder()), std::vector<std::string>{c.line});
    EXPECT_EQ(fake.deletions.back(), "file " + installed_marker());
  }
}

}  // namespace
}  // namespace vesk::care
