// The parts of fs.h that are the same on every system: path text, write_file
// and the atomic file replacement, built on the per-system calls.
#include "platform/fs.h"

#include "platform/process.h"

namespace vesk::platform {

namespace {

// Where the file name of `path` starts.
size_t name_start(std::string_view path) {
  size_t start = path.size();
  while (start > 0 && !is_path_separator(path[start - 1])) --start;
  return start;
}

// Where the extension of `path` starts, or path.size() when it has none.
size_t extension_start(std::string_view path) {
  size_t start = name_start(path);
  size_t dot = path.rfind('.');
  return dot != std::string_view::npos && dot > start ? dot : path.size();
}

}  // namespace

std::string_view parent_folder(std::string_view path) {
  size_t start = name_start(path);
  if (start == 0) return {};
  size_t end = start - 1;
  // A root keeps its separator: "/" and, on Windows, "C:\".
  bool drive = kPathSeparator == '\\' && end == 2 && path[1] == ':';
  if (end == 0 || drive) ++end;
  return path.substr(0, end);
}

std::string_view file_name(std::string_view path) { return path.substr(name_start(path)); }

std::string_view extension(std::string_view path) { return path.substr(extension_start(path)); }

std::string replace_extension(std::string_view path, std::string_view new_extension) {
  std::string out(path.substr(0, extension_start(path)));
  out += '.';
  out += new_extension;
  return out;
}

Status write_file(const std::string& path, std::string_view bytes) {
  TRY_ASSIGN(WriteFile file, WriteFile::create(path));
  TRY(file.write_all(bytes));
  return file.close();
}

Status retry_while_busy(const std::function<BusyTry()>& try_once,
                        const std::function<void(uint32_t ms)>& sleep_ms) {
  constexpr uint32_t kBudgetMs = 1000, kLongestPauseMs = 250;
  uint32_t pause = 2, waited = 0;
  for (;;) {
    BusyTry attempt = try_once();
    if (attempt.status || !attempt.busy || waited >= kBudgetMs) return attempt.status;
    sleep_ms(pause);
    waited += pause;
    pause = pause * 2 < kLongestPauseMs ? pause * 2 : kLongestPauseMs;
  }
}

// ---- AtomicFile ---------------------------------------------------------------

Result<AtomicFile> AtomicFile::create(std::string target, std::string temp_path) {
  Result<WriteFile> file = WriteFile::create_new(temp_path);
  if (!file && file_exists(temp_path) && remove_file(temp_path)) {
    file = WriteFile::create_new(temp_path);
  }
  if (!file) return file.error();
  return AtomicFile(std::move(target), std::move(temp_path), std::move(*file));
}

AtomicFile::AtomicFile(std::string target, std::string temp, WriteFile file)
    : target_(std::move(target)), temp_(std::move(temp)), file_(std::move(file)) {}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      file_(std::move(other.file_)),
      pending_(other.pending_),
      finished_(other.finished_) {
  other.pending_ = false;
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() {
  if (!pending_) return;
  pending_ = false;
  // Clearing up after a failure or an abandoned write: the target is as it
  // was either way, and a sibling left behind is removed by the next create.
  (void)file_.close();
  (void)remove_file(temp_);
}

Status AtomicFile::write_all(std::string_view bytes) {
  Status written = file_.write_all(bytes);
  if (!written) discard();
  return written;
}

Status AtomicFile::finish() {
  if (!pending_ || finished_) return {};
  Status done = [&]() -> Status {
    // Renamed unflushed, the file could come back empty after a power cut.
    TRY(file_.flush_to_disk());
    return file_.close();
  }();
  if (!done) discard();
  finished_ = done.ok();
  return done;
}

Status AtomicFile::commit() {
  if (!pending_) return Error{"the new file was abandoned before it was put in place"};
  Status done = [&]() -> Status {
    TRY(finish());
    return rename_replace(temp_, target_);
  }();
  if (!done) discard();
  pending_ = false;
  return done;
}

std::string temp_sibling(std::string_view path, std::string_view tag, uint32_t pid) {
  return replace_extension(path, std::string(tag) + std::to_string(pid));
}

Status write_file_atomic(const std::string& path, std::string_view bytes) {
  TRY_ASSIGN(AtomicFile file, AtomicFile::create(path, temp_sibling(path, "tmp", current_pid())));
  TRY(file.write_all(bytes));
  return file.commit();
}

}  // namespace vesk::platform
