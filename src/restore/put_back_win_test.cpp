// The put-back run against a real suspended process, and journal writes
// whose rename fails.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win_handle.h"  // windows.h first

#include <tlhelp32.h>

#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "restore/journal.h"
#include "restore/put_back.h"

namespace vesk::restore {
namespace {

using platform::win::UniqueHandle;

using NtProcessFn = LONG(NTAPI*)(HANDLE);

NtProcessFn ntdll_function(const char* name) {
  return reinterpret_cast<NtProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// The largest suspend count among the process's threads (read by
// suspending and resuming each once).
int suspend_count(uint32_t pid) {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int most = -1;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    UniqueHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
    if (!thread) continue;
    DWORD before = SuspendThread(thread.get());
    if (before == static_cast<DWORD>(-1)) continue;
    ResumeThread(thread.get());
    most = std::max(most, static_cast<int>(before));
  }
  return most;
}

class SuspendedChild : public ::testing::Test {
 protected:
  void SetUp() override {
    auto child = platform::Child::start(vesk::testing::built_program("vesk-testchild"),
                                        {"exit", "0", "60000"});
    ASSERT_TRUE(child) << child.message();
    child_.emplace(std::move(*child));
    pid_ = child_->pid();
    auto start = platform::process_start_time(pid_);
    ASSERT_TRUE(start);
    start_ = *start;
    process_.reset(OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, pid_));
    ASSERT_TRUE(process_);
    NtProcessFn suspend = ntdll_function("NtSuspendProcess");
    ASSERT_NE(suspend, nullptr);
    ASSERT_GE(suspend(process_.get()), 0);
    ASSERT_GE(suspend_count(pid_), 1);
  }
  void TearDown() override { child_.reset(); }  // ended by its destructor

  vesk::testing::TempDir dir_;
  std::optional<platform::Child> child_;
  UniqueHandle process_;
  uint32_t pid_ = 0;
  uint64_t start_ = 0;
};

TEST_F(SuspendedChild, PutBackResumesIt) {
  ASSERT_TRUE(write_touched(dir_.path(), {Touched{pid_, "vesk-testchild", start_, true, 32,
                                                  std::nullopt}}));
  EXPECT_EQ(put_back(dir_.path()).result, PutBackResult::kRestored);
  EXPECT_EQ(suspend_count(pid_), 0);
  EXPECT_FALSE(platform::file_exists(platform::join_path(dir_.path(), kTouchedFile)));
}

TEST_F(SuspendedChild, AnotherCreationTimeStaysSuspended) {
  ASSERT_TRUE(write_touched(dir_.path(), {Touched{pid_, "vesk-testchild", start_ + 1, true, 32,
                                                  std::nullopt}}));
  EXPECT_EQ(put_back(dir_.path()).result, PutBackResult::kRestored);
  EXPECT_GE(suspend_count(pid_), 1);
}

TEST_F(SuspendedChild, AnotherNameStaysSuspended) {
  ASSERT_TRUE(write_touched(dir_.path(), {Touched{pid_, "vesk-testchild.exe", start_, true, 32,
                                                  std::nullopt}}));
  EXPECT_EQ(put_back(dir_.path()).result, PutBackResult::kRestored);
  EXPECT_GE(suspend_count(pid_), 1);
}

TEST_F(SuspendedChild, SlowedGetsItsPriorityClassBack) {
  {
    UniqueHandle slow(OpenProcess(PROCESS_SET_INFORMATION, FALSE, pid_));
    ASSERT_TRUE(slow);
    ASSERT_TRUE(SetPriorityClass(slow.get(), IDLE_PRIORITY_CLASS));
  }
  ASSERT_TRUE(write_touched(dir_.path(), {Touched{pid_, "vesk-testchild", start_, false,
                                                  BELOW_NORMAL_PRIORITY_CLASS, std::nullopt}}));
  EXPECT_EQ(put_back(dir_.path()).result, PutBackResult::kRestored);
  UniqueHandle query(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid_));
  ASSERT_TRUE(query);
  EXPECT_EQ(GetPriorityClass(query.get()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
}

// MoveFileExW cannot replace a journal that someone holds open without
// delete sharing: the write fails and the old journal stays whole.
TEST(JournalDurabilityWin, FailedRenameLeavesTheOldJournal) {
  vesk::testing::TempDir dir;
  Restore old;
  old.lid_action = LidAction{1, 2};
  ASSERT_TRUE(write_restore(dir.path(), old));
  std::string path = platform::join_path(dir.path(), kRestoreFile);
  {
    UniqueHandle held(CreateFileW(platform::win::widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(write_restore(dir.path(), Restore{}));
  }
  EXPECT_EQ(read_restore(dir.path()), old);
  EXPECT_EQ(vesk::testing::names_in(dir.path()), std::vector<std::string>{kRestoreFile});
}

// A journal that could not be removed is not "restored": what it names
// would be acted on again by the next run.
TEST(PutBackWin, JournalThatCannotBeRemovedIsPending) {
  vesk::testing::TempDir dir;
  ASSERT_TRUE(write_touched(dir.path(), {}));
  std::string path = platform::join_path(dir.path(), kTouchedFile);
  UniqueHandle held(CreateFileW(platform::win::widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  EXPECT_EQ(put_back(dir.path()).result, PutBackResult::kPartlyRestored);
  held.reset();
  EXPECT_EQ(put_back(dir.path()).result, PutBackResult::kRestored);
  EXPECT_FALSE(platform::file_exists(path));
}

// An unreadable journal that another program holds open cannot be moved
// aside: it stays until the next run can move it.
TEST(PutBackWin, UnreadableJournalHeldOpenStaysUntilItCanBeMoved) {
  vesk::testing::TempDir dir;
  std::string path = platform::join_path(dir.path(), kTouchedFile);
  ASSERT_TRUE(platform::write_file(path, "[{"));
  UniqueHandle held(CreateFileW(platform::win::widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  PutBack run = put_back(dir.path());
  EXPECT_EQ(run.result, PutBackResult::kPartlyRestored);
  EXPECT_TRUE(run.set_aside.empty());
  held.reset();
  run = put_back(dir.path());
  EXPECT_EQ(run.result, PutBackResult::kRestored);
  EXPECT_EQ(run.set_aside, std::vector<std::string>{set_aside_name(path, 1)});
  EXPECT_EQ(platform::read_file(set_aside_name(path, 1)).value_or(""), "[{");
}

}  // namespace
}  // namespace vesk::restore
