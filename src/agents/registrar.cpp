#include "agents/registrar.h"

#include <array>

#include "agents/edit/toml_edit.h"
#include "base/utf8.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

using edit::JsonDialect;

edit::JsonDialect dialect_of(const AgentSpec& spec) {
  switch (spec.format) {
    case FileFormat::kJson: return JsonDialect::kStrict;
    case FileFormat::kJsonComments: return JsonDialect::kComments;
    default: return JsonDialect::kJsonc;
  }
}

std::array<std::string, 2> entry_path(const AgentSpec& spec) {
  return {std::string(spec.servers_key), std::string(kEntryName)};
}

edit::KeyPath table_path(const AgentSpec& spec) {
  return {std::string(spec.servers_key), std::string(kEntryName)};
}

// The editors' phrases follow the file's name.
Error about(const std::string& file, const Error& phrase) {
  return Error{decode_lossy(file) + phrase.message};
}

// The same, with the agent named where the phrase says "its reader".
Error about(const AgentSpec& spec, const std::string& file, const Error& phrase) {
  std::string message = phrase.message;
  constexpr std::string_view kReader = "its reader";
  if (size_t at = message.find(kReader); at != std::string::npos) {
    message.replace(at, kReader.size(), spec.display);
  }
  return about(file, Error{message});
}

// Whether the entry there already says what `desired` says. Members the
// user added are left to them; an object member (an environment) only has
// to be an object.
bool matches(const Json& existing, const Json& desired) {
  if (!existing.is_object()) return false;
  for (const auto& [key, value] : desired.items()) {
    auto found = existing.find(key);
    if (found == existing.end()) return false;
    if (value.is_object() ? !found->is_object() : *found != value) return false;
  }
  return true;
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
    out += toml_basic_string(decode_lossy(args[k]));
  }
  return out + "]";
}

Result<Change> connect_toml(const AgentSpec& spec, const std::string& file,
                            const LaunchEntry& launch, AgentFiles& files) {
  TRY_ASSIGN(FileVersion old, files.read(file));
  const std::string text = old.bytes.value_or(std::string());
  // Appending to a file in another encoding would leave it in two.
  if (!valid_utf8(text)) return about(file, Error{" isn't UTF-8 text, so I left it alone"});
  edit::KeyPath path = table_path(spec);
  edit::TomlTable table = edit::toml_find_table(text, path);
  const std::string command = decode_lossy(launch.command);
  std::vector<std::string> args;
  for (const std::string& arg : launch.args) args.push_back(decode_lossy(arg));
  Change change;
  std::string edited;
  switch (table.state) {
    case edit::TomlTable::State::kBlocked:
      return about(file, Error{" sets " + std::string(spec.servers_key) +
                               " in a form a table can't be added to, so I left it alone"});
    case edit::TomlTable::State::kAbsent:
      change.kind = Change::Kind::kAdded;
      edited = text + codex_table(launch);
      break;
    case edit::TomlTable::State::kPresent: {
      if (table.command == command && table.args == args) return Change{};
      change.kind = Change::Kind::kUpdated;
      if (table.command != command) change.old_command = table.command.value_or(std::string());
      auto replaced = edit::toml_replace_values(
          text, path, {{"command", toml_basic_string(command)}, {"args", toml_args(launch.args)}});
      if (replaced) {
        edited = std::move(*replaced);
      } else {
        // Not plain lines in the table: the whole entry is written anew.
        edited = edit::toml_remove_table(text, path).value_or(text) + codex_table(launch);
      }
      break;
    }
  }
  TRY(files.write(file, edited, old));
  return change;
}

}  // namespace

Result<Change> connect_agent(const AgentSpec& spec, const std::string& file,
                             const LaunchEntry& launch, AgentFiles& files) {
  if (spec.format == FileFormat::kToml) return connect_toml(spec, file, launch, files);
  TRY_ASSIGN(FileVersion old, files.read(file));
  const std::string text = old.bytes.value_or(std::string());
  auto path = entry_path(spec);
  auto existing = edit::jsonc_member(text, path, dialect_of(spec));
  if (!existing) return about(spec, file, existing.error());
  edit::OrderedJson desired = spec.entry(launch);
  Json wanted = Json::parse(desired.dump(-1, ' ', false, Json::error_handler_t::replace));
  if (*existing && matches(**existing, wanted)) return Change{};
  auto edited = edit::jsonc_set_member(text, path, desired, dialect_of(spec));
  if (!edited) return about(spec, file, edited.error());
  TRY(files.write(file, *edited, old));
  Change change;
  change.kind = *existing ? Change::Kind::kUpdated : Change::Kind::kAdded;
  if (*existing) {
    std::string before = command_of(**existing);
    if (before != command_of(wanted)) change.old_command = before;
  }
  return change;
}

Result<Change> disconnect_agent(const AgentSpec& spec, const std::string& file, AgentFiles& files) {
  TRY_ASSIGN(FileVersion version, files.read(file));
  const std::optional<std::string>& old = version.bytes;
  if (!old) return Change{Change::Kind::kAbsent, {}};
  std::optional<std::string> edited;
  if (spec.format == FileFormat::kToml) {
    if (!valid_utf8(*old)) return about(file, Error{" isn't UTF-8 text, so I left it alone"});
    edited = edit::toml_remove_table(*old, table_path(spec));
  } else {
    auto removed = edit::jsonc_remove_member(*old, entry_path(spec), dialect_of(spec));
    if (!removed) return about(spec, file, removed.error());
    edited = std::move(*removed);
  }
  if (!edited) return Change{Change::Kind::kAbsent, {}};
  TRY(files.write(file, *edited, version));
  return Change{Change::Kind::kRemoved, {}};
}

Result<std::optional<std::string>> connected_command(const AgentSpec& spec,
                                                     const std::string& file, AgentFiles& files) {
  TRY_ASSIGN(FileVersion version, files.read(file));
  const std::optional<std::string>& text = version.bytes;
  if (!text) return std::optional<std::string>();
  if (spec.format == FileFormat::kToml) {
    edit::TomlTable table = edit::toml_find_table(*text, table_path(spec));
    if (table.state != edit::TomlTable::State::kPresent) return std::optional<std::string>();
    return std::optional<std::string>(table.command.value_or(std::string()));
  }
  auto existing = edit::jsonc_member(*text, entry_path(spec), dialect_of(spec));
  if (!existing) return about(spec, file, existing.error());
  if (!*existing) return std::optional<std::string>();
  return std::optional<std::string>(command_of(**existing));
}

namespace {

std::vector<std::string> files_of(const AgentPlace& place) {
  return place.files.empty() ? std::vector<std::string>{place.file} : place.files;
}

// The files that hold an entry; fails when one can't be read or parsed.
Result<std::vector<std::string>> holding_entry(const AgentSpec& spec, const AgentPlace& place,
                                               AgentFiles& files) {
  std::vector<std::string> holding;
  for (const std::string& file : files_of(place)) {
    TRY_ASSIGN(std::optional<std::string> command, connected_command(spec, file, files));
    if (command) holding.push_back(file);
  }
  return holding;
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
    if (change.kind == Change::Kind::kUnchanged) continue;
    if (overall.kind == Change::Kind::kUnchanged || overall.old_command.empty()) overall = change;
  }
  return overall;
}

Result<Change> disconnect_agent(const AgentSpec& spec, const AgentPlace& place, AgentFiles& files) {
  // Every file is parsed before any is written.
  TRY(holding_entry(spec, place, files));
  Change overall{Change::Kind::kAbsent, {}};
  for (const std::string& file : files_of(place)) {
    TRY_ASSIGN(Change change, disconnect_agent(spec, file, files));
    if (change.kind == Change::Kind::kRemoved) overall = change;
  }
  return overall;
}

Result<std::vector<std::string>> connected_commands(const AgentSpec& spec, const AgentPlace& place,
                                                    AgentFiles& files) {
  std::vector<std::string> commands;
  for (const std::string& file : files_of(place)) {
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
