#include "cli/run.h"

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "cli_fake.h"
#include "platform/fs.h"
#include "platform/launch.h"
#include "platform/process.h"

namespace vesk::cli {
namespace {

using testing::Cli;

TEST(Run, DisplayName) {
  const bool windows = platform::kPathSeparator == '\\';
  const std::pair<std::string, std::string> rows[] = {
      {"make", "make"},
      {"/usr/bin/make", "make"},
      {"tools/render job.exe", "render job.exe"},
      {"dir/", "dir"},
      {"dir/.", "dir"},
      {"a/..", "a/.."},
      {"..", ".."},
      {"/", "/"},
      {".", "."},
      {"C:\\tools\\render job.exe", windows ? "render job.exe" : "C:\\tools\\render job.exe"},
      {"C:\\", windows ? "C:\\" : "C:\\"},
  };
  for (const auto& [program, name] : rows) EXPECT_EQ(display_name(program), name) << program;
}

TEST(Run, ExitStatusOfChild) {
  const std::pair<int64_t, int> rows[] = {
      {0, 0}, {3, 3}, {254, 254}, {255, 255}, {300, 255}, {-1, 255},
      {-1073741819, 255},  // an access violation is a failure, not success
      {INT64_MAX, 255},
  };
  for (const auto& [code, status] : rows) EXPECT_EQ(exit_status_of_child(code), status) << code;
}

// A child that records being waited for.
class FakeChild final : public RunningChild {
 public:
  FakeChild(uint32_t pid, Result<int64_t> code, std::vector<std::string>* log)
      : pid_(pid), code_(std::move(code)), log_(log) {}
  uint32_t pid() const override { return pid_; }
  Result<int64_t> wait() override {
    log_->push_back("wait");
    return code_;
  }

 private:
  uint32_t pid_;
  Result<int64_t> code_;
  std::vector<std::string>* log_;
};

struct RunCase {
  Cli cli;
  std::vector<std::string> log;  // the order of requests and waits
  std::string started;           // program and arguments
  Result<int64_t> code = int64_t{0};
  bool start_fails = false;

  int run(std::vector<std::string> args) {
    cli.io = testing::RecordingIo();
    return run_cli(
        std::move(args), "/app", cli.io,
        [this](std::string_view kind, Json payload, unsigned wait) -> Result<Json> {
          cli.sent.push_back({std::string(kind), payload, wait});
          log.push_back(std::string(kind) + " " + compact_json(payload));
          if (cli.replies.empty()) return Error{"gone"};
          Result<Json> r = cli.replies.front();
          cli.replies.pop_front();
          return r;
        },
        [this](const std::string& program,
               const Args& child_args) -> Result<std::unique_ptr<RunningChild>> {
          started = program;
          for (const auto& a : child_args) started += "|" + a;
          log.push_back("start");
          if (start_fails) return Error{std::string(platform::kProgramNotFound)};
          return std::unique_ptr<RunningChild>(new FakeChild(4321, code, &log));
        });
  }
};

Json held(const char* id) { return Json{{"ok", true}, {"hold", {{"id", id}}}}; }

TEST(Run, HoldsMoveToTheChildAndAreReleased) {
  RunCase c;
  c.cli.replies = {held("1"), held("2"), Json::object(), Json::object()};
  c.code = int64_t{3};
  EXPECT_EQ(c.run({"run", "--", "--", "make", "--", "-j", "--json"}), 3);
  const std::string own = std::to_string(platform::current_pid());
  EXPECT_EQ(c.started, "make|--|-j|--json");
  EXPECT_EQ(c.log, (std::vector<std::string>{
                       R"(hold {"pid":)" + own + R"(,"reason":"Running make"})",
                       "start",
                       R"(hold {"pid":4321,"reason":"Running make"})",
                       R"(release {"id":"1"})",
                       "wait",
                       R"(release {"id":"2"})",
                   }));
  for (const auto& sent : c.cli.sent) EXPECT_EQ(sent.wait, 5u);
  EXPECT_EQ(c.cli.io.out_, "");
  EXPECT_EQ(c.cli.io.err_, "");
}

TEST(Run, WithoutTheTrayAppTheCommandStillRuns) {
  RunCase c;
  c.cli.replies = {Error{"Vesk isn't running."}};
  c.code = int64_t{-1073741819};
  EXPECT_EQ(c.run({"run", "tool"}), 255);
  EXPECT_EQ(c.log, (std::vector<std::string>{
                       R"(hold {"pid":)" + std::to_string(platform::current_pid()) +
                           R"(,"reason":"Running tool"})",
                       "start", "wait"}));
  EXPECT_EQ(c.cli.io.err_, "vesk: not keeping awake (Vesk isn't running.); running anyway\n");
}

TEST(Run, HoldWithoutIdIsNotReleased) {
  RunCase c;
  c.cli.replies = {Json{{"ok", true}, {"hold", {{"id", 7}}}}, Error{"late"}};
  EXPECT_EQ(c.run({"run", "x"}), 0);
  EXPECT_EQ(c.log.size(), 4u);  // hold, start, hold, wait: no releases
  EXPECT_EQ(c.cli.io.err_, "");
}

TEST(Run, StartFailureReleasesTheFirstHold) {
  RunCase c;
  c.start_fails = true;
  c.cli.replies = {held("1"), Json::object()};
  EXPECT_EQ(c.run({"run", "--", "nosuch", "a"}), 2);
  EXPECT_EQ(c.log.back(), R"(release {"id":"1"})");
  EXPECT_EQ(c.cli.io.err_, "vesk: couldn't start nosuch: program not found\n");
}

TEST(Run, WaitFailureReleasesTheSecondHold) {
  RunCase c;
  c.code = Error{"The handle is invalid. (os error 6)"};
  c.cli.replies = {held("1"), held("2"), Json::object(), Json::object()};
  EXPECT_EQ(c.run({"run", "x"}), 2);
  EXPECT_EQ(c.log.back(), R"(release {"id":"2"})");
  EXPECT_EQ(c.cli.io.err_, "vesk: The handle is invalid. (os error 6)\n");
}

// "--help" or "-h" first shows run's help; after "--" it is the program's.
TEST(Run, HelpOnlyBeforeTheDashes) {
  const std::string help = command_help(*find_command("run"));
  for (const char* flag : {"--help", "-h"}) {
    RunCase c;
    EXPECT_EQ(c.run({"run", flag, "tool"}), 0) << flag;
    EXPECT_EQ(c.cli.io.out_, help) << flag;
    EXPECT_EQ(c.cli.io.err_, "") << flag;
    EXPECT_TRUE(c.log.empty()) << flag;  // nothing sent, nothing started
  }
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"run", "--", "--help"}, "--help"},
      {{"run", "--", "tool", "--help"}, "tool|--help"},
      {{"run", "tool", "-h"}, "tool|-h"},
  };
  for (const auto& [args, started] : rows) {
    RunCase c;
    c.cli.replies = {held("1"), held("2"), Json::object(), Json::object()};
    EXPECT_EQ(c.run(args), 0) << started;
    EXPECT_EQ(c.started, started);
    EXPECT_EQ(c.cli.io.out_, "") << started;
  }
}

}  // namespace
}  // namespace vesk::cli
