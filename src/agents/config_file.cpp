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
  std::string temp = platform::temp_sibling(path, "vesk-tmp", platform::current_pid());
  TRY_ASSIGN(platform::AtomicFile file, platform::AtomicFile::create(path, std::move(temp)));
  // Before anything is written: the old file may hold secrets.
  TRY(platform::copy_access(access_from, file.temp_path()));
  TRY(file.write_all(text));
  return file.commit();
}

}  // namespace vesk::agents
