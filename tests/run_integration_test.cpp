// `vesk run` with real children, against the stand-in tray app.
#include <gtest/gtest.h>

#include <thread>

#include "harness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/spawn.h"
#include "standin/standin.h"

namespace vesk {
namespace {

using testing::built_program;
using testing::Sandbox;

const std::string kChild = built_program("vesk-testchild");

// After the two holds (vesk's own, then the child's): both released, in
// that order, and nothing left held.
void expect_both_holds_released(const standin::StandIn& app) {
  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2].text, R"({"args":{"id":"1"},"cmd":"release"})");
  EXPECT_EQ(seen[3].text, R"({"args":{"id":"2"},"cmd":"release"})");
  EXPECT_TRUE(app.holds().empty());
}

TEST(VeskRun, PassesTheExitCodeAndMovesTheHold) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  // The child lives long enough for its hold to be taken.
  auto vesk = box.start_vesk({"run", "--", kChild, "exit", "3", "300"});
  ASSERT_TRUE(vesk) << vesk.message();
  uint32_t vesk_pid = vesk->pid();
  auto run = vesk->wait();
  ASSERT_TRUE(run) << run.message();
  EXPECT_EQ(run->exit_code, 3);
  EXPECT_EQ(run->err, "");
  const std::string child_pid = run->out.substr(0, run->out.find('\n'));

  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 4u);
  const std::string reason = "Running vesk-testchild" + std::string(platform::kExeSuffix);
  EXPECT_EQ(seen[0].kind, "hold");
  EXPECT_EQ(seen[0].args, (Json{{"pid", vesk_pid}, {"reason", reason}}));
  EXPECT_EQ(seen[1].kind, "hold");
  EXPECT_EQ(seen[1].args, (Json{{"pid", std::stoul(child_pid)}, {"reason", reason}}));
  expect_both_holds_released(app);
}

// Ctrl+C reaches every process of the console (POSIX: of the terminal's
// job), vesk and its child: the child ends by it, with status 42, and vesk
// passes that on and still releases both holds.
TEST(VeskRun, InterruptReleasesBothHoldsAndPassesTheStatusOn) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  const std::string go = platform::join_path(box.root(), "go");
  platform::SpawnOptions options;
  options.capture_output = true;
  options.env = box.env();
  // In a console of its own, so that the Ctrl+C reaches no test.
  auto vesk = platform::Process::start(
      kChild, {"console", built_program("vesk"), "run", "--", kChild, "interrupt", go}, options);
  ASSERT_TRUE(vesk) << vesk.message();
  platform::ProcessOutput output;
  std::thread reader([&] {
    if (auto read = vesk->communicate()) output = std::move(*read);
  });
  // Its own hold, the child's, and the release of its own: vesk now waits,
  // and the child presses Ctrl+C once told to.
  for (int i = 0; i < 1000 && app.requests().size() < 3; ++i) platform::sleep_ms(10);
  EXPECT_EQ(app.requests().size(), 3u);
  EXPECT_TRUE(platform::write_file(go, ""));
  reader.join();

  auto run = vesk->wait();
  ASSERT_TRUE(run) << run.message();
  EXPECT_EQ(run->code, 42) << output.out;
  EXPECT_EQ(output.err, "");
  expect_both_holds_released(app);
}

TEST(VeskRun, ExitCodesAndCrashes) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  const bool windows = platform::kPathSeparator == '\\';
  std::vector<std::pair<std::vector<std::string>, int>> rows = {
      {{"run", kChild, "exit", "0"}, 0},
      {{"run", kChild, "exit", "254"}, 254},
      // POSIX keeps only the low 8 bits of an exit code.
      {{"run", kChild, "exit", "300"}, windows ? 255 : 44},
  };
  if (windows) {
    // An access violation's status: a crash is never passed on as success.
    // (A real crash would start wine's debugger, so the child exits with
    // the status a crash leaves.)
    rows.push_back({{"run", kChild, "exit", "-1073741819"}, 255});
  } else {
    rows.push_back({{"run", kChild, "crash"}, 128 + 11});  // SIGSEGV
  }
  // Under AddressSanitizer the crash must reach vesk as the signal it is,
  // not as ASan's report.
  const platform::EnvChanges crash_as_is = {{"ASAN_OPTIONS", "handle_segv=0"}};
  for (const auto& [args, status] : rows) {
    auto run = box.run(built_program("vesk"), args, crash_as_is);
    EXPECT_EQ(run.exit_code, status) << args.back();
    EXPECT_EQ(run.err, "") << args.back();
  }
}

TEST(VeskRun, ArgumentsArePassedOnUnchanged) {
  Sandbox box;
  // "--json" before the program is vesk's own switch; after it, the child's.
  auto run = box.vesk({"--json", "run", "--json", "--", "--", kChild, "args", "--", "a b", "",
                       "\"q\"", "--json", "caf\xC3\xA9", "--json"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "--\na b\n\n\"q\"\n--json\ncaf\xC3\xA9\n--json\n");
  // Without the tray app: one warning line, and the command runs anyway.
  EXPECT_EQ(run.err,
            "vesk: not keeping awake (Vesk isn't running. Start the Vesk app first (it lives "
            "in the system tray).); running anyway\n");
}

TEST(VeskRun, MissingProgram) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  auto run = box.vesk({"run", "--", "vesk-no-such-program"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "vesk: couldn't start vesk-no-such-program: program not found\n");
  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 2u);  // the first hold, then its release
  EXPECT_EQ(seen[1].text, R"({"args":{"id":"1"},"cmd":"release"})");
  EXPECT_TRUE(app.holds().empty());
}

}  // namespace
}  // namespace vesk
