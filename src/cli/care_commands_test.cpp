#include "cli/care_commands.h"

#include <deque>

#include <gtest/gtest.h>

#include "cli_fake.h"
#include "platform/fs.h"

namespace vesk::cli {
namespace {

using testing::RecordingIo;

// Records every call; answers as scripted.
class FakeCare final : public CareSystem {
 public:
  std::optional<uint64_t> age;
  bool alive = false;
  Result<std::string> tool_answer{Error{"schtasks.exe: No such file or directory (os error 2)"}};
  Status task_result;  // of deleting the task through the scheduler
  Status key_result, value_result, remove_result;
  std::vector<std::string> summary;
  std::vector<std::string> copies;
  restore::RescueResult rescued;  // everything back unless a test says otherwise
  Status install_result;

  std::vector<std::string> calls;

  void start_power_watch(const std::string&) override { calls.push_back("watch"); }
  std::optional<uint64_t> heartbeat_age(const std::string& path) override {
    calls.push_back("age " + path);
    return age;
  }
  bool app_alive(const std::string& folder) override {
    calls.push_back("alive " + folder);
    return alive;
  }
  Result<std::string> run_system_tool(const std::string& program,
                                      const std::vector<std::string>& args) override {
    std::string call = "tool " + program;
    for (const auto& a : args) call += " " + a;
    calls.push_back(call);
    return tool_answer;
  }
  std::vector<std::string> journal_summary(const std::string& folder) override {
    calls.push_back("summary " + folder);
    return summary;
  }
  std::vector<std::string> set_aside_journals(const std::string& folder) override {
    calls.push_back("set aside " + folder);
    return copies;
  }
  restore::RescueResult rescue(const std::string& folder) override {
    calls.push_back("rescue " + folder);
    return rescued;
  }
  Status install_watchdog() override {
    calls.push_back("install");
    return install_result;
  }
  Status write_unix_time(const std::string& path) override {
    calls.push_back("marker " + path);
    return {};
  }
  Status remove_file(const std::string& path) override {
    calls.push_back("remove " + path);
    return remove_result;
  }
  Status delete_user_key_tree(const std::string& subkey) override {
    calls.push_back("key " + subkey);
    return key_result;
  }
  Status delete_user_value(const std::string& subkey, const std::string& name) override {
    calls.push_back("value " + subkey + " " + name);
    return value_result;
  }
  Status delete_watchdog_task() override {
    calls.push_back("delete task");
    return task_result;
  }
};

struct Harness {
  RecordingIo io;
  std::vector<std::string> requests;
  std::deque<Result<Json>> replies;
  Context ctx{"/app", false, io,
              [this](std::string_view kind, Json payload, unsigned wait) -> Result<Json> {
                requests.push_back(std::string(kind) + " " + compact_json(payload) + " " +
                                   std::to_string(wait));
                if (replies.empty()) return Error{"no reply"};
                Result<Json> r = replies.front();
                replies.pop_front();
                return r;
              },
              nullptr};
};

std::string alive_path() { return platform::join_path("/app", "alive"); }
std::string marker_path() { return platform::join_path("/app", "installed"); }

TEST(DoctorCommand, AppLineFromTheHeartbeatAge) {
  struct Case {
    std::optional<uint64_t> age;
    bool process_alive;  // the process in `alive` still runs
    std::string line;
  };
  const Case cases[] = {
      {std::nullopt, true, "App: never ran here"},
      {0, true, "App: running"},
      {14, true, "App: running"},
      {3, false, "App: not running (last seen under 1 min)"},  // it has crashed
      {15, true, "App: not running (last seen under 1 min)"},
      {300, true, "App: not running (last seen 5 min)"},
      {7200, true, "App: not running (last seen 2 h)"},
  };
  for (const auto& [age, process_alive, line] : cases) {
    FakeCare care;
    care.age = age;
    care.alive = process_alive;
    Harness run;
    ASSERT_EQ(*run_doctor(run.ctx, care), 0);
    EXPECT_EQ(run.io.out_,
              "Vesk folder: /app\n" + line +
                  "\nWatchdog: NOT installed (run `vesk install`)\n"
                  "Keep-awake control: available\n"
                  "Changes Vesk has made right now: none\n");
    EXPECT_EQ(run.requests.size(), process_alive ? 1u : 0u);  // its answer fails: no line
  }
}

TEST(DoctorCommand, StepsInOrderAndTheWatchdogQuery) {
  FakeCare care;
  care.tool_answer = std::string("TaskName  Next Run Time\n");
  Harness run;
  ASSERT_EQ(*run_doctor(run.ctx, care), 0);
  EXPECT_EQ(care.calls, (std::vector<std::string>{
                            "watch", "age " + alive_path(),
                            "tool schtasks.exe /Query /TN Vesk Watchdog", "summary /app",
                            "set aside /app", "alive /app"}));
  EXPECT_NE(run.io.out_.find("\nWatchdog: installed\n"), std::string::npos);
}

TEST(DoctorCommand, ChangesAndSetAsideJournalsAreListed) {
  FakeCare care;
  care.summary = {"1 app paused: a.exe", "lid-close action set to do nothing"};
  care.copies = {"/app/restore.json.unreadable", "/app/touched.json.unreadable-2"};
  Harness run;
  ASSERT_EQ(*run_doctor(run.ctx, care), 0);
  EXPECT_NE(run.io.out_.find(
                "Keep-awake control: available\n"
                "Changes Vesk has made right now (put back when the lid opens or work ends):\n"
                "  1 app paused: a.exe\n"
                "  lid-close action set to do nothing\n"
                "Journal set aside (couldn't be read): /app/restore.json.unreadable\n"
                "Journal set aside (couldn't be read): /app/touched.json.unreadable-2\n"),
            std::string::npos)
      << run.io.out_;
}

TEST(DoctorCommand, StatusLinesOnlyWhenAliveAtTheSecondRead) {
  struct Case {
    bool alive;
    std::optional<Result<Json>> reply;
    std::string tail;
    size_t requests;
  };
  const Case cases[] = {
      {false, std::nullopt, "", 0},
      {true, Result<Json>(Error{"timed out"}), "", 1},
      {true, Result<Json>(Json::object()), "Status: \n", 1},
      {true,
       Result<Json>(Json{{"status", "Awake · always"},
                         {"warning", "on battery"},
                         {"setup_error", 3},
                         {"blocked_by", "policy"}}),
       "Status: Awake · always\nNote: on battery\nNote: policy\n", 1},
      {true, Result<Json>(Json{{"status", 7}, {"setup_error", "no rights"}}),
       "Status: \nNote: no rights\n", 1},
  };
  for (const Case& c : cases) {
    FakeCare care;
    care.age = 100;  // the first read says stopped; only the second counts
    care.alive = c.alive;
    Harness run;
    if (c.reply) run.replies.push_back(*c.reply);
    ASSERT_EQ(*run_doctor(run.ctx, care), 0);
    const std::string head = "Changes Vesk has made right now: none\n";
    size_t at = run.io.out_.find(head);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(run.io.out_.substr(at + head.size()), c.tail);
    ASSERT_EQ(run.requests.size(), c.requests);
    if (c.requests) {
      EXPECT_EQ(run.requests[0], "status {} 5");
    }
  }
}

TEST(RescueCommand, EverythingBack) {
  FakeCare care;
  Harness run;
  EXPECT_EQ(*run_rescue(run.ctx, care), 0);
  EXPECT_EQ(run.io.out_,
            "Everything Vesk changed is back to how it was. Vesk is stopped; start it again from "
            "your apps.\n");
  EXPECT_EQ(care.calls, std::vector<std::string>{"rescue /app"});
}

TEST(RescueCommand, PendingLinesWithStatusOne) {
  const std::string tail =
      "They stay recorded and will be retried. To undo by hand: resume or restart those apps; on "
      "Windows, set \"When I close the lid\" back in Control Panel \xE2\x80\xBA Power Options.\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, tail},  // never an empty list
      {{"a.exe (pid 12) is still paused", "sleep timeout"},
       "Some changes couldn't be undone:\n  a.exe (pid 12) is still paused\n  sleep timeout\n" +
           tail},
  };
  for (const auto& [lines, text] : cases) {
    FakeCare care;
    care.rescued = {false, lines, {}};
    Harness run;
    EXPECT_EQ(*run_rescue(run.ctx, care), 1);
    EXPECT_EQ(run.io.out_, text);
  }
}

// Journals the run set aside come first, one line each; the exit status
// is the rest of the run's.
TEST(RescueCommand, SetAsideJournalsBeforeTheOutcome) {
  const std::string set_aside =
      "A journal couldn't be read and was set aside: /app/restore.json.unreadable\n"
      "A journal couldn't be read and was set aside: /app/touched.json.unreadable-3\n";
  const std::string unknown =
      "What it held is unknown, so it may not all be back. Check by hand: on Windows, in "
      "Control Panel \xE2\x80\xBA Power Options, \"When I close the lid\", when the computer "
      "sleeps and the processor's power settings; restart any app that stays paused or slow. "
      "Then delete the copy.\n";
  struct Case {
    bool uninstall;
    bool pending;
    std::string after;  // the rest of the output, whole
  };
  const std::string tail =
      "They stay recorded and will be retried. To undo by hand: resume or restart those apps; on "
      "Windows, set \"When I close the lid\" back in Control Panel \xE2\x80\xBA Power Options.\n";
  const Case cases[] = {
      {false, false, ""},
      {false, true, "Some changes couldn't be undone:\n  x\n" + tail},
      {true, false,
       "Not uninstalling yet: the watchdog stays until you have checked. Then run `vesk "
       "uninstall` again.\n"},
      {true, true,
       "Not uninstalling yet: these changes couldn't be undone, and the watchdog stays to keep "
       "retrying:\n  x\n"},
  };
  for (const Case& c : cases) {
    FakeCare care;
    care.rescued = {false, c.pending ? std::vector<std::string>{"x"} : std::vector<std::string>{},
                    {"/app/restore.json.unreadable", "/app/touched.json.unreadable-3"}};
    Harness run;
    // Never a success: what the journal held is unknown. Nothing is removed.
    EXPECT_EQ(*(c.uninstall ? run_uninstall : run_rescue)(run.ctx, care), 1);
    EXPECT_EQ(run.io.out_, set_aside + unknown + c.after);
    EXPECT_EQ(care.calls, std::vector<std::string>{"rescue /app"});
  }
}

TEST(InstallCommand, SuccessWritesTheMarker) {
  FakeCare care;
  Harness run;
  EXPECT_EQ(*run_install(run.ctx, care), 0);
  EXPECT_EQ(run.io.out_, "Watchdog installed.\n");
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "install", "marker " + marker_path()}));
}

TEST(InstallCommand, FailureIsTheToolsMessageAndNoMarker) {
  FakeCare care;
  care.install_result = Error{"schtasks.exe: ERROR: Access is denied."};
  Harness run;
  auto outcome = run_install(run.ctx, care);
  ASSERT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.message(), "schtasks.exe: ERROR: Access is denied.");
  EXPECT_EQ(run.io.out_, "");
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "install"}));
}

TEST(UninstallCommand, PendingRemovesNothing) {
  FakeCare care;
  care.rescued = {false, {"a.exe is still paused"}, {}};
  Harness run;
  EXPECT_EQ(*run_uninstall(run.ctx, care), 1);
  EXPECT_EQ(run.io.out_,
            "Not uninstalling yet: these changes couldn't be undone, and the watchdog stays to "
            "keep retrying:\n  a.exe is still paused\n");
  EXPECT_EQ(care.calls, std::vector<std::string>{"rescue /app"});
}

// The tool's deletion fails (as it does for a task that is not there): the
// scheduler itself is asked, and finds nothing to delete.
TEST(UninstallCommand, RemovesEverythingInOrder) {
  FakeCare care;
  Harness run;
  EXPECT_EQ(*run_uninstall(run.ctx, care), 0);
  EXPECT_EQ(care.calls,
            (std::vector<std::string>{
                "rescue /app", "watch", "tool schtasks.exe /Delete /F /TN Vesk Watchdog",
                "delete task", "key Software\\Classes\\AppUserModelId\\Vesk.App",
                "value Software\\Microsoft\\Windows\\CurrentVersion\\Run Vesk",
                "remove " + marker_path()}));
  EXPECT_EQ(run.io.out_,
            "Vesk's watchdog and login item are removed and nothing it changed is left. Delete "
            "the app and /app to finish.\n");
  EXPECT_EQ(run.io.err_, "");
}

// An item that is there and stays gets a line with the reason; status 1 and
// no "nothing it changed is left".
TEST(UninstallCommand, WhatCouldNotBeRemovedIsNamed) {
  const Error denied{"Access is denied. (os error 5)"};
  struct Case {
    void (*fail)(FakeCare&, const Error&);
    std::string line;
  };
  const Case cases[] = {
      {[](FakeCare& c, const Error& e) { c.task_result = e; },
       "  the watchdog task \"Vesk Watchdog\": Access is denied. (os error 5)\n"},
      {[](FakeCare& c, const Error& e) { c.key_result = e; },
       "  HKEY_CURRENT_USER\\Software\\Classes\\AppUserModelId\\Vesk.App: Access is denied. "
       "(os error 5)\n"},
      {[](FakeCare& c, const Error& e) { c.value_result = e; },
       "  HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run value Vesk: Access "
       "is denied. (os error 5)\n"},
      {[](FakeCare& c, const Error& e) { c.remove_result = e; },
       "  " + marker_path() + ": Access is denied. (os error 5)\n"},
  };
  for (const Case& c : cases) {
    FakeCare care;
    c.fail(care, denied);
    Harness run;
    EXPECT_EQ(*run_uninstall(run.ctx, care), 1);
    EXPECT_EQ(run.io.out_, "Nothing Vesk changed is left, but these couldn't be removed:\n" +
                               c.line + "Remove them by hand, or run `vesk uninstall` again.\n");
  }
}

}  // namespace
}  // namespace vesk::cli
