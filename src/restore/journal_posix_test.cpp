// A journal writer killed at any moment leaves the journal whole, and its
// temporary is cleared away later.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "restore/journal.h"

namespace vesk::restore {
namespace {

// Where a writer stops, told apart by the files they leave: write_restore
// goes through platform::write_file_atomic (a temporary sibling created,
// written, flushed and renamed over the journal), whose steps are taken here
// one by one.
enum class Stop { before, created, half_written, written, renamed, returned };
constexpr Stop kStops[] = {Stop::before,  Stop::created, Stop::half_written,
                           Stop::written, Stop::renamed, Stop::returned};

// Tells the parent through `fd` that the writer is where it stops, then
// waits to be killed.
[[noreturn]] void stop_here(int fd) {
  char ready = 1;
  if (::write(fd, &ready, 1) != 1) ::_exit(3);
  for (;;) ::pause();
}

// The writer's part after fork: writes `record` up to `stop`. A step that
// fails ends it without a word, which the parent sees.
[[noreturn]] void write_until(const std::string& folder, const Restore& record, Stop stop,
                              int fd) {
  if (stop == Stop::returned) {
    if (!write_restore(folder, record)) ::_exit(4);
    stop_here(fd);
  }
  if (stop == Stop::before) stop_here(fd);
  std::string path = platform::join_path(folder, kRestoreFile);
  auto file = platform::AtomicFile::create(
      path, platform::temp_sibling(path, "tmp", platform::current_pid()));
  if (!file) ::_exit(4);
  if (stop == Stop::created) stop_here(fd);
  std::string text = restore_text(record);
  size_t half = text.size() / 2;
  if (!file->write_all(std::string_view(text).substr(0, half))) ::_exit(4);
  if (stop == Stop::half_written) stop_here(fd);
  if (!file->write_all(std::string_view(text).substr(half))) ::_exit(4);
  if (stop == Stop::written) stop_here(fd);
  if (!file->commit()) ::_exit(4);
  stop_here(fd);
}

TEST(JournalDurabilityPosix, WriterKilledAtAnyMomentLeavesAWholeJournal) {
  vesk::testing::TempDir dir;
  Restore a, b;
  a.lid_action = LidAction{1, 2};
  b.lid_more.assign(200, LidMore{"381b4222-f694-41f0-9685-ff5bb260df2e", 3, 4});
  ASSERT_TRUE(write_restore(dir.path(), a));
  unsigned round = 0;
  for (Stop stop : kStops) {
    for (const Restore* record : {&b, &a}) {
      ++round;
      int report[2];
      ASSERT_EQ(::pipe(report), 0);
      pid_t writer = ::fork();
      ASSERT_GE(writer, 0);
      if (writer == 0) {
        ::close(report[0]);
        write_until(dir.path(), *record, stop, report[1]);
      }
      ::close(report[1]);
      // Killed once it has told that it stopped (or, failing, has ended).
      char ready = 0;
      ssize_t told = ::read(report[0], &ready, 1);
      ::close(report[0]);
      ASSERT_EQ(::kill(writer, SIGKILL), 0);
      int status = 0;
      ASSERT_EQ(::waitpid(writer, &status, 0), writer);
      ASSERT_EQ(told, 1) << "round " << round << ": the writer ended with status " << status;
      ASSERT_TRUE(WIFSIGNALED(status));
      auto found = read_restore(dir.path());
      ASSERT_TRUE(found) << "round " << round;
      EXPECT_TRUE(*found == a || *found == b) << "round " << round;
    }
  }
  // What the killed writers left behind goes; only the journal stays.
  remove_stale_temporaries(dir.path(), [](uint32_t pid) {
    return platform::process_start_time(pid).has_value();
  });
  EXPECT_EQ(vesk::testing::names_in(dir.path()), std::vector<std::string>{kRestoreFile});
}

}  // namespace
}  // namespace vesk::restore
