// Putting back what the journals say Vesk still has changed: resuming
// paused processes, giving slowed ones their priority back, and writing
// back the recorded power settings. Works whether the tray app runs, is
// stuck or is gone.
//
// A change is put back only while it is still Vesk's: the process still has
// the recorded id, creation time and name; the setting still holds Vesk's
// value (0, or the best efficiency overlay). What could not be undone but
// still exists stays in the journals for the next run; what no longer
// exists or was changed by someone else since is forgotten.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/power.h"
#include "platform/process_control.h"
#include "restore/journal.h"

namespace vesk::restore {

// What a put-back run achieved.
enum class PutBackResult {
  kRestored,        // both journals were emptied
  kPartlyRestored,  // something is still pending
};

// The normal form of a program's path for comparing with a touched entry's
// `exe`: the part after the last '/' or '\', lower-cased (full Unicode),
// without a trailing ".exe".
std::string normal_image_name(std::string_view path);

// A put-back run's result, the copies of the journals it set aside, and one
// line per journal it could not set aside, rewrite or delete (the file and
// the system's reason).
struct PutBack {
  PutBackResult result = PutBackResult::kRestored;
  std::vector<std::string> set_aside;  // full paths, see restore::set_aside
  std::vector<std::string> problems;
};

// The put-back run over touched.json and restore.json, then the `hold`
// file is removed. Before it, journal temporaries whose writer is no longer
// running are deleted. A journal holding only white space counts as empty
// (and is removed). One whose content cannot be parsed is set aside (it may
// still name changes in force, for a person to look at) and the run goes on
// as if it were empty; when it cannot be moved, it stays and counts as
// pending. One that cannot be opened stays untouched and counts as pending.
// A journal that cannot be deleted is pending too.
PutBack put_back(const std::string& app_folder);
PutBack put_back(const std::string& app_folder, platform::PowerApi& power,
                 platform::ProcessControl& processes);

// The steps of a run, on values: the entries still to keep, and the record
// with what is left (cleared when nothing that can be acted on is left).
std::vector<Touched> put_back_processes(const std::vector<Touched>& entries,
                                        platform::ProcessControl& processes);
void put_back_power(Restore& record, platform::PowerApi& power);

// What the session-end handler does (all of it before it returns): the
// power settings of restore.json put back as far as possible, and the
// journal written back with what is left, even when that is nothing. With
// no journal, nothing happens; a blank one is removed and an unreadable one
// set aside, as a put-back run does. Fails when the journal can't be read,
// set aside, removed or written (the file and the system's reason); a
// setting that couldn't be written back is no failure: it stays recorded.
Status session_end_put_back(const std::string& app_folder, platform::PowerApi& power);
void session_end_put_back_record(Restore& record, platform::PowerApi& power);

// Held by every reader-modifier-writer of restore.json in this process, so
// that a session end on the watcher's thread and a put-back run never
// interleave. It counts the threads waiting for it, so that a test can tell
// when one is held up.
class JournalMutex {
 public:
  void lock() {
    ++waiting_;
    mutex_.lock();
    --waiting_;
  }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }
  int waiting() const { return waiting_.load(); }

 private:
  std::mutex mutex_;
  std::atomic<int> waiting_{0};
};
JournalMutex& restore_journal_mutex();

}  // namespace vesk::restore
