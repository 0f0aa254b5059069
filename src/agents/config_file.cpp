// The launch entry and the replace-by-rename write shared by every agent.
#include "agents/agents.h"
#include "base/utf8.h"
#include "platform/file_access.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

// Where the file name of `path` starts.
size_t name_start(std::string_view path) {
  size_t sep = path.find_last_of(platform::kPathSeparator == '/' ? "/" : "\\/");
  return sep == std::string_view::npos ? 0 : sep + 1;
}

}  // namespace

std::string as_text(std::string_view bytes) {
  if (valid_utf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 8);
  for (size_t pos = 0; pos < bytes.size();) append_utf8(out, next_code_point(bytes, pos));
  return out;
}

LaunchEntry server_command_for(const Result<std::string>& exe_path) {
  if (!exe_path) return {"vesk", {"mcp"}};
  const std::string& exe = *exe_path;
  std::string beside = exe.substr(0, name_start(exe)) + "vesk.exe";
  std::string chosen = platform::file_exists(beside) ? beside : exe;
  return {as_text(chosen), {"mcp"}};
}

LaunchEntry server_command() { return server_command_for(platform::self_exe_path()); }

std::string self_path_text() {
  auto exe = platform::self_exe_path();
  return exe ? as_text(*exe) : std::string("vesk");
}

std::string replace_extension(std::string_view path, std::string_view extension) {
  size_t start = name_start(path);
  size_t dot = path.rfind('.');
  std::string out;
  if (dot != std::string_view::npos && dot > start) {
    out = path.substr(0, dot + 1);
  } else {
    out = std::string(path) + ".";
  }
  out += extension;
  return out;
}

Status write_config_file(const std::string& path, std::string_view text) {
  return write_config_file(path, text, path);
}

Status write_config_file(const std::string& path, std::string_view text,
                         const std::string& access_from) {
  std::string tmp = replace_extension(path, "vesk-tmp");
  Status written = [&]() -> Status {
    TRY_ASSIGN(platform::WriteFile file, platform::WriteFile::create(tmp));
    // Before anything is written: the old file may hold secrets.
    TRY(platform::copy_access(access_from, tmp));
    TRY(file.write_all(text));
    // Renamed unflushed, the file could come back empty after a power cut.
    TRY(file.flush_to_disk());
    return file.close();
  }();
  if (!written) {
    (void)platform::remove_file(tmp);
    return written;
  }
  return platform::rename_replace(tmp, path);
}

}  // namespace vesk::agents
