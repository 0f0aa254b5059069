// Files and folders. Paths are UTF-8 strings; the Windows layer converts them
// to UTF-16 at the system call.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace vesk::platform {

// '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;
// ".exe" on Windows, "" elsewhere.
extern const char kExeSuffix[];

// `base` and `name` joined with one separator (no separator is doubled).
std::string join_path(std::string_view base, std::string_view name);

// Whether `path` names one place whatever the current folder is: "/..." on
// POSIX; "X:\\...", "X:/..." or a UNC path ("\\\\server\\...") on Windows.
bool is_full_path(std::string_view path);

// Creates the folder and every missing parent. Already existing is success.
Status create_dirs(const std::string& path);

// The whole file as bytes.
Result<std::string> read_file(const std::string& path);

// Creates or truncates the file and writes all bytes (no flush to disk).
Status write_file(const std::string& path, std::string_view bytes);

// Renames `from` to `to`, replacing `to` if it exists (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING; rename(2)).
Status rename_replace(const std::string& from, const std::string& to);

// Deletes a file.
Status remove_file(const std::string& path);

bool file_exists(const std::string& path);

// The names (not paths) of the entries of a folder, "." and ".." left out.
Result<std::vector<std::string>> list_dir(const std::string& path);

// An open file for writing. Closes on destruction.
class WriteFile {
 public:
  // Creates or truncates the file for writing.
  static Result<WriteFile> create(const std::string& path);

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

// The full path of the running executable.
Result<std::string> self_exe_path();

// A new, empty folder in the system's temporary folder.
Result<std::string> make_temp_dir(std::string_view prefix);

// Deletes a folder and everything in it; errors are ignored.
void remove_tree(const std::string& path);

}  // namespace vesk::platform
