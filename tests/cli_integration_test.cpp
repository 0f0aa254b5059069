// Runs the built `vesk` as a child process against the stand-in tray app in
// a temporary app folder.
#include <chrono>

#include <gtest/gtest.h>

#include <set>

#include "base/json.h"
#include "harness.h"
#include "ipc/app_link.h"
#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "standin/standin.h"

namespace vesk {
namespace {

using platform::join_path;
using testing::Sandbox;

const char kNotRunningLine[] =
    "vesk: Vesk isn't running. Start the Vesk app first (it lives in the system tray).\n";

TEST(VeskProgram, HelpAndVersionNeedNoTrayApp) {
  Sandbox box;
  auto version = box.vesk({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "vesk 1.0.0\n");
  EXPECT_EQ(version.err, "");

  auto help = box.vesk({"help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.substr(0, 66),
            "vesk: keep the laptop awake with the lid closed while work runs\n\n ");
  EXPECT_NE(help.out.find("  vesk run -- <command\xE2\x80\xA6>        keep awake"), std::string::npos);

  auto unknown = box.vesk({"HELP"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "vesk: unknown command \"HELP\". Try `vesk help`.\n");
}

TEST(VeskProgram, CreatesTheAppFolderFromAppdata) {
  Sandbox box;
  platform::remove_tree(box.app_folder());
  EXPECT_EQ(box.vesk({"version"}).exit_code, 0);
  EXPECT_TRUE(platform::file_exists(box.app_folder()));
}

TEST(VeskProgram, WithoutTheTrayAppRequestsFail) {
  Sandbox box;
  for (auto args : std::vector<std::vector<std::string>>{{}, {"auto"}, {"off", "--json"}}) {
    auto run = box.vesk(args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kNotRunningLine);
  }
  EXPECT_TRUE(testing::names_in(join_path(box.app_folder(), "requests")).empty());
}

TEST(VeskProgram, AsksTheStandIn) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();

  auto off = box.vesk({"off"});
  EXPECT_EQ(off.exit_code, 0);
  EXPECT_EQ(off.err, "");
  EXPECT_FALSE(off.out.empty());
  EXPECT_EQ(off.out.find('\n'), off.out.size() - 1);  // the reply's one status line

  app.script("status", [](const standin::Request&) {
    return Json{{"ok", true}, {"status", "Awake."}, {"holds", Json::array()}};
  });
  auto json = box.vesk({"--json"});
  EXPECT_EQ(json.exit_code, 0);
  EXPECT_EQ(json.out, "{\n  \"holds\": [],\n  \"ok\": true,\n  \"status\": \"Awake.\"\n}\n");

  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, R"({"args":{"mode":"off"},"cmd":"mode"})");
  EXPECT_EQ(seen[1].text, R"({"args":{},"cmd":"status"})");
  EXPECT_TRUE(testing::names_in(join_path(box.app_folder(), "replies")).empty());
  EXPECT_TRUE(testing::names_in(join_path(box.app_folder(), "requests")).empty());
}

TEST(VeskProgram, RefusalExitsWithOne) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.script("mode", [](const standin::Request&) {
    return Json{{"ok", false}, {"error", "Not now."}};
  });
  app.start();
  auto run = box.vesk({"auto"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "Not now.\n");
  EXPECT_EQ(run.err, "");
  auto json = box.vesk({"auto", "--json"});
  EXPECT_EQ(json.exit_code, 1);
  EXPECT_EQ(json.out, "{\n  \"error\": \"Not now.\",\n  \"ok\": false\n}\n");
}

TEST(VeskProgram, UnwritableAppFolder) {
  Sandbox box;
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "alive"),
                                   std::to_string(ipc::unix_now())));
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "requests"), "a file"));
  auto run = box.vesk({"status"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.substr(0, 34), "vesk: couldn't write the request: ") << run.err;
  EXPECT_NE(run.err.find(" (os error "), std::string::npos) << run.err;
  EXPECT_EQ(run.err.back(), '\n');
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);  // one line
}

// A tray app killed outright leaves a fresh heartbeat behind; the process it
// names is gone, so vesk says so at once instead of waiting for an answer.
TEST(VeskProgram, CrashedAppIsSeenAtOnce) {
  Sandbox box;
  auto gone = platform::Child::start(testing::built_program("vesk-testchild"), {"exit", "0"});
  ASSERT_TRUE(gone) << gone.message();
  uint32_t pid = gone->pid();
  uint64_t created = platform::process_start_time(pid).value_or(1);
  ASSERT_TRUE(gone->wait());
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "alive"),
                                   std::to_string(ipc::unix_now()) + " " + std::to_string(pid) +
                                       " " + std::to_string(created)));
  auto started = std::chrono::steady_clock::now();
  auto run = box.vesk({"on", "5"});
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err,
            "vesk: Vesk isn't running. Start the Vesk app first (it lives in the system tray).\n");
  EXPECT_LT(took, std::chrono::seconds(5));  // not the 10-second wait for an answer
  EXPECT_TRUE(testing::names_in(join_path(box.app_folder(), "requests")).empty());
}

TEST(VeskProgram, NoAnswerTimesOut) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.script("sleep_now", [](const standin::Request&) { return std::nullopt; });
  app.start();
  auto run = box.vesk({"sleep"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err,
            "vesk: Vesk didn't answer in time. It may be busy or stuck; try again, or restart the app.\n");
}

TEST(VeskProgram, FiftyAtOnceEachGetTheirOwnReply) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  // Each reply names the request it answers.
  app.script("status", [](const standin::Request& r) {
    return Json{{"ok", true}, {"status", r.id}};
  });
  app.start();
  std::vector<platform::Child> children;
  for (int i = 0; i < 50; ++i) {
    auto child = box.start_vesk({"status"});
    ASSERT_TRUE(child) << child.message();
    children.push_back(std::move(*child));
  }
  std::set<std::string> answers;
  for (auto& child : children) {
    auto run = child.wait();
    ASSERT_TRUE(run) << run.message();
    EXPECT_EQ(run->exit_code, 0) << run->err;
    ASSERT_FALSE(run->out.empty());
    std::string id = run->out.substr(0, run->out.size() - 1);
    // The id ends with the process id of the vesk that asked.
    std::string pid_hex = id.substr(id.find('-') + 1);
    EXPECT_EQ(std::stoul(pid_hex, nullptr, 16), child.pid()) << id;
    answers.insert(id);
  }
  EXPECT_EQ(answers.size(), 50u);
  EXPECT_EQ(app.requests().size(), 50u);
  EXPECT_TRUE(testing::names_in(join_path(box.app_folder(), "requests")).empty());
  EXPECT_TRUE(testing::names_in(join_path(box.app_folder(), "replies")).empty());
}

TEST(StandInProgram, ServesUntilQuit) {
  Sandbox box;
  auto standin = platform::Child::start(testing::built_program("vesk-standin"),
                                        {"--folder", box.app_folder()});
  ASSERT_TRUE(standin) << standin.message();
  // Wait for its first heartbeat.
  for (int i = 0; i < 300 && !ipc::app_alive(box.app_folder()); ++i) platform::sleep_ms(20);
  ASSERT_TRUE(ipc::app_alive(box.app_folder()));
  EXPECT_TRUE(ipc::app_process_alive(box.app_folder()));

  auto status = box.vesk({"status"});
  EXPECT_EQ(status.exit_code, 0) << status.err;
  EXPECT_FALSE(status.out.empty());

  auto quit = ipc::app_request(box.app_folder(), "quit", Json::object(), 5);
  ASSERT_TRUE(quit) << quit.message();
  auto ended = standin->wait();
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->exit_code, 0);
  EXPECT_FALSE(ipc::app_process_alive(box.app_folder()));
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

// `hold --pid`: held while that process runs, the hold bound to it; one
// that isn't running is refused.
TEST(VeskProgram, HoldWhileAProcessRuns) {
  testing::Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  auto child = platform::Child::start(testing::built_program("vesk-testchild"),
                                      {"exit", "0", "1500"});
  ASSERT_TRUE(child) << child.message();
  const std::string pid = std::to_string(child->pid());
  auto held = box.vesk({"hold", "--pid", pid});
  EXPECT_EQ(held.exit_code, 0) << held.err;
  EXPECT_EQ(held.out.rfind("Holding (id ", 0), 0u) << held.out;
  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].args["pid"], child->pid());
  EXPECT_EQ(seen[0].args["minutes"], nullptr);
  // The program's name as the system gives it ("….exe" on Windows).
  EXPECT_EQ(seen[0].args["reason"].get<std::string>().rfind("While vesk-testchild", 0), 0u);
  ASSERT_EQ(app.holds().size(), 1u);
  ASSERT_TRUE(child->wait());
  // The stand-in ends the hold once the process has gone.
  EXPECT_EQ(box.vesk({"--json"}).out.find("vesk-testchild"), std::string::npos);
  EXPECT_TRUE(app.holds().empty());

  auto gone = box.vesk({"hold", "--pid", pid});
  EXPECT_EQ(gone.exit_code, 2);
  EXPECT_EQ(gone.err, "vesk: no process " + pid + " is running\n");
  auto bad = box.vesk({"hold", "--pid", "x"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.err, "vesk: \"x\" isn't a process id\n");
  EXPECT_EQ(app.requests().size(), 2u);  // the status between, and nothing more
}

}  // namespace
}  // namespace vesk
