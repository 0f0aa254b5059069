#include "agents/registrar.h"

#include <array>

#include "agents/edit/toml_edit.h"
#include "agents/edit/toml_read.h"
#include "base/utf8.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

using edit::JsonDialect;
namespace toml = edit;

// How often a file that another program keeps changing is read and edited
// again before it is left alone.
constexpr int kAttempts = 5;

edit::JsonDialect dialect_of(const AgentSpec& spec) {
  switch (spec.format) {
    case FileFormat::kJson: return JsonDialect::kStrict;
    case FileFormat::kJsonComments: return JsonDialect::kComments;
    default: return JsonDialect::kJsonc;
  }
}

bool is_toml(const AgentSpec& spec) { return spec.format == FileFormat::kToml; }

std::array<std::string, 2> entry_path(const AgentSpec& spec) {
  return {std::string(spec.servers_key), std::string(kEntryName)};
}

edit::KeyPath table_path(const AgentSpec& spec) {
  return {std::string(spec.servers_key), std::string(kEntryName)};
}

// The editors' phrases follow the file's name, with the agent named where
// a phrase says "its reader".
Error about(const AgentSpec& spec, const std::string& file, const Error& phrase) {
  std::string message = phrase.message;
  constexpr std::string_view kReader = "its reader";
  if (size_t at = message.find(kReader); at != std::string::npos) {
    message.replace(at, kReader.size(), spec.display);
  }
  return Error{decode_lossy(file) + message};
}

// The members of an entry that say which program starts and how; every
// other member is the user's once the entry is there.
bool owned_member(std::string_view key) {
  return key == "command" || key == "args" || key == "type";
}

// Whether the entry there already says what `desired` says: the members
// that start the program are the same, and the others are there at all.
bool matches(const Json& existing, const Json& desired) {
  if (!existing.is_object()) return false;
  for (const auto& [key, value] : desired.items()) {
    auto found = existing.find(key);
    if (found == existing.end()) return false;
    if (owned_member(key) && *found != value) return false;
  }
  return true;
}

bool turned_off(const Json& entry) {
  if (!entry.is_object()) return false;
  auto disabled = entry.find("disabled");
  auto enabled = entry.find("enabled");
  return (disabled != entry.end() && *disabled == true) ||
         (enabled != entry.end() && *enabled == false);
}

// The program an entry starts: "command" as a string, or the first item of
// "command" as a list.
std::string command_of(const Json& entry) {
  if (!entry.is_object()) return {};
  auto found = entry.find("command");
  if (found == entry.end()) return {};
  if (found->is_string()) return found->get<std::string>();
  if (found->is_array() && !found->empty() && found->front().is_string()) {
    return found->front().get<std::string>();
  }
  return {};
}

std::string toml_args(const std::vector<std::string>& args) {
  std::string out = "[";
  for (size_t k = 0; k < args.size(); ++k) {
    if (k > 0) out += ", ";
    out += toml_basic_string(args[k]);
  }
  return out + "]";
}

// The whole document as the agent reads it; a blank JSON text is {}.
Result<Json> read_document(const AgentSpec& spec, std::string_view text) {
  if (is_toml(spec)) return toml::toml_document(text);
  TRY_ASSIGN(std::optional<Json> doc, edit::jsonc_member(text, {}, dialect_of(spec)));
  return doc ? std::move(*doc) : Json::object();
}

// The entry in a document read whole; nullopt when there is none.
std::optional<Json> entry_in(const AgentSpec& spec, const Json& doc) {
  auto servers = doc.find(std::string(spec.servers_key));
  if (servers == doc.end() || !servers->is_object()) return std::nullopt;
  auto entry = servers->find(std::string(kEntryName));
  if (entry == servers->end()) return std::nullopt;
  return *entry;
}

// The entry as the agent would read it from `text`; nullopt when absent.
Result<std::optional<Json>> read_entry(const AgentSpec& spec, std::string_view text) {
  if (!is_toml(spec)) return edit::jsonc_member(text, entry_path(spec), dialect_of(spec));
  TRY_ASSIGN(Json doc, toml::toml_document(text));
  std::optional<Json> entry = entry_in(spec, doc);
  if (entry && !entry->is_object()) {
    return Error{" sets " + std::string(spec.servers_key) + "." + std::string(kEntryName) +
                 " to something that isn't a table, so I left it alone"};
  }
  return entry;
}

// What an edit must come to: the old document with only the entry set to
// `entry`, or taken out when `entry` is null.
Json intended_document(const AgentSpec& spec, Json doc, const std::optional<Json>& entry) {
  const std::string servers(spec.servers_key);
  if (!entry) {
    auto found = doc.find(servers);
    if (found != doc.end() && found->is_object()) found->erase(std::string(kEntryName));
    return doc;
  }
  if (!doc[servers].is_object()) doc[servers] = Json::object();
  doc[servers][std::string(kEntryName)] = *entry;
  return doc;
}

// Reads the edited text as the agent will and checks that it holds what
// was intended, and nothing else changed: an editor's fault becomes a
// refusal, never a broken file.
Status verify(const AgentSpec& spec, const std::string& file, const Json& before,
              std::string_view edited, const std::optional<Json>& entry) {
  auto after = read_document(spec, edited);
  Json intended = intended_document(spec, before, entry);
  if (after && !entry && *after != intended) {
    // Taking out the entry that made its container may take the container.
    auto servers = intended.find(std::string(spec.servers_key));
    if (servers != intended.end() && servers->is_object() && servers->empty()) {
      intended.erase(servers);
    }
  }
  if (!after || *after != intended) {
    return Error{decode_lossy(file) + " has a shape I can't edit safely, so I left it alone"};
  }
  return {};
}

// An edit worked out from one version of the file; nullopt text: nothing to
// write.
struct Plan {
  Change change;
  std::optional<std::string> text;
};

Result<Plan> plan_connect(const AgentSpec& spec, const std::string& file, std::string_view text,
                          const LaunchEntry& launch) {
  auto fail = [&](const Error& phrase) { return about(spec, file, phrase); };
  auto before = read_document(spec, text);
  if (!before) return fail(before.error());
  auto existing = read_entry(spec, text);
  if (!existing) return fail(existing.error());

  Json wanted;
  if (is_toml(spec)) {
    wanted = Json::object();
    wanted["command"] = launch.command;
    wanted["args"] = launch.args;
  } else {
    wanted = Json::parse(spec.entry(launch).dump());
  }
  Plan plan;
  if (*existing && matches(**existing, wanted)) {
    plan.change.turned_off = turned_off(**existing);
    return plan;
  }

  // The entry it comes to, and the text that says so.
  Json entry = *existing && (*existing)->is_object() ? **existing : Json::object();
  std::string edited(text);
  if (is_toml(spec)) {
    for (const char* key : {"command", "args"}) entry[key] = wanted[key];
    auto set = toml::toml_set_keys(text, table_path(spec),
                                   {{"command", toml_basic_string(launch.command)},
                                    {"args", toml_args(launch.args)}});
    if (!set) return fail(set.error());
    edited = std::move(*set);
  } else if (!*existing || !(*existing)->is_object()) {
    entry = wanted;
    auto set = edit::jsonc_set_member(text, entry_path(spec), spec.entry(launch), dialect_of(spec));
    if (!set) return fail(set.error());
    edited = std::move(*set);
  } else {
    // Member by member, so that what the user added stays as they wrote it.
    const edit::OrderedJson members = spec.entry(launch);
    for (const auto& [key, value] : members.items()) {
      if (!owned_member(key) && entry.contains(key)) continue;
      entry[key] = wanted[key];
      const std::array<std::string, 3> path{std::string(spec.servers_key), std::string(kEntryName),
                                            key};
      auto set = edit::jsonc_set_member(edited, path, value, dialect_of(spec));
      if (!set) return fail(set.error());
      edited = std::move(*set);
    }
  }
  TRY(verify(spec, file, *before, edited, entry));

  plan.text = std::move(edited);
  plan.change.kind = *existing ? Change::Kind::kUpdated : Change::Kind::kAdded;
  plan.change.turned_off = turned_off(entry);
  if (*existing) {
    std::string old = command_of(**existing);
    if (old != launch.command) plan.change.old_command = old;
  }
  return plan;
}

Result<Plan> plan_disconnect(const AgentSpec& spec, const std::string& file,
                             std::string_view text) {
  auto fail = [&](const Error& phrase) { return about(spec, file, phrase); };
  auto before = read_document(spec, text);
  if (!before) return fail(before.error());
  auto existing = read_entry(spec, text);
  if (!existing) return fail(existing.error());
  Plan plan;
  plan.change.kind = Change::Kind::kAbsent;
  std::optional<std::string> edited;
  if (is_toml(spec)) {
    auto removed = toml::toml_remove_table(text, table_path(spec));
    if (!removed) return fail(removed.error());
    edited = std::move(*removed);
  } else {
    auto removed = edit::jsonc_remove_member(text, entry_path(spec), dialect_of(spec));
    if (!removed) return fail(removed.error());
    edited = std::move(*removed);
  }
  if (!edited) return plan;
  // A file that only held what connect wrote (it made the file) would be
  // left empty, which most agents can't read: it keeps an empty object.
  if (!is_toml(spec) && edited->empty()) *edited = "{}\n";
  TRY(verify(spec, file, *before, *edited, std::nullopt));
  plan.change.kind = Change::Kind::kRemoved;
  if (*existing) plan.change.old_command = command_of(**existing);
  plan.text = std::move(edited);
  return plan;
}

// Reads, plans and writes, again while another program changes the file
// between the read and the write.
template <typename PlanFn>
Result<Change> edit_file(const std::string& file, AgentFiles& files, PlanFn plan_for) {
  Change change;
  TRY(edit_until_written(file, files,
                         [&](const FileVersion& version) -> Result<std::optional<std::string>> {
                           TRY_ASSIGN(Plan plan, plan_for(version));
                           change = plan.change;
                           return std::move(plan.text);
                         }));
  return change;
}

}  // namespace

Status edit_until_written(
    const std::string& file, AgentFiles& files,
    const std::function<Result<std::optional<std::string>>(const FileVersion&)>& plan_for) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    TRY_ASSIGN(FileVersion version, files.read(file));
    TRY_ASSIGN(std::optional<std::string> text, plan_for(version));
    if (!text) return {};
    TRY_ASSIGN(bool written, files.write(file, *text, version));
    if (written) return {};
  }
  return Error{decode_lossy(file) +
               " keeps being changed by another program, so I left it alone. Try again once it "
               "is quiet."};
}

Result<Change> connect_agent(const AgentSpec& spec, const std::string& file,
                             const LaunchEntry& launch, AgentFiles& files) {
  // The file would get U+FFFD where the path has a byte that isn't UTF-8,
  // and the agent would start nothing.
  bool exact = valid_utf8(launch.command);
  for (const std::string& arg : launch.args) exact = exact && valid_utf8(arg);
  if (!exact) {
    return Error{"the program's path " + decode_lossy(launch.command) +
                 " isn't valid UTF-8, so it can't be written in " + decode_lossy(file) +
                 " as it is; I left it alone"};
  }
  return edit_file(file, files, [&](const FileVersion& version) {
    return plan_connect(spec, file, version.bytes.value_or(std::string()), launch);
  });
}

Result<Change> disconnect_agent(const AgentSpec& spec, const std::string& file, AgentFiles& files) {
  return edit_file(file, files, [&](const FileVersion& version) -> Result<Plan> {
    if (!version.bytes) return Plan{Change{Change::Kind::kAbsent, {}, false}, std::nullopt};
    return plan_disconnect(spec, file, *version.bytes);
  });
}

Result<std::optional<std::string>> connected_command(const AgentSpec& spec,
                                                     const std::string& file, AgentFiles& files) {
  TRY_ASSIGN(FileVersion version, files.read(file));
  if (!version.bytes) return std::optional<std::string>();
  auto entry = read_entry(spec, *version.bytes);
  if (!entry) return about(spec, file, entry.error());
  if (!*entry) return std::optional<std::string>();
  return std::optional<std::string>(command_of(**entry));
}

std::vector<std::string> files_read(const AgentPlace& place) {
  return place.files.empty() ? std::vector<std::string>{place.file} : place.files;
}

namespace {

// The files that hold an entry; fails when one can't be read or parsed.
Result<std::vector<std::string>> holding_entry(const AgentSpec& spec, const AgentPlace& place,
                                               AgentFiles& files) {
  std::vector<std::string> holding;
  for (const std::string& file : files_read(place)) {
    TRY_ASSIGN(std::optional<std::string> command, connected_command(spec, file, files));
    if (command) holding.push_back(file);
  }
  return holding;
}

// Of two changes to the files of one agent, the one worth telling: a
// change over none, and one that names another program over one that
// doesn't.
void keep_telling(Change& overall, const Change& change, Change::Kind nothing) {
  if (change.kind == nothing || change.kind == Change::Kind::kUnchanged) {
    overall.turned_off = overall.turned_off || change.turned_off;
    return;
  }
  bool turned_off = overall.turned_off || change.turned_off;
  if (overall.kind == nothing || overall.kind == Change::Kind::kUnchanged ||
      overall.old_command.empty()) {
    overall = change;
  }
  overall.turned_off = turned_off;
}

}  // namespace

Result<Change> connect_agent(const AgentSpec& spec, const AgentPlace& place,
                             const LaunchEntry& launch, AgentFiles& files) {
  TRY_ASSIGN(std::vector<std::string> holding, holding_entry(spec, place, files));
  if (holding.empty()) return connect_agent(spec, place.file, launch, files);
  // The agent merges its files: each entry it has must start this program.
  Change overall;
  for (const std::string& file : holding) {
    TRY_ASSIGN(Change change, connect_agent(spec, file, launch, files));
    keep_telling(overall, change, Change::Kind::kUnchanged);
  }
  return overall;
}

Result<Change> disconnect_agent(const AgentSpec& spec, const AgentPlace& place, AgentFiles& files) {
  // Every file is parsed before any is written.
  TRY(holding_entry(spec, place, files));
  Change overall{Change::Kind::kAbsent, {}, false};
  for (const std::string& file : files_read(place)) {
    TRY_ASSIGN(Change change, disconnect_agent(spec, file, files));
    keep_telling(overall, change, Change::Kind::kAbsent);
  }
  return overall;
}

Result<std::vector<std::string>> connected_commands(const AgentSpec& spec, const AgentPlace& place,
                                                    AgentFiles& files) {
  std::vector<std::string> commands;
  for (const std::string& file : files_read(place)) {
    TRY_ASSIGN(std::optional<std::string> command, connected_command(spec, file, files));
    if (command) commands.push_back(std::move(*command));
  }
  return commands;
}

bool starts_this_program(std::string_view command, std::string_view exe) {
  if (command.empty()) return false;
  if (command == exe) return true;
  if (platform::parent_folder(command) != platform::parent_folder(exe)) return false;
  std::string name(platform::file_name(command));
  for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return name == "vesk" || name == "vesk.exe";
}

}  // namespace vesk::agents
