// The put-back run against real processes: a stopped `sleep` stands for a
// paused app.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "restore/journal.h"
#include "restore/put_back.h"
#include "restore/rescue.h"

namespace vesk::restore {
namespace {

// The state letter of /proc/<pid>/stat ('T' when stopped).
char state_of(uint32_t pid) {
  auto text = platform::read_file("/proc/" + std::to_string(pid) + "/stat");
  if (!text) return '?';
  size_t close = text->rfind(')');
  return close == std::string::npos || close + 2 >= text->size() ? '?' : (*text)[close + 2];
}

// Waits (up to about 5 seconds) until the state is or is not 'T'.
bool wait_stopped(uint32_t pid, bool stopped) {
  for (int i = 0; i < 250; ++i) {
    if ((state_of(pid) == 'T') == stopped) return true;
    platform::sleep_ms(20);
  }
  return false;
}

class StoppedSleep : public ::testing::Test {
 protected:
  void SetUp() override {
    auto child = platform::Child::start("/bin/sleep", {"60"});
    ASSERT_TRUE(child) << child.message();
    sleep_.emplace(std::move(*child));
    pid_ = sleep_->pid();
    ASSERT_EQ(::kill(static_cast<pid_t>(pid_), SIGSTOP), 0);
    ASSERT_TRUE(wait_stopped(pid_, true));
    auto start = platform::process_start_time(pid_);
    ASSERT_TRUE(start);
    start_ = *start;
  }
  void TearDown() override {
    if (sleep_) ::kill(static_cast<pid_t>(pid_), SIGCONT);
    sleep_.reset();  // killed and reaped
  }
  void record(std::vector<Touched> entries) {
    ASSERT_TRUE(write_touched(dir_.path(), entries));
  }
  bool journal_exists() const {
    return platform::file_exists(platform::join_path(dir_.path(), kTouchedFile));
  }

  vesk::testing::TempDir dir_;
  std::optional<platform::Child> sleep_;
  uint32_t pid_ = 0;
  uint64_t start_ = 0;
};

TEST_F(StoppedSleep, RescueResumesIt) {
  record({Touched{pid_, "sleep", start_, true, 32, std::nullopt}});
  EXPECT_TRUE(rescue(dir_.path(), [] { return true; }).all_back);
  EXPECT_TRUE(wait_stopped(pid_, false)) << "state " << state_of(pid_);
  EXPECT_FALSE(journal_exists());
}

TEST_F(StoppedSleep, AnotherCreationTimeStaysStopped) {
  record({Touched{pid_, "sleep", start_ + 1, true, 32, std::nullopt}});
  EXPECT_TRUE(rescue(dir_.path(), [] { return true; }).all_back);  // the recorded process is gone
  EXPECT_EQ(state_of(pid_), 'T');
  EXPECT_FALSE(journal_exists());
}

TEST_F(StoppedSleep, AnotherNameStaysStopped) {
  record({Touched{pid_, "sleepy", start_, true, 32, std::nullopt}});
  EXPECT_EQ(put_back(dir_.path()).result, PutBackResult::kRestored);
  EXPECT_EQ(state_of(pid_), 'T');
  EXPECT_FALSE(journal_exists());
}

TEST_F(StoppedSleep, SlowedGetsItsClassBack) {
  // Idle class: the highest nice value, which needs no privilege to set.
  record({Touched{pid_, "sleep", start_, false, 64, "u"}});
  EXPECT_EQ(put_back(dir_.path()).result, PutBackResult::kRestored);
  errno = 0;
  int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(pid_));
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(nice, 19);
  EXPECT_EQ(state_of(pid_), 'T');  // slowed entries are not resumed
}

TEST_F(StoppedSleep, OwnProcessIsNeverResumed) {
  uint32_t self = platform::current_pid();
  auto start = platform::process_start_time(self);
  ASSERT_TRUE(start);
  auto exe = platform::self_exe_path();
  ASSERT_TRUE(exe);
  std::vector<Touched> entries = {
      Touched{self, normal_image_name(*exe), *start, true, 32, std::nullopt}};
  record(entries);
  EXPECT_EQ(put_back(dir_.path()).result, PutBackResult::kPartlyRestored);
  EXPECT_EQ(read_touched(dir_.path()), entries);
}

}  // namespace
}  // namespace vesk::restore
