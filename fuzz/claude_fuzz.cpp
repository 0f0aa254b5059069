// Fuzzes the edit of Claude Code's `.claude.json` with arbitrary existing
// file contents, as text and on a real file. On success the result parses,
// holds the server entry, and every other member of the input is unchanged;
// the backup equals the input. On refusal nothing is written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "agents/agents.h"
#include "base/json.h"
#include "platform/fs.h"
#include "fuzz_support.h"

namespace {

using vesk::fuzzing::check;
using vesk::fuzzing::empty;
using vesk::fuzzing::names;
using vesk::fuzzing::scratch_folder;

using vesk::Json;

const vesk::agents::LaunchEntry kEntry{"C:\\Tools\\v\"esk\\vesk.exe", {"mcp", "--x"}};

void check_edit(const std::string& input, const std::string& output) {
  std::optional<Json> before = vesk::parse_json(input);
  std::optional<Json> after = vesk::parse_json(output);
  check(before && before->is_object() && after && after->is_object());
  const Json& servers = (*after)["mcpServers"];
  check(servers.is_object());
  check(servers["vesk"] == Json({{"args", kEntry.args},
                                 {"command", kEntry.command},
                                 {"env", Json::object()},
                                 {"type", "stdio"}}));
  for (const auto& [key, value] : before->items()) {
    if (key != "mcpServers") {
      check(after->contains(key) && (*after)[key] == value);
    } else if (value.is_object()) {
      for (const auto& [name, server] : value.items()) {
        if (name != "vesk") check(servers.contains(name) && servers[name] == server);
      }
    }
  }
  check(after->size() == before->size() + (before->contains("mcpServers") ? 0 : 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  auto edited = vesk::agents::claude_config_edit(input, kEntry, "f");
  if (edited) {
    check_edit(input, *edited);
  } else {
    auto parsed = vesk::parse_json(input);
    check(!parsed || !parsed->is_object());
  }

  // The same on a file: the backup is the input, a refusal writes nothing.
  const std::string& folder = scratch_folder();
  std::string config = vesk::platform::join_path(folder, ".claude.json");
  std::string backup = vesk::platform::join_path(folder, ".claude.json.vesk-backup");
  check(vesk::platform::write_file(config, input).ok());
  vesk::agents::Connection c = vesk::agents::connect_claude_code_at(config, kEntry);
  check(c.ok == edited.ok());
  if (c.ok) {
    check(vesk::platform::read_file(backup).value_or("?") == input);
    check(vesk::platform::read_file(config).value_or("?") == *edited);
  } else {
    check(names(folder) == std::vector<std::string>{".claude.json"});
    check(vesk::platform::read_file(config).value_or("?") == input);
  }
  empty(folder);
  return 0;
}
