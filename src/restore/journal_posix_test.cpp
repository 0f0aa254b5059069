// A journal writer killed at any moment leaves the journal whole, and its
// temporary is cleared away later.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "restore/journal.h"

namespace vesk::restore {
namespace {

TEST(JournalDurabilityPosix, WriterKilledAtAnyMomentLeavesAWholeJournal) {
  vesk::testing::TempDir dir;
  Restore a, b;
  a.lid_action = LidAction{1, 2};
  b.lid_more.assign(200, LidMore{"381b4222-f694-41f0-9685-ff5bb260df2e", 3, 4});
  ASSERT_TRUE(write_restore(dir.path(), a));
  for (unsigned round = 0; round < 12; ++round) {
    pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      // Rewrites the journal over and over until killed; what a write
      // leaves is checked by the parent, so its result is not needed here.
      for (unsigned i = 0;; ++i) (void)write_restore(dir.path(), i % 2 ? a : b);
    }
    platform::sleep_ms(1 + round * 3);
    ASSERT_EQ(::kill(writer, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto found = read_restore(dir.path());
    ASSERT_TRUE(found) << "round " << round;
    EXPECT_TRUE(*found == a || *found == b) << "round " << round;
  }
  // What the killed writers left behind goes; only the journal stays.
  remove_stale_temporaries(dir.path(), [](uint32_t pid) {
    return platform::process_start_time(pid).has_value();
  });
  EXPECT_EQ(vesk::testing::names_in(dir.path()), std::vector<std::string>{kRestoreFile});
}

}  // namespace
}  // namespace vesk::restore
