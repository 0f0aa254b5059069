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
  bool watchdog = false;
  std::vector<std::string> summary;
  std::vector<std::string> copies;
  restore::RescueResult rescued;  // everything back unless a test says otherwise
  Status install_result;
  std::vector<std::string> left;  // what remove_registrations leaves

  std::vector<std::string> calls;

  void start_power_watch(const std::string&) override { calls.push_back("watch"); }
  Checkup checkup(const std::string& folder) override {
    calls.push_back("checkup " + folder);
    return {age, alive, watchdog, summary, copies};
  }
  bool app_alive(const std::string& folder) override {
    calls.push_back("alive " + folder);
    return alive;
  }
  restore::RescueResult rescue(const std::string& folder) override {
    calls.push_back("rescue " + folder);
    return rescued;
  }
  Status install(const std::string& folder) override {
    calls.push_back("install " + folder);
    return install_result;
  }
  std::vector<std::string> remove_registrations(const std::string& folder) override {
    calls.push_back("remove " + folder);
    return left;
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

// The watcher first; the heartbeat read again before the status request.
// (The task tool's query: care::watchdog_installed.)
TEST(DoctorCommand, StepsInOrderAndTheWatchdogQuery) {
  FakeCare care;
  care.watchdog = true;
  Harness run;
  ASSERT_EQ(*run_doctor(run.ctx, care), 0);
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "checkup /app", "alive /app"}));
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
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "rescue /app"}));
}

// A tray app that still runs after it was asked to quit is no "Vesk is
// stopped", and no uninstall: it may change things again.
TEST(RescueCommand, ATrayAppThatDidNotQuit) {
  FakeCare care;
  care.rescued.app_stopped = false;
  Harness rescue;
  EXPECT_EQ(*run_rescue(rescue.ctx, care), 1);
  EXPECT_EQ(rescue.io.out_,
            "Everything Vesk changed is back to how it was, but the Vesk app didn't quit when "
            "asked and may change things again: quit it from its tray icon, then run `vesk "
            "rescue` again.\n");
  care.calls.clear();
  Harness uninstall;
  EXPECT_EQ(*run_uninstall(uninstall.ctx, care), 1);
  EXPECT_EQ(uninstall.io.out_,
            "Not uninstalling yet: the Vesk app didn't quit when asked. Quit it from its tray "
            "icon, then run `vesk uninstall` again.\n");
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "rescue /app"}));
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
    EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "rescue /app"}));
  }
}

TEST(InstallCommand, SuccessWritesTheMarker) {
  FakeCare care;
  Harness run;
  EXPECT_EQ(*run_install(run.ctx, care), 0);
  EXPECT_EQ(run.io.out_, "Watchdog installed.\n");
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "install /app"}));
}

TEST(InstallCommand, FailureIsTheToolsMessageAndNoMarker) {
  FakeCare care;
  care.install_result = Error{"schtasks.exe: ERROR: Access is denied."};
  Harness run;
  auto outcome = run_install(run.ctx, care);
  ASSERT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.message(), "schtasks.exe: ERROR: Access is denied.");
  EXPECT_EQ(run.io.out_, "");
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "install /app"}));
}

TEST(UninstallCommand, PendingRemovesNothing) {
  FakeCare care;
  care.rescued = {false, {"a.exe is still paused"}, {}};
  Harness run;
  EXPECT_EQ(*run_uninstall(run.ctx, care), 1);
  EXPECT_EQ(run.io.out_,
            "Not uninstalling yet: these changes couldn't be undone, and the watchdog stays to "
            "keep retrying:\n  a.exe is still paused\n");
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "rescue /app"}));
}

// (Each item and its order: care::remove_registrations.)
TEST(UninstallCommand, RemovesEverythingInOrder) {
  FakeCare care;
  Harness run;
  EXPECT_EQ(*run_uninstall(run.ctx, care), 0);
  EXPECT_EQ(care.calls, (std::vector<std::string>{"watch", "rescue /app", "remove /app"}));
  EXPECT_EQ(run.io.out_,
            "Vesk's watchdog and login item are removed and nothing it changed is left. Delete "
            "the app and /app to finish.\n");
  EXPECT_EQ(run.io.err_, "");
}

// An item that is there and stays gets a line with the reason; status 1 and
// no "nothing it changed is left". (Which items, and their lines:
// care::remove_registrations.)
TEST(UninstallCommand, WhatCouldNotBeRemovedIsNamed) {
  const std::vector<std::string> lefts[] = {
      {"the watchdog task \"Vesk Watchdog\": Access is denied. (os error 5)"},
      {"HKEY_CURRENT_USER\\Software\\Classes\\AppUserModelId\\Vesk.App: Access is denied. "
       "(os error 5)",
       marker_path() + ": Access is denied. (os error 5)"},
  };
  for (const std::vector<std::string>& left : lefts) {
    FakeCare care;
    care.left = left;
    Harness run;
    EXPECT_EQ(*run_uninstall(run.ctx, care), 1);
    std::string lines;
    for (const std::string& line : left) lines += "  " + line + "\n";
    EXPECT_EQ(run.io.out_, "Nothing Vesk changed is left, but these couldn't be removed:\n" +
                               lines + "Remove them by hand, or run `vesk uninstall` again.\n");
  }
}

}  // namespace
}  // namespace vesk::cli
