// The journals on disk.
#include "platform/fs.h"
#include "restore/journal.h"

namespace vesk::restore {
namespace {

template <class T, class Parse>
JournalState<T> load(const std::string& path, Parse parse) {
  JournalState<T> state;
  auto text = platform::read_file(path);
  // A file that exists but cannot be read now (locked, no access) is still
  // there: it is not "missing".
  state.present = text.ok() || platform::file_exists(path);
  if (text) state.value = parse(*text);
  return state;
}

bool remove_journal(const std::string& path) {
  (void)platform::remove_file(path);
  return !platform::file_exists(path);
}

}  // namespace

JournalState<Restore> load_restore(const std::string& app_folder) {
  return load<Restore>(platform::join_path(app_folder, kRestoreFile), parse_restore);
}

JournalState<std::vector<Touched>> load_touched(const std::string& app_folder) {
  return load<std::vector<Touched>>(platform::join_path(app_folder, kTouchedFile), parse_touched);
}

std::optional<Restore> read_restore(const std::string& app_folder) {
  return load_restore(app_folder).value;
}

std::optional<std::vector<Touched>> read_touched(const std::string& app_folder) {
  return load_touched(app_folder).value;
}

bool write_restore(const std::string& app_folder, const Restore& record) {
  return platform::write_file_atomic(platform::join_path(app_folder, kRestoreFile),
                                     restore_text(record))
      .ok();
}

bool write_touched(const std::string& app_folder, const std::vector<Touched>& entries) {
  return platform::write_file_atomic(platform::join_path(app_folder, kTouchedFile),
                                     touched_text(entries))
      .ok();
}

bool remove_restore(const std::string& app_folder) {
  return remove_journal(platform::join_path(app_folder, kRestoreFile));
}

bool remove_touched(const std::string& app_folder) {
  return remove_journal(platform::join_path(app_folder, kTouchedFile));
}

}  // namespace vesk::restore
