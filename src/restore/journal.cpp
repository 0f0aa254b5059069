// The journals on disk.
#include <algorithm>
#include <charconv>

#include "base/text.h"
#include "platform/fs.h"
#include "restore/journal.h"

namespace vesk::restore {
namespace {

template <class T, class Parse>
JournalState<T> load(const std::string& path, Parse parse) {
  JournalState<T> state;
  auto text = platform::read_file(path);
  if (!text) {
    // A file that exists but cannot be read now (locked, no access, a
    // folder that cannot be searched) is still there: it is not "missing".
    state.present = !platform::file_absent(path);
    if (state.present) state.read_error = text.message();
    return state;
  }
  state.present = true;
  state.blank = blank(*text);
  if (!state.blank) state.value = parse(*text);
  return state;
}

Status remove_journal(const std::string& path) {
  Status removed = platform::remove_file(path);
  if (removed || platform::file_absent(path)) return {};
  return Error{path + " couldn't be deleted: " + removed.message()};
}

Status write_journal(const std::string& path, const std::string& text) {
  Status written = platform::write_file_atomic(path, text);
  if (written) return {};
  return Error{path + " couldn't be updated: " + written.message()};
}

constexpr const char* kJournals[] = {kRestoreFile, kTouchedFile};

// The process id in a journal temporary's name ("restore.tmp4242").
std::optional<uint32_t> temporary_pid(std::string_view name) {
  for (const char* journal : kJournals) {
    std::string prefix = platform::replace_extension(journal, "tmp");
    if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
    std::string_view digits = name.substr(prefix.size());
    uint32_t pid = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error == std::errc() && end == digits.data() + digits.size()) return pid;
  }
  return std::nullopt;
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

Status write_restore(const std::string& app_folder, const Restore& record) {
  return write_journal(platform::join_path(app_folder, kRestoreFile), restore_text(record));
}

Status write_touched(const std::string& app_folder, const std::vector<Touched>& entries) {
  return write_journal(platform::join_path(app_folder, kTouchedFile), touched_text(entries));
}

Status remove_restore(const std::string& app_folder) {
  return remove_journal(platform::join_path(app_folder, kRestoreFile));
}

Status remove_touched(const std::string& app_folder) {
  return remove_journal(platform::join_path(app_folder, kTouchedFile));
}

std::string set_aside_name(const std::string& path, int n) {
  std::string name = path;
  name += ".unreadable";
  if (n > 1) {
    name += '-';
    name += std::to_string(n);
  }
  return name;
}

Result<std::string> set_aside(const std::string& path) {
  for (int n = 1; n <= kMaxSetAsideCopies; ++n) {
    std::string copy = set_aside_name(path, n);
    if (platform::file_exists(copy)) continue;
    Status moved = platform::rename_no_replace(path, copy);
    if (moved) return copy;
    // Taken meanwhile: the next name. Anything else keeps the journal here.
    if (!platform::file_exists(copy)) return moved.error();
  }
  return Error{"no free name to set " + path + " aside"};
}

std::vector<std::string> set_aside_copies(const std::string& app_folder) {
  std::vector<std::string> copies;
  for (const std::string& name : platform::list_dir(app_folder).value_or({})) {
    for (const char* journal : kJournals) {
      if (name.starts_with(set_aside_name(journal, 1))) {
        copies.push_back(platform::join_path(app_folder, name));
      }
    }
  }
  std::sort(copies.begin(), copies.end());
  return copies;
}

void remove_stale_temporaries(const std::string& app_folder,
                              const std::function<bool(uint32_t)>& running) {
  for (const std::string& name : platform::list_dir(app_folder).value_or({})) {
    auto pid = temporary_pid(name);
    // A temporary that stays hides no journal and blocks no write (each
    // writer uses its own name): the next run tries again.
    if (pid && !running(*pid)) (void)platform::remove_file(platform::join_path(app_folder, name));
  }
}

}  // namespace vesk::restore
