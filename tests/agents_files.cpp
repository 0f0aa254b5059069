#include "agents_files.h"

#include <filesystem>

#include "platform/fs.h"

namespace vesk::testing {

namespace {

// What agents are given for `program`: vesk.exe beside it when there is one.
std::string command_for(const std::string& program) {
  std::string beside = platform::join_path(platform::parent_folder(program), "vesk.exe");
  return platform::file_exists(beside) ? beside : program;
}

// A string as TOML and JSON both write it for plain paths: backslashes and
// double quotes escaped.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

AgentProfile::AgentProfile()
    : profile(platform::join_path(sandbox.root(), "Profile Ann \xC3\x96")),
      program(built_program("vesk")),
      command(command_for(program)) {
  (void)platform::create_dirs(profile);
}

std::string AgentProfile::claude() const { return platform::join_path(profile, ".claude.json"); }
std::string AgentProfile::claude_backup() const {
  return platform::join_path(profile, ".claude.json.vesk-backup");
}
std::string AgentProfile::codex_folder() const { return platform::join_path(profile, ".codex"); }
std::string AgentProfile::codex() const {
  return platform::join_path(codex_folder(), "config.toml");
}
std::string AgentProfile::codex_backup() const {
  return platform::join_path(codex_folder(), "config.toml.vesk-backup");
}

platform::CapturedRun AgentProfile::vesk(const std::vector<std::string>& args) const {
  return sandbox.run(program, args, {{"USERPROFILE", profile}});
}

std::string AgentProfile::read(const std::string& path) {
  auto bytes = platform::read_file(path);
  return bytes ? *bytes : "<missing>";
}

std::string AgentProfile::claude_entry(const std::string& indent) const {
  return indent + "\"vesk\": {\n" +
         indent + "  \"type\": \"stdio\",\n" +
         indent + "  \"command\": " + quoted(command) + ",\n" +
         indent + "  \"args\": [\"mcp\"],\n" +
         indent + "  \"env\": {}\n" +
         indent + "}";
}

std::string AgentProfile::claude_file() const {
  return "{\n  \"mcpServers\": {\n" + claude_entry("    ") + "\n  }\n}\n";
}

std::string AgentProfile::claude_inline() const {
  return "\"vesk\": {\"type\": \"stdio\", \"command\": " + quoted(command) +
         ", \"args\": [\"mcp\"], \"env\": {}}";
}

std::string AgentProfile::codex_table() const {
  return "\n[mcp_servers.vesk]\ncommand = " + quoted(command) + "\nargs = [\"mcp\"]\n";
}

bool AgentProfile::use_copy(const std::string& folder, const std::string& name) {
  std::string dir = platform::join_path(sandbox.root(), folder);
  std::string copy = platform::join_path(dir, name);
  auto bytes = platform::read_file(built_program("vesk"));
  if (!bytes || !platform::create_dirs(dir) || !platform::write_file(copy, *bytes)) return false;
  // The copy must be runnable (POSIX keeps that in the permission bits).
  std::error_code ec;
  std::u8string utf8(copy.begin(), copy.end());
  std::filesystem::permissions(std::filesystem::path(utf8), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  if (ec) return false;
  program = copy;
  command = command_for(copy);
  return true;
}

}  // namespace vesk::testing
