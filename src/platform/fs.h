// Files and folders. Paths are UTF-8 strings; the Windows layer converts them
// to UTF-16 at the system call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace vesk::platform {

// '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;
// ".exe" on Windows, "" elsewhere.
extern const char kExeSuffix[];

// ---- Paths ------------------------------------------------------------------
// Separators are '/' everywhere and also '\\' on Windows. These only look at
// the text; nothing touches the disk.

bool is_path_separator(char c);

// `base` and `name` joined with one separator (no separator is doubled).
std::string join_path(std::string_view base, std::string_view name);

// Whether `path` names one place whatever the current folder is: "/..." on
// POSIX; "X:\\...", "X:/..." or a UNC path ("\\\\server\\...") on Windows.
bool is_full_path(std::string_view path);

// Everything before the last separator ("a/b/c" -> "a/b", "a/b/" -> "a/b");
// a root keeps its separator ("/a" -> "/", "C:\\a" -> "C:\\" on Windows).
// "" when there is no separator.
std::string_view parent_folder(std::string_view path);

// Everything after the last separator ("a/b.txt" -> "b.txt", "a/" -> "").
std::string_view file_name(std::string_view path);

// The file name's last dot and what follows it ("a/x.tar.gz" -> ".gz"); ""
// when the name has no dot or its only dot is its first character
// (".bashrc"). Dots in folder names do not count.
std::string_view extension(std::string_view path);

// `path` without its extension, then "." and `new_extension`
// ("restore.json", "tmp42" -> "restore.tmp42"; "README", "x" -> "README.x").
std::string replace_extension(std::string_view path, std::string_view new_extension);

// Creates the folder and every missing parent. Already existing is success.
Status create_dirs(const std::string& path);

// The whole file as bytes.
Result<std::string> read_file(const std::string& path);

// Creates or truncates the file and writes all bytes (no flush to disk).
Status write_file(const std::string& path, std::string_view bytes);

// Renames `from` to `to`, replacing `to` if it exists. POSIX: rename(2).
// Windows: a POSIX-semantics rename (FileRenameInfoEx), which succeeds while
// others hold `to` open with delete sharing, else MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; a sharing violation or
// access denied is retried as retry_while_busy does.
Status rename_replace(const std::string& from, const std::string& to);

// Renames `from` to `to`, failing when anything of that name exists (never
// replaces it; MoveFileExW without MOVEFILE_REPLACE_EXISTING;
// renameat2(RENAME_NOREPLACE), else link and unlink).
Status rename_no_replace(const std::string& from, const std::string& to);

// One try of an operation that another program holding the file open can
// block for a moment.
struct BusyTry {
  Status status;
  bool busy = false;  // failed because the file is in use; worth another try
};

// Runs `try_once` until it succeeds or fails other than busy, pausing
// between busy tries with growing pauses (2, 4, 8 ... 250 ms, `sleep_ms`)
// for about one second in all; then gives up with the last failure.
Status retry_while_busy(const std::function<BusyTry()>& try_once,
                        const std::function<void(uint32_t ms)>& sleep_ms);

// Deletes a file.
Status remove_file(const std::string& path);

bool file_exists(const std::string& path);

// Something has this name itself, whatever it is or leads to: a dangling
// symbolic link too (POSIX: lstat; Windows: GetFileAttributesW, which does
// not follow links).
bool name_taken(const std::string& path);

// The system says nothing of that name is there (POSIX: ENOENT or ENOTDIR;
// Windows: file or path not found). False when it cannot tell, as in a
// folder this program may not search: a file there may well exist.
bool file_absent(const std::string& path);

// The file that a symbolic link at `path` leads to, through every link of a
// chain (a relative target counts from the link's folder); `path` itself
// when it is no link. POSIX: lstat and readlink; Windows:
// GetFinalPathNameByHandleW, and for a link to nothing the links' own
// reparse data. A chain that ends nowhere leads to the name it ends at (the
// file a write creates). Fails on a loop.
Result<std::string> link_target(const std::string& path);

// A file as read_regular_file found it.
struct FileRead {
  enum class Kind { kRegular, kAbsent, kNotRegular };
  Kind kind = Kind::kAbsent;
  std::string bytes;  // kRegular only
  // kRegular only: the file's identity (POSIX: device and inode; Windows:
  // volume serial number and file index), size and modification time in
  // nanoseconds, as text, all taken from the handle the bytes were read
  // through. Equal stamps and bytes mean the same version of the file.
  std::string stamp;
};

// Reads the file at `path`, through symbolic links, when it is a regular
// file, never opening anything else in a way that could block or disturb
// it: POSIX stats it first, opens it with O_NONBLOCK and checks again with
// fstat; Windows refuses a reparse point that isn't a symbolic link, and
// what GetFileType doesn't call a disk file. Nothing there (a dangling link,
// a missing folder too) is kAbsent; a folder, FIFO, socket or device is
// kNotRegular. Fails with the system's reason otherwise (a loop of links,
// no access).
Result<FileRead> read_regular_file(const std::string& path);

// The names (not paths) of the entries of a folder, "." and ".." left out.
Result<std::vector<std::string>> list_dir(const std::string& path);

// An open file for writing. Closes on destruction.
class WriteFile {
 public:
  // Creates or truncates the file for writing.
  static Result<WriteFile> create(const std::string& path);
  // Creates the file, failing when anything of that name exists (O_EXCL;
  // CREATE_NEW). Windows: others may read or delete it, not write it.
  static Result<WriteFile> create_new(const std::string& path);

  WriteFile(WriteFile&& other) noexcept;
  WriteFile& operator=(WriteFile&& other) noexcept;
  WriteFile(const WriteFile&) = delete;
  WriteFile& operator=(const WriteFile&) = delete;
  ~WriteFile();

  // Writes every byte; a write interrupted by the system is retried.
  Status write_all(std::string_view bytes);
  // Flushes the file's data to the disk (FlushFileBuffers; fsync).
  Status flush_to_disk();
  // Closes the file; further calls are no-ops.
  Status close();

 private:
  explicit WriteFile(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;
};

// A file replaced whole and at once: the bytes go to a temporary sibling,
// which is flushed to the disk and renamed over the target, so readers see
// either the old file or the complete new one. Any failure, and destruction
// before commit(), removes the sibling and leaves the target as it was.
class AtomicFile {
 public:
  // Creates the sibling `temp_path` as a new file. Its name must be unique
  // to this process (for example the process id in it): a leftover of that
  // name can only come from a process gone before, and is removed first.
  static Result<AtomicFile> create(std::string target, std::string temp_path);

  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&&) = delete;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  const std::string& temp_path() const { return temp_; }

  Status write_all(std::string_view bytes);
  // Flushes the sibling to the disk and closes it, so that a commit() after
  // it only renames (and a last look at the target can come in between).
  Status finish();
  // Flushes the sibling to the disk, closes it (unless finish() did) and
  // renames it over the target.
  Status commit();
  // Removes the sibling and leaves the target alone; a commit() after it
  // fails.
  void abandon() { discard(); }

 private:
  AtomicFile(std::string target, std::string temp, WriteFile file);
  // Closes and removes the sibling unless committed.
  void discard();
  std::string target_;
  std::string temp_;
  WriteFile file_;
  bool pending_ = true;
  bool finished_ = false;
};

// The temporary sibling for replacing `path`: its extension replaced by `tag`
// and the process id in decimal ("restore.json", "tmp", 4242 ->
// "restore.tmp4242"; "alive" -> "alive.tmp4242").
std::string temp_sibling(std::string_view path, std::string_view tag, uint32_t pid);

// Replaces the file at `path` with `bytes` through an AtomicFile whose
// sibling is temp_sibling(path, "tmp", this process's id).
Status write_file_atomic(const std::string& path, std::string_view bytes);

// The full path of the running executable.
Result<std::string> self_exe_path();

}  // namespace vesk::platform
