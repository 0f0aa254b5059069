// The launch entry and the replace-by-rename write shared by every agent.
#include "agents/agents.h"
#include "base/utf8.h"
#include "platform/file_access.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::agents {

LaunchEntry server_command_for(const Result<std::string>& exe_path) {
  if (!exe_path) return {"vesk", {"mcp"}};
  const std::string& exe = *exe_path;
  std::string beside = platform::join_path(platform::parent_folder(exe), "vesk.exe");
  std::string chosen = platform::file_exists(beside) ? beside : exe;
  return {decode_lossy(chosen), {"mcp"}};
}

LaunchEntry server_command() { return server_command_for(platform::self_exe_path()); }

std::string self_path_text() {
  auto exe = platform::self_exe_path();
  return exe ? decode_lossy(*exe) : std::string("vesk");
}

Status write_config_file(const std::string& path, std::string_view text) {
  return write_config_file(path, text, path);
}

Status write_config_file(const std::string& path, std::string_view text,
                         const std::string& access_from) {
  TRY_ASSIGN(bool written, write_config_file(path, text, access_from,
                                             []() -> Result<bool> { return true; }));
  (void)written;  // always true: nothing looks at the target before the rename
  return {};
}

Result<bool> write_config_file(const std::string& path, std::string_view text,
                               const std::string& access_from,
                               const std::function<Result<bool>()>& still_current,
                               std::optional<uint32_t> new_mode) {
  std::string temp = platform::temp_sibling(path, "vesk-tmp", platform::current_pid());
  TRY_ASSIGN(platform::AtomicFile file, platform::AtomicFile::create(path, std::move(temp)));
  // Before anything is written: the old file may hold secrets.
  TRY(platform::copy_access(access_from, file.temp_path()));
  if (new_mode) {
    TRY(platform::set_new_file_mode(file.temp_path(), *new_mode));
  }
  TRY(file.write_all(text));
  TRY(file.finish());
  // The slow part (writing, flushing) is done: from this look to the rename
  // is as short as it can be.
  Result<bool> current = still_current();
  if (!current || !*current) {
    file.abandon();
    return current;
  }
  TRY(file.commit());
  return true;
}

}  // namespace vesk::agents
