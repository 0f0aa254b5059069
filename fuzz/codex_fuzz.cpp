// Fuzzes the edits of Codex's config.toml with toml++ (through
// toml_document) as the judge. For any input that reads as TOML: setting
// the server's keys gives text that reads as the input's data with only
// mcp_servers.vesk's command and args set (its other keys kept), appended
// whole when there was no table, and setting again changes nothing;
// removing gives the input's data without the table, and removing what was
// appended gives the input back. A refusal is allowed only for what the
// data shows can't be edited (a table on the path that is a value or an
// array of tables, a key that is a table, a table that would go inside an
// inline table). Input that doesn't read is refused by both, with the
// reader's message.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agents/agents.h"
#include "agents/edit/toml_edit.h"
#include "agents/edit/toml_read.h"
#include "base/json.h"
#include "base/utf8.h"
#include "fuzz_support.h"

namespace {

using vesk::Json;
using vesk::fuzzing::check;
using vesk::agents::edit::KeyPath;

const KeyPath kServer = {"mcp_servers", "vesk"};
const std::string kCommand = "C:\\Tools\\v\"esk\x01\\vesk.exe";
const std::vector<std::string> kArgs = {"mcp", "a'b"};

std::vector<std::pair<std::string, std::string>> keys() {
  using vesk::agents::toml_basic_string;
  std::string args = "[";
  for (size_t k = 0; k < kArgs.size(); ++k) args += (k ? ", " : "") + toml_basic_string(kArgs[k]);
  return {{"command", toml_basic_string(kCommand)}, {"args", args + "]"}};
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

const Json* find(const Json& doc, const std::string& key) {
  if (!doc.is_object()) return nullptr;
  auto it = doc.find(key);
  return it == doc.end() ? nullptr : &*it;
}

bool table_like(const Json* v) {
  if (v == nullptr) return false;
  if (v->is_object()) return true;
  if (!v->is_array() || v->empty()) return false;
  for (const Json& e : *v) {
    if (!e.is_object()) return false;
  }
  return true;
}

std::string line_break_of(const std::string& s) {
  size_t eol = s.find('\n');
  return eol != std::string::npos && eol > 0 && s[eol - 1] == '\r' ? "\r\n" : "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vesk::agents::edit::toml_document;
  using vesk::agents::edit::toml_remove_table;
  using vesk::agents::edit::toml_set_keys;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto values = keys();
  auto before = toml_document(input);
  auto set = toml_set_keys(input, kServer, values);
  auto removed = toml_remove_table(std::string_view(input), kServer);
  if (!before) {
    check(!set && set.message() == before.message());
    check(!removed && removed.message() == before.message());
    return 0;
  }
  // Never a refusal for fear of its own edit.
  check(set || set.message().find("can't edit safely") == std::string::npos);
  check(removed || removed.message().find("can't edit safely") == std::string::npos);
  check(removed.ok());

  const Json* servers = find(*before, "mcp_servers");
  const Json* server = servers ? find(*servers, "vesk") : nullptr;
  bool present = server != nullptr && server->is_object();

  if (!set) {
    const std::string& why = set.message();
    if (starts_with(why, " sets mcp_servers to ")) {
      check(servers != nullptr && !servers->is_object());
    } else if (starts_with(why, " sets mcp_servers.vesk to ")) {
      check(server != nullptr && !server->is_object());
    } else if (starts_with(why, " sets mcp_servers.vesk.")) {
      check(present && (table_like(find(*server, "command")) || table_like(find(*server, "args"))));
    } else {
      check(starts_with(why, " sets mcp_servers as an inline table"));
      check(servers != nullptr && servers->is_object() && server == nullptr);
    }
  } else {
    auto after = toml_document(*set);
    check(after.ok());
    Json wanted = *before;
    wanted["mcp_servers"]["vesk"]["command"] = vesk::decode_lossy(kCommand);
    wanted["mcp_servers"]["vesk"]["args"] = kArgs;
    check(*after == wanted);
    if (server == nullptr) {
      std::string eol = line_break_of(input);
      check(*set == input + eol + "[mcp_servers.vesk]" + eol + "command = " + values[0].second +
                        eol + "args = " + values[1].second + eol);
    }
    auto again = toml_set_keys(*set, kServer, values);
    check(again && *again == *set);
    auto gone = toml_remove_table(std::string_view(*set), kServer);
    check(gone && *gone);
    auto left = toml_document(**gone);
    check(left.ok());
    const Json* left_servers = find(*left, "mcp_servers");
    check(left_servers == nullptr || find(*left_servers, "vesk") == nullptr);
    if (server == nullptr) check(**gone == input);
  }

  if (!present) {
    check(!*removed);
  } else {
    check(removed->has_value());
    auto left = toml_document(**removed);
    check(left.ok());
    Json wanted = *before;
    wanted["mcp_servers"].erase("vesk");
    const Json* left_servers = find(*left, "mcp_servers");
    if (wanted["mcp_servers"].empty() && left_servers == nullptr) wanted.erase("mcp_servers");
    check(*left == wanted);
  }
  return 0;
}
