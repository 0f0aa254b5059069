// Fuzzes the JSON-with-comments editor with arbitrary existing file
// contents, as text and on a real file (the first byte picks plain JSON, JSON
// with comments, or comments without trailing commas). A connected result
// parses and holds the entry; every member outside the edited one keeps its
// value. Where the input has no entry, taking the entry out again gives back
// the input's bytes: only a text that the insert turns into the very same
// one may come back instead, holding the same (an empty servers object
// aside: where empty servers or an empty document are laid out as the insert
// lays out new ones, or a blank text ends in a line comment). Where it had
// one, every other member keeps its value. A hook group appended to an
// event's array is there, last, with nothing else changed, and taking it out
// again gives back the input's bytes when the array was there (an emptied
// array when the append made it); the append is refused just where
// something other than objects and an array stands in the way. Any element
// of the input's array comes out alone. A refused edit writes nothing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "agents/catalogue.h"
#include "agents/edit/jsonc_edit.h"
#include "agents/registrar.h"
#include "base/json.h"
#include "platform/fs.h"
#include "fuzz_support.h"

namespace {

using vesk::Json;
using vesk::agents::edit::JsonDialect;
using vesk::agents::edit::OrderedJson;
using vesk::fuzzing::check;
using vesk::fuzzing::empty;
using vesk::fuzzing::names;
using vesk::fuzzing::scratch_folder;
namespace edit = vesk::agents::edit;

const std::array<std::string, 2> kPath{"mcpServers", "vesk"};
const std::array<std::string, 1> kServers{"mcpServers"};
const std::array<std::string, 1> kHooks{"hooks"};
const std::array<std::string, 2> kStop{"hooks", "Stop"};

OrderedJson entry() {
  OrderedJson v = OrderedJson::object();
  v["command"] = "C:\\Tools\\v\"esk\x01\\vesk.exe";
  v["args"] = OrderedJson::array({"mcp", "a'b"});
  v["env"] = OrderedJson::object();
  return v;
}

OrderedJson hook_group() {
  OrderedJson hook = OrderedJson::object();
  hook["type"] = "command";
  hook["command"] = "C:\\Tools\\v\"esk\x01\\vesk.exe";
  hook["args"] = OrderedJson::array({"hook", "claude", "Stop"});
  OrderedJson v = OrderedJson::object();
  v["matcher"] = "";
  v["hooks"] = OrderedJson::array({hook});
  return v;
}

// The whole document's value without "hooks" -> "Stop", and without the
// hooks object when that leaves it empty.
Json without_stop(std::string_view text, JsonDialect dialect) {
  auto doc = edit::jsonc_member(text, {}, dialect);
  check(doc.ok());
  Json out = doc->value_or(Json::object());
  auto hooks = out.find("hooks");
  if (hooks != out.end() && hooks->is_object()) {
    hooks->erase("Stop");
    if (hooks->empty()) out.erase(hooks);
  }
  return out;
}

// The whole document's value, without "mcpServers" -> "vesk", and without
// the servers object when that leaves it empty.
Json without_entry(std::string_view text, JsonDialect dialect) {
  auto doc = edit::jsonc_member(text, {}, dialect);
  check(doc.ok());
  Json out = doc->value_or(Json::object());
  auto servers = out.find("mcpServers");
  if (servers != out.end() && servers->is_object()) {
    servers->erase("vesk");
    if (servers->empty()) out.erase(servers);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const JsonDialect dialect = data[0] & 1   ? JsonDialect::kStrict
                              : data[0] & 2 ? JsonDialect::kComments
                                            : JsonDialect::kJsonc;
  std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);

  auto set = edit::jsonc_set_member(input, kPath, entry(), dialect);
  auto before = edit::jsonc_member(input, kServers, dialect);
  check(set.ok() == before.ok());
  if (set) {
    auto held = edit::jsonc_member(*set, kPath, dialect);
    check(held.ok() && held->has_value() && **held == Json::parse(entry().dump()));
    // Every other member keeps its value, unless the servers were no object.
    bool servers_object = !*before || (*before)->is_object();
    Json old_doc = without_entry(input, dialect);
    Json new_doc = without_entry(*set, dialect);
    if (servers_object) {
      if (!*before) new_doc.erase("mcpServers");
      check(old_doc == new_doc);
    }
    // Out again.
    auto removed = edit::jsonc_remove_member(*set, kPath, dialect);
    check(removed.ok() && removed->has_value());
    auto had_entry = edit::jsonc_member(input, kPath, dialect);
    check(had_entry.ok());
    if (!*had_entry && servers_object) {
      if (**removed != input) {
        // Another text with the same insert: the outer reading of the two.
        auto again = edit::jsonc_set_member(**removed, kPath, entry(), dialect);
        check(again.ok() && *again == *set);
        check(without_entry(**removed, dialect) == old_doc);
      }
    } else {
      check(without_entry(**removed, dialect) == without_entry(input, dialect) || !servers_object);
    }
    check(!edit::jsonc_member(**removed, kPath, dialect)->has_value());
  }

  // A hook group in and out again.
  auto appended = edit::jsonc_append_element(input, kStop, hook_group(), dialect);
  auto hooks = edit::jsonc_member(input, kHooks, dialect);
  auto stop = edit::jsonc_member(input, kStop, dialect);
  check(hooks.ok() == stop.ok());
  const bool fits = stop.ok() && (!*hooks || (*hooks)->is_object()) &&
                    (!*stop || (*stop)->is_array());
  check(appended.ok() == fits);
  if (appended) {
    const Json group = Json::parse(hook_group().dump());
    Json expected = *stop ? **stop : Json::array();
    expected.push_back(group);
    auto held = edit::jsonc_member(*appended, kStop, dialect);
    check(held.ok() && held->has_value() && **held == expected);
    check(without_stop(*appended, dialect) == without_stop(input, dialect));
    auto removed = edit::jsonc_remove_element(*appended, kStop, expected.size() - 1, dialect);
    check(removed.ok());
    if (*stop) {
      check(*removed == input);
    } else {
      auto emptied = edit::jsonc_member(*removed, kStop, dialect);
      check(emptied.ok() && emptied->has_value() && **emptied == Json::array());
      check(without_stop(*removed, dialect) == without_stop(input, dialect));
    }
    if (*stop && !(*stop)->empty()) {
      const size_t index = size % (*stop)->size();
      auto out = edit::jsonc_remove_element(input, kStop, index, dialect);
      check(out.ok());
      Json rest = **stop;
      rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(index));
      auto left = edit::jsonc_member(*out, kStop, dialect);
      check(left.ok() && left->has_value() && **left == rest);
      check(without_stop(*out, dialect) == without_stop(input, dialect));
    }
  }

  // On a file: a refusal writes nothing; otherwise the backup is the input.
  const vesk::agents::AgentSpec& agent =
      *vesk::agents::find_agent(dialect == JsonDialect::kStrict     ? "cline"
                                : dialect == JsonDialect::kComments ? "gemini"
                                                                    : "cursor");
  const std::string& folder = scratch_folder();
  std::string file = vesk::platform::join_path(folder, "mcp.json");
  check(vesk::platform::write_file(file, input).ok());
  vesk::agents::LaunchEntry launch{"C:\\Tools\\vesk.exe", {"mcp"}};
  auto c = vesk::agents::connect_agent(agent, file, launch, vesk::agents::system_files());
  check(c.ok() == set.ok());
  if (!c || c->kind == vesk::agents::Change::Kind::kUnchanged) {
    check(names(folder) == std::vector<std::string>{"mcp.json"});
    check(vesk::platform::read_file(file).value_or("?") == input);
  } else if (!input.empty()) {
    check(vesk::platform::read_file(file + ".vesk-backup").value_or("?") == input);
  }
  empty(folder);
  return 0;
}
