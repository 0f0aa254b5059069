// `doctor`, `rescue`, `install` and `uninstall` run as the built program on
// a system without the task scheduler's tool or a registry.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/json.h"
#include "harness.h"
#include "ipc/liveness.h"
#include "platform/fs.h"
#include "standin/standin.h"

namespace vesk {
namespace {

using platform::join_path;
using testing::Sandbox;

const char kAllBack[] =
    "Everything Vesk changed is back to how it was. Vesk is stopped; start it again from your "
    "apps.\n";

// A recorded lid-close change: here no power setting can be written, so it
// stays pending.
const char kLidRecord[] =
    "{\"lid_action\":[1,0],\"lid_scheme\":\"381b4222-f694-41f0-9685-ff5bb260df2e\"}";
const char kLidLine[] = "  lid-close action set to Do nothing (was 1 plugged in, 0 on battery)\n";

std::string doctor_text(const Sandbox& box, const std::string& app_line,
                        const std::string& changes) {
  return "Vesk folder: " + box.app_folder() + "\n" + app_line +
         "\nWatchdog: NOT installed (run `vesk install`)\n"
         "Keep-awake control: available\n" +
         changes;
}

TEST(CareProgram, DoctorOnAFreshFolder) {
  Sandbox box;
  auto run = box.vesk({"doctor"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, doctor_text(box, "App: never ran here",
                                 "Changes Vesk has made right now: none\n"));
}

TEST(CareProgram, DoctorWithAStoppedAppAndAChange) {
  Sandbox box;
  uint64_t then = ipc::unix_now() - 7200;
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "alive"),
                                   std::to_string(then) + " 1 2"));
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "restore.json"), kLidRecord));
  auto run = box.vesk({"doctor"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, doctor_text(box, "App: not running (last seen 2 h)",
                                 "Changes Vesk has made right now (put back when the lid opens or "
                                 "work ends):\n" +
                                     std::string(kLidLine)));
  // Read-only: the record is still there.
  EXPECT_TRUE(platform::file_exists(join_path(box.app_folder(), "restore.json")));
}

TEST(CareProgram, DoctorAsksARunningAppForItsStatus) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.script("status", [](const standin::Request&) {
    return Json{{"ok", true}, {"status", "Awake while plugged in."}, {"warning", "Battery low."}};
  });
  app.start();
  auto run = box.vesk({"doctor"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, doctor_text(box, "App: running",
                                 "Changes Vesk has made right now: none\n"
                                 "Status: Awake while plugged in.\n"
                                 "Note: Battery low.\n"));
  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, R"({"args":{},"cmd":"status"})");
}

TEST(CareProgram, RescueWithNothingChanged) {
  Sandbox box;
  auto run = box.vesk({"rescue"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, kAllBack);
  EXPECT_EQ(run.err, "");
}

TEST(CareProgram, RescueKeepsWhatCannotBeUndone) {
  Sandbox box;
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "restore.json"), kLidRecord));
  auto run = box.vesk({"rescue"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out,
            "Some changes couldn't be undone:\n" + std::string(kLidLine) +
                "They stay recorded and will be retried. To undo by hand: resume or restart those "
                "apps; on Windows, set \"When I close the lid\" back in Control Panel \xE2\x80\xBA "
                "Power Options.\n");
  EXPECT_TRUE(platform::file_exists(join_path(box.app_folder(), "restore.json")));
}

const char kUnknown[] =
    "What it held is unknown, so it may not all be back. Check by hand: on Windows, in Control "
    "Panel \xE2\x80\xBA Power Options, \"When I close the lid\", when the computer sleeps and "
    "the processor's power settings; restart any app that stays paused or slow. Then delete the "
    "copy.\n";

// An unreadable journal is set aside once, said so, with status 1 (what it
// held is unknown), and then listed by doctor; it no longer holds the next
// run back.
TEST(CareProgram, RescueSetsAnUnreadableJournalAside) {
  Sandbox box;
  std::string journal = join_path(box.app_folder(), "touched.json");
  ASSERT_TRUE(platform::write_file(journal, "[{\"pid\": 1,"));
  auto run = box.vesk({"rescue"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "A journal couldn't be read and was set aside: " + journal +
                         ".unreadable\n" + kUnknown);
  EXPECT_EQ(platform::read_file(journal + ".unreadable").value_or(""), "[{\"pid\": 1,");
  run = box.vesk({"rescue"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, kAllBack);
  run = box.vesk({"doctor"});
  EXPECT_EQ(run.out, doctor_text(box, "App: never ran here",
                                 "Changes Vesk has made right now: none\n"
                                 "Journal set aside (couldn't be read): " +
                                     journal + ".unreadable\n"));
}

TEST(CareProgram, InstallFailsWithTheToolsMessageAndLeavesNoFile) {
  Sandbox box;
  std::string temp = join_path(box.root(), "temp");
  ASSERT_TRUE(platform::create_dirs(temp));
  auto run = box.run(testing::built_program("vesk"), {"install"}, {{"TMPDIR", temp}});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "vesk: schtasks.exe: No such file or directory (os error 2)\n");
  EXPECT_TRUE(testing::names_in(temp).empty());
  EXPECT_FALSE(platform::file_exists(join_path(box.app_folder(), "installed")));
}

TEST(CareProgram, UninstallWaitsWhileSomethingIsPending) {
  Sandbox box;
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "restore.json"), kLidRecord));
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "installed"), "1700000000"));
  auto run = box.vesk({"uninstall"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out,
            "Not uninstalling yet: these changes couldn't be undone, and the watchdog stays to "
            "keep retrying:\n" +
                std::string(kLidLine));
  EXPECT_TRUE(platform::file_exists(join_path(box.app_folder(), "installed")));
}

// uninstall stops where something is unknown, and goes ahead on the next
// run.
TEST(CareProgram, UninstallStopsAtASetAsideJournal) {
  Sandbox box;
  std::string journal = join_path(box.app_folder(), "restore.json");
  ASSERT_TRUE(platform::write_file(journal, "{\"lid_action\":[1,1],"));
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "installed"), "1700000000"));
  auto run = box.vesk({"uninstall"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "A journal couldn't be read and was set aside: " + journal +
                         ".unreadable\n" + kUnknown +
                         "Not uninstalling yet: the watchdog stays until you have checked. Then "
                         "run `vesk uninstall` again.\n");
  EXPECT_TRUE(platform::file_exists(join_path(box.app_folder(), "installed")));
  run = box.vesk({"uninstall"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_FALSE(platform::file_exists(join_path(box.app_folder(), "installed")));
}

// A journal that cannot be opened stays, named with the reason, and holds
// uninstall back. (A folder in its place: unreadable as a file even to root.)
TEST(CareProgram, UnopenableJournalIsPendingAndNamed) {
  Sandbox box;
  std::string journal = join_path(box.app_folder(), "restore.json");
  ASSERT_TRUE(platform::create_dirs(journal));
  const std::string line =
      "  " + journal + " couldn't be read: " + platform::read_file(journal).message() + "\n";
  auto run = box.vesk({"uninstall"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out,
            "Not uninstalling yet: these changes couldn't be undone, and the watchdog stays to "
            "keep retrying:\n" + line);
  run = box.vesk({"doctor"});
  EXPECT_EQ(run.out, doctor_text(box, "App: never ran here",
                                 "Changes Vesk has made right now (put back when the lid opens or "
                                 "work ends):\n" + line));
  EXPECT_TRUE(platform::file_exists(journal));
  EXPECT_TRUE(testing::names_in(box.app_folder()) == std::vector<std::string>{"restore.json"});
}

// A folder whose entries cannot be deleted, even by root: immutable when the
// file system allows it, else without write permission.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string path) : path_(std::move(path)) {
    if (::geteuid() != 0) {
      made_ = ::chmod(path_.c_str(), 0555) == 0;
      return;
    }
    int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      made_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
  }
  ~ReadOnlyFolder() {
    if (!made_) return;
    if (::geteuid() != 0) {
      (void)::chmod(path_.c_str(), 0755);
      return;
    }
    int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      (void)::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) ::close(fd);
  }
  bool made() const { return made_; }

 private:
  std::string path_;
  bool made_ = false;
};

// A blank journal that cannot be deleted: the run is not done, and the
// pending line says which file and why, never an empty list.
TEST(CareProgram, UndeletableBlankJournalIsNamed) {
  Sandbox box;
  std::string journal = join_path(box.app_folder(), "touched.json");
  ASSERT_TRUE(platform::write_file(journal, " \n"));
  ReadOnlyFolder read_only(box.app_folder());
  if (!read_only.made()) GTEST_SKIP() << "no way to make a read-only folder here";
  for (const char* command : {"rescue", "uninstall"}) {
    auto run = box.vesk({command});
    EXPECT_EQ(run.exit_code, 1) << command;
    std::string line = "  " + journal + " couldn't be deleted: ";
    EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("(os error "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(":\nThey stay"), std::string::npos) << run.out;
    EXPECT_TRUE(platform::file_exists(journal));
  }
}

TEST(CareProgram, UninstallTwiceSaysTheSame) {
  Sandbox box;
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "installed"), "1700000000"));
  const std::string message =
      "Vesk's watchdog and login item are removed and nothing it changed is left. Delete the app "
      "and " +
      box.app_folder() + " to finish.\n";
  for (int i = 0; i < 2; ++i) {
    auto run = box.vesk({"uninstall"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, message);
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(platform::file_exists(join_path(box.app_folder(), "installed")));
  }
}

// With Claude Code, Codex, Gemini CLI and Cursor connected, nothing is left
// starting the program the user is told to delete; their own servers and
// comments stay.
TEST(CareProgram, UninstallTakesVeskOutOfTheAgents) {
  Sandbox box;
  const std::string home = box.root();
  struct File {
    std::string path, text;
  };
  const File files[] = {
      {join_path(home, ".claude.json"), "{\"mcpServers\": {\"mine\": {\"command\": \"a\"}}}"},
      {join_path(home, ".codex/config.toml"), "# codex\n[mcp_servers.mine]\ncommand = \"b\"\n"},
      {join_path(home, ".gemini/settings.json"),
       "{\n  // gemini\n  \"mcpServers\": {\"mine\": {\"command\": \"c\"}}\n}\n"},
      {join_path(home, ".cursor/mcp.json"), "{\n  // cursor\n  \"mcpServers\": {\n    \"mine\": {}\n  }\n}\n"},
  };
  for (const File& f : files) {
    ASSERT_TRUE(platform::create_dirs(std::string(platform::parent_folder(f.path))));
    ASSERT_TRUE(platform::write_file(f.path, f.text));
  }
  // Another folder's vesk is not this program's to take out.
  const std::string vscode = join_path(home, ".config/Code/User/mcp.json");
  const std::string other = "{\"servers\": {\"vesk\": {\"command\": \"/elsewhere/vesk\"}}}";
  ASSERT_TRUE(platform::create_dirs(std::string(platform::parent_folder(vscode))));
  ASSERT_TRUE(platform::write_file(vscode, other));
  for (const char* word : {"claude", "codex", "gemini", "cursor"}) {
    auto connect = box.vesk({"connect", word});
    ASSERT_EQ(connect.exit_code, 0) << connect.out;
  }
  const std::string self = Json(testing::built_program("vesk")).dump();
  // OpenCode reads both files: only the entry that starts this program goes.
  const std::string opencode = join_path(home, ".config/opencode");
  const std::string theirs = "{\"mcp\": {\"vesk\": {\"command\": [\"/opt/someone-else/vesk\"]}}}";
  ASSERT_TRUE(platform::create_dirs(opencode));
  ASSERT_TRUE(platform::write_file(join_path(opencode, "config.json"), theirs));
  ASSERT_TRUE(platform::write_file(join_path(opencode, "opencode.json"),
                                   "{\"mcp\": {\"vesk\": {\"command\": [" + self + "]}}}"));
  // An entry that can't be taken out safely (which of the two counts is the
  // agent's guess) is named, and uninstall isn't done.
  const std::string windsurf = join_path(home, ".codeium/windsurf/mcp_config.json");
  ASSERT_TRUE(platform::create_dirs(std::string(platform::parent_folder(windsurf))));
  const std::string twice = "{\"mcpServers\": {\"vesk\": {\"command\": " + self +
                            "}, \"vesk\": {\"command\": " + self + "}}}";
  ASSERT_TRUE(platform::write_file(windsurf, twice));

  auto run = box.vesk({"uninstall"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out,
            "Claude Code: Took Vesk out of Claude Code.\nCodex: Took Vesk out of Codex.\n"
            "Gemini CLI: Took Vesk out of Gemini CLI.\nOpenCode: Took Vesk out of OpenCode.\n"
            "Cursor: Took Vesk out of Cursor.\n"
            "These agents would still start Vesk, so it isn't uninstalled yet:\n"
            "  Windsurf: " + windsurf + " has \"vesk\" twice in one object, so I left it alone\n"
            "Take Vesk out of them by hand, or mend the file and run `vesk uninstall` again.\n");
  EXPECT_EQ(run.err, "");
  for (const File& f : files) {
    auto text = platform::read_file(f.path);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, f.text) << f.path;
    EXPECT_EQ(text->find(testing::built_program("vesk")), std::string::npos) << *text;
  }
  EXPECT_EQ(platform::read_file(vscode).value_or(""), other);
  EXPECT_EQ(platform::read_file(join_path(opencode, "config.json")).value_or(""), theirs);
  EXPECT_EQ(platform::read_file(join_path(opencode, "opencode.json")).value_or(""), "{\"mcp\": {}}");
  EXPECT_EQ(platform::read_file(windsurf).value_or(""), twice);
  // Once the user has mended the file, the next uninstall finishes.
  ASSERT_TRUE(platform::write_file(windsurf, "{\"mcpServers\": {\"vesk\": {\"command\": " + self + "}}}"));
  run = box.vesk({"uninstall"});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(run.out, "Windsurf: Took Vesk out of Windsurf.\nVesk's watchdog and login item are "
                     "removed and nothing it changed is left. Delete the app and " +
                         box.app_folder() + " to finish.\n");
}

}  // namespace
}  // namespace vesk
