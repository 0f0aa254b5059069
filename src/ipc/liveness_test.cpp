#include "ipc/liveness.h"

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::ipc {
namespace {

constexpr uint64_t kBeat = 1796580000;

TEST(HeartbeatAge, ReadsTheFirstWordAgainstNow) {
  struct Row {
    const char* text;
    uint64_t now;
    std::optional<uint64_t> age;
  };
  const Row rows[] = {
      {"1796580000 8000 134000000000000000", kBeat + 14, 14},
      {"1796580000 8000 134000000000000000", kBeat + 15, 15},
      {"1796580000", kBeat + 3, 3},                       // heartbeat alone
      {"  \n1796580000\r\n", kBeat + 1, 1},               // white space around
      {"\xC2\xA0" "1796580000\xE2\x80\x83" "8000", kBeat, 0},  // Unicode spaces
      {"+1796580000 8000 1", kBeat + 2, 2},
      {"1796580100 8000 1", kBeat, 0},                    // in the future
      {"1796580000 abc 8000 1", kBeat + 1, 1},            // only the first word
      {"1796580000 1 2 3", kBeat + 1, 1},                 // four numbers
      {"18446744073709551615", kBeat, 0},                 // largest value
      {"", kBeat, std::nullopt},
      {" \t\n", kBeat, std::nullopt},
      {"\xEF\xBB\xBF" "1796580000", kBeat, std::nullopt},  // byte-order mark
      {"-1796580000", kBeat, std::nullopt},
      {"+", kBeat, std::nullopt},
      {"++1", kBeat, std::nullopt},
      {"1796580000.5", kBeat, std::nullopt},
      {"abc 1796580000", kBeat, std::nullopt},
      {"18446744073709551616", kBeat, std::nullopt},      // 2^64
      {"99999999999999999999", kBeat, std::nullopt},      // 20 digits
      {"\xFF" "1796580000", kBeat, std::nullopt},         // not UTF-8
      {"\xEF\xBC\x91", kBeat, std::nullopt},              // fullwidth digit
  };
  for (const Row& row : rows) {
    EXPECT_EQ(heartbeat_age_of(row.text, row.now), row.age) << "text: " << row.text;
  }
}

TEST(AliveIdentity, NeedsExactlyThreeNumbers) {
  struct Row {
    const char* text;
    bool valid;
    uint32_t pid;
    uint64_t created;
  };
  const Row rows[] = {
      {"1796580000 8000 134000000000000000", true, 8000, 134000000000000000},
      {"1796580000 abc 8000 134000000000000000", true, 8000, 134000000000000000},
      {"abc 1796580000 8000 134000000000000000", true, 8000, 134000000000000000},
      {"1796580000", false, 0, 0},
      {"1796580000 8000", false, 0, 0},
      {"1796580000 8000 1 2", false, 0, 0},
      {"1796580000 4294967295 5", true, 4294967295u, 5},
      {"1796580000 4294967296 5", false, 0, 0},
      {"1796580000 8000 0", false, 0, 0},
      {"1796580000 -8000 5 6", true, 5, 6},  // the minus word is skipped
  };
  for (const Row& row : rows) {
    auto id = alive_identity(row.text);
    ASSERT_EQ(id.has_value(), row.valid) << row.text;
    if (row.valid) {
      EXPECT_EQ(id->pid, row.pid) << row.text;
      EXPECT_EQ(id->creation_time, row.created) << row.text;
    }
  }
}

TEST(AppLiveness, FollowsTheAliveFile) {
  testing::TempDir dir;
  std::string alive = platform::join_path(dir.path(), "alive");
  EXPECT_FALSE(app_alive(dir.path()));
  EXPECT_FALSE(app_process_alive(dir.path()));

  uint32_t pid = platform::current_pid();
  uint64_t created = *platform::process_start_time(pid);
  auto write = [&](uint64_t beat, uint64_t who, uint64_t when) {
    ASSERT_TRUE(platform::write_file(alive, std::to_string(beat) + " " + std::to_string(who) +
                                                " " + std::to_string(when)));
  };
  write(unix_now(), pid, created);
  EXPECT_TRUE(app_alive(dir.path()));
  EXPECT_TRUE(app_process_alive(dir.path()));
  EXPECT_EQ(heartbeat_age(alive), 0u);

  write(unix_now() - 60, pid, created);  // stale heartbeat, same process
  EXPECT_FALSE(app_alive(dir.path()));
  EXPECT_TRUE(app_process_alive(dir.path()));

  write(unix_now(), pid, created + 1);  // the id was reused by another process
  EXPECT_FALSE(app_alive(dir.path()));
  EXPECT_FALSE(app_process_alive(dir.path()));

  ASSERT_TRUE(platform::write_file(alive, std::to_string(unix_now())));  // names no process
  EXPECT_TRUE(app_alive(dir.path()));
  EXPECT_FALSE(app_process_alive(dir.path()));
}

// A fresh heartbeat from a process that has ended: not running, at once.
TEST(AppLiveness, EndedProcessIsNotRunning) {
  testing::TempDir dir;
  auto child = platform::Child::start(testing::built_program("vesk-testchild"), {"exit", "0"});
  ASSERT_TRUE(child) << child.message();
  uint32_t pid = child->pid();
  uint64_t created = platform::process_start_time(pid).value_or(1);
  ASSERT_TRUE(child->wait());
  EXPECT_EQ(platform::process_presence(pid, created), platform::ProcessPresence::kGone);
  ASSERT_TRUE(platform::write_file(platform::join_path(dir.path(), "alive"),
                                   std::to_string(unix_now()) + " " + std::to_string(pid) + " " +
                                       std::to_string(created)));
  EXPECT_FALSE(app_alive(dir.path()));
  EXPECT_EQ(platform::process_presence(platform::current_pid(),
                                       *platform::process_start_time(platform::current_pid())),
            platform::ProcessPresence::kRunning);
}

}  // namespace
}  // namespace vesk::ipc
