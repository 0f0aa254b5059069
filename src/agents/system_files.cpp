// The real files behind AgentFiles.
#include <charconv>
#include <cstdint>

#include "agents/agents.h"
#include "agents/registrar.h"
#include "base/utf8.h"
#include "platform/file_access.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::agents {

namespace {

constexpr std::string_view kBackupTag = ".vesk-backup";
constexpr std::string_view kTempTag = "vesk-tmp";

// The number in `text`, all decimal digits with no leading zero, or nullopt.
std::optional<uint64_t> plain_number(std::string_view text) {
  if (text.empty() || text.size() > 18 || text.front() == '0') return std::nullopt;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The folder that holds `path`: "." for a bare name.
std::string folder_of(const std::string& path) {
  std::string folder(platform::parent_folder(path));
  return folder.empty() ? std::string(".") : folder;
}

// The number after the highest backup of `path` there is ("<file>.vesk-backup"
// counts as 1, "-2", "-3"… as their numbers): a gap is never filled, so the
// newest backup always has the highest number.
Result<uint64_t> next_backup_number(const std::string& path) {
  TRY_ASSIGN(std::vector<std::string> names, platform::list_dir(folder_of(path)));
  const std::string base = std::string(platform::file_name(path)) + std::string(kBackupTag);
  uint64_t highest = 0;
  for (const std::string& name : names) {
    std::string_view rest = name;
    if (rest.substr(0, base.size()) != base) continue;
    rest.remove_prefix(base.size());
    uint64_t number = 0;
    if (rest.empty()) {
      number = 1;
    } else if (rest.front() == '-') {
      std::optional<uint64_t> n = plain_number(rest.substr(1));
      if (!n || *n < 2) continue;
      number = *n;
    } else {
      continue;
    }
    if (number > highest) highest = number;
  }
  return highest + 1;
}

std::string backup_name(const std::string& path, uint64_t number) {
  std::string name = path + std::string(kBackupTag);
  // Appended piece by piece: g++ 12 takes `"-" + std::to_string(...)` here
  // for an overlapping copy (-Wrestrict) in some unity batches.
  if (number > 1) {
    name += '-';
    name += std::to_string(number);
  }
  return name;
}

// Writes the new file `name` with `bytes`, flushed, with the access of
// `access_from`; on failure nothing of it stays.
Status write_backup_file(platform::WriteFile& file, const std::string& name,
                         std::string_view bytes, const std::string& access_from) {
  Status done = [&]() -> Status {
    // Before anything is written: the old file may hold secrets.
    TRY(platform::copy_access(access_from, name));
    TRY(file.write_all(bytes));
    TRY(file.flush_to_disk());
    return file.close();
  }();
  if (!done) {
    // Clearing up after the failure reported below.
    (void)file.close();
    (void)platform::remove_file(name);
  }
  return done;
}

// Whether the process named in a leftover sibling is surely gone: no
// process has the id (a zombie counts as gone). One the system won't tell
// of is kept.
bool process_gone(uint32_t pid) {
  if (platform::process_start_time(pid)) return false;
  return platform::process_presence(pid, 0) == platform::ProcessPresence::kGone;
}

class SystemFiles final : public AgentFiles {
 public:
  Result<FileVersion> read(const std::string& path) override {
    const std::string shown = decode_lossy(path);
    auto found = platform::read_regular_file(path);
    if (!found) return Error{"couldn't read " + shown + ": " + found.message()};
    switch (found->kind) {
      case platform::FileRead::Kind::kAbsent:
        return FileVersion{};
      case platform::FileRead::Kind::kNotRegular:
        return Error{shown + " isn't a regular file, so I left it alone"};
      case platform::FileRead::Kind::kRegular:
        break;
    }
    return FileVersion{std::move(found->bytes), std::move(found->stamp)};
  }

  Result<bool> write(const std::string& path, std::string_view text, const FileVersion& version,
                     std::optional<uint32_t> mode) override {
    const std::optional<std::string>& old = version.bytes;
    const std::string shown = decode_lossy(path);
    auto target = platform::link_target(path);
    if (!target) return Error{"couldn't follow the link " + shown + ": " + target.message()};
    if (old) {
      auto read_only = platform::file_read_only(*target);
      if (!read_only) return Error{"couldn't write " + shown + ": " + read_only.message()};
      if (*read_only) return Error{shown + " is read-only, so I left it alone"};
    }
    if (std::string folder(platform::parent_folder(*target)); !folder.empty()) {
      if (auto made = platform::create_dirs(folder); !made) {
        return Error{"couldn't create the folder " + decode_lossy(folder) + ": " + made.message()};
      }
    }
    remove_stale_siblings(*target);
    std::optional<std::string> backup;
    if (old && !old->empty()) {
      auto made = make_backup(path, *old, *target);
      if (!made) return made.error();
      backup = std::move(*made);
    }
    // A file that is there keeps its own access; `mode` is for a new one.
    auto written = write_config_file(
        *target, text, *target, [&] { return still_version(*target, shown, version); },
        old ? std::nullopt : mode);
    if (!written || !*written) {
      // Nothing of this run may stay; the write's answer is what matters.
      if (backup) (void)platform::remove_file(*backup);
      if (!written) return Error{"couldn't write " + shown + ": " + written.message()};
      return false;
    }
    return true;
  }

  Result<bool> remove(const std::string& path, const FileVersion& version) override {
    const std::string shown = decode_lossy(path);
    if (version.bytes) {
      // Read-only as the write sees it: the file a link leads to.
      auto target = platform::link_target(path);
      if (!target) return Error{"couldn't follow the link " + shown + ": " + target.message()};
      auto read_only = platform::file_read_only(*target);
      if (!read_only) return Error{"couldn't delete " + shown + ": " + read_only.message()};
      if (*read_only) return Error{shown + " is read-only, so I left it alone"};
    }
    // Through the link, as the version was read: what it leads to now.
    auto now = platform::read_regular_file(path);
    if (!now) return Error{"couldn't read " + shown + ": " + now.message()};
    if (now->kind == platform::FileRead::Kind::kAbsent) return true;
    if (!version.bytes || now->kind != platform::FileRead::Kind::kRegular ||
        now->stamp != version.stamp || now->bytes != *version.bytes) {
      return false;
    }
    // unlink and DeleteFileW take a link itself, never what it leads to.
    if (auto removed = platform::remove_file(path); !removed) {
      // Another program deleted it first: gone all the same.
      if (platform::file_absent(path)) return true;
      return Error{"couldn't delete " + shown + ": " + removed.message()};
    }
    return true;
  }

 private:
  // Whether the file at `target` is still `version`: the same stamp and
  // bytes, or still no file.
  static Result<bool> still_version(const std::string& target, const std::string& shown,
                                    const FileVersion& version) {
    auto now = platform::read_regular_file(target);
    if (!now) return Error{"couldn't read " + shown + ": " + now.message()};
    if (!version.bytes) return now->kind == platform::FileRead::Kind::kAbsent;
    return now->kind == platform::FileRead::Kind::kRegular && now->stamp == version.stamp &&
           now->bytes == *version.bytes;
  }

  // A new backup of `path` holding `bytes`, named after the highest there
  // is; when another run takes that name first, the next.
  static Result<std::string> make_backup(const std::string& path, std::string_view bytes,
                                         const std::string& access_from) {
    const std::string shown = decode_lossy(path);
    auto first = next_backup_number(path);
    if (!first) {
      return Error{"couldn't back up " + shown + ": " + first.message()};
    }
    constexpr int kTries = 64;
    for (uint64_t number = *first;; ++number) {
      std::string name = backup_name(path, number);
      // Create-new: a name that anything has (a dangling link too) is taken.
      auto file = platform::WriteFile::create_new(name);
      if (!file) {
        if (platform::name_taken(name) && number < *first + kTries) continue;
        return Error{"couldn't back up " + shown + " to " + decode_lossy(name) + ": " +
                     file.message()};
      }
      if (auto saved = write_backup_file(*file, name, bytes, access_from); !saved) {
        return Error{"couldn't back up " + shown + " to " + decode_lossy(name) + ": " +
                     saved.message()};
      }
      return name;
    }
  }

  // Removes the temporary siblings of `target` left by runs that were
  // killed: "<stem>.vesk-tmp<pid>" whose process is gone. A best effort: a
  // leftover that stays harms nothing but the tidiness of the folder.
  static void remove_stale_siblings(const std::string& target) {
    const std::string folder = folder_of(target);
    auto names = platform::list_dir(folder);
    if (!names) return;
    const std::string prefix(platform::file_name(platform::temp_sibling(target, kTempTag, 0)));
    // temp_sibling ends in the id; the prefix is what comes before it.
    const std::string_view stem = std::string_view(prefix).substr(0, prefix.size() - 1);
    const uint32_t self = platform::current_pid();
    for (const std::string& name : *names) {
      std::string_view rest = name;
      if (rest.substr(0, stem.size()) != stem) continue;
      std::optional<uint64_t> pid = plain_number(rest.substr(stem.size()));
      if (!pid || *pid > UINT32_MAX || *pid == self) continue;
      if (!process_gone(static_cast<uint32_t>(*pid))) continue;
      // Best effort, as above: a folder of that name, say, stays.
      (void)platform::remove_file(platform::join_path(folder, name));
    }
  }
};

}  // namespace

AgentFiles& system_files() {
  static SystemFiles files;
  return files;
}

}  // namespace vesk::agents
