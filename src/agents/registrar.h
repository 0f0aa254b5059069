// Putting the server in an agent's settings file and taking it out again,
// as edits of the file's text (see agents/edit).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agents/catalogue.h"

namespace vesk::agents {

// What connecting or disconnecting one agent came to.
struct Change {
  enum class Kind { kAdded, kUpdated, kUnchanged, kRemoved, kAbsent };
  Kind kind = Kind::kUnchanged;
  // kUpdated: the program the old entry started, when that was another one
  // (empty when only the entry's shape changed). kRemoved: the program the
  // removed entry started (empty when it named none).
  std::string old_command;
  // The entry is there but the user turned it off ("disabled": true,
  // "enabled": false); connecting keeps it so.
  bool turned_off = false;
};

// One version of a file as it was read.
struct FileVersion {
  std::optional<std::string> bytes;  // nullopt: there is no file
  // What else tells this version from a later one (for the real files: the
  // file's identity, size and modification time); compared as a whole.
  std::string stamp;
};

// The files as the registrar sees them.
class AgentFiles {
 public:
  virtual ~AgentFiles() = default;
  // The file as it is now: no file is a version too (bytes nullopt). Fails,
  // naming the file, for anything that isn't a regular file or can't be
  // read (a folder, a device, a symbolic-link loop, no access).
  virtual Result<FileVersion> read(const std::string& path) = 0;
  // Replaces the file with `text`, creating its folder when needed, with
  // the bytes of `old` (unless there were none) kept as a backup first.
  // Right before the replace the file is checked to be still `old`; when
  // another program has changed it since, nothing is left behind (no new
  // file, no backup) and the answer is false: read it again and redo the
  // edit. Fails, naming the file, when it can't be written (then nothing is
  // left behind either), or when it is read-only. `mode` is the permission
  // bits (0755 for a script) that a new file gets (when `old` is no file),
  // the user's umask still applied but an owner's execute kept; a file that
  // is there keeps its own access whatever `mode` says. Windows ignores it.
  virtual Result<bool> write(const std::string& path, std::string_view text,
                             const FileVersion& old,
                             std::optional<uint32_t> mode = std::nullopt) = 0;
  // Deletes the file, with no backup (only for files that are wholly
  // vesk's). Right before, the file is checked to be still `old`, as for
  // write: when another program has changed it since, or made a file where
  // there was none, nothing is done and the answer is false. A file that is
  // gone (never there, deleted meanwhile, a link that leads nowhere) counts
  // as removed: true. A symbolic link is deleted itself; the file it leads
  // to stays. Fails, naming the file, when it is read-only (the file a link
  // leads to) or can't be deleted.
  virtual Result<bool> remove(const std::string& path, const FileVersion& old) = 0;
};

// The real files. A file that is a symbolic link is written through: the
// file it leads to is replaced, in its own folder, and the link stays. A
// backup of the bytes read goes beside the named file as
// "<file>.vesk-backup", or "-2", "-3"… after the highest that exists: a
// backup is never replaced. Removing a link deletes the link alone.
// Messages name the file.
AgentFiles& system_files();

// Reads `file`, works out its new text from that version with `plan_for`
// (nullopt: nothing to write) and writes it while the file is still that
// version; again, a few times, when another program changed it meanwhile.
// Fails, naming the file, when it never holds still.
Status edit_until_written(
    const std::string& file, AgentFiles& files,
    const std::function<Result<std::optional<std::string>>(const FileVersion&)>& plan_for);

// Sets the agent's "vesk" entry to start `launch`: a new entry as the row
// gives it, or, in an entry that is there, only what starts the program
// (its command, arguments and type), every other member the user put there
// kept. Nothing is written when the entry is already so. Before anything is
// written the new text is read again as the agent reads it, and it must
// hold the old data with only the entry changed, as intended; a file that
// another program changes meanwhile is read and edited again. Fails with a
// message that names the file.
Result<Change> connect_agent(const AgentSpec& spec, const std::string& file,
                             const LaunchEntry& launch, AgentFiles& files);

// Takes the "vesk" entry out (in TOML its subtables too), checked the same
// way.
Result<Change> disconnect_agent(const AgentSpec& spec, const std::string& file, AgentFiles& files);

// The program the agent's "vesk" entry starts: nullopt when the file or the
// entry is missing; "" when the entry names no program that can be read.
Result<std::optional<std::string>> connected_command(const AgentSpec& spec,
                                                     const std::string& file, AgentFiles& files);

// Every file the agent reads servers from, `place.file` among them.
std::vector<std::string> files_read(const AgentPlace& place);

// The same over every file the agent reads. Connecting updates (or leaves)
// the entry in each file that already has one, and adds it to `place.file`
// only when none has. Disconnecting takes it out of every file that has it,
// and writes nothing when one of them can't be parsed.
Result<Change> connect_agent(const AgentSpec& spec, const AgentPlace& place,
                             const LaunchEntry& launch, AgentFiles& files);
Result<Change> disconnect_agent(const AgentSpec& spec, const AgentPlace& place, AgentFiles& files);

// The programs the agent's "vesk" entries start, one for each file that has
// an entry, in the order of `place.files`.
Result<std::vector<std::string>> connected_commands(const AgentSpec& spec, const AgentPlace& place,
                                                    AgentFiles& files);

// Whether `command` starts this program: `exe` itself, or a "vesk" or
// "vesk.exe" in its folder.
bool starts_this_program(std::string_view command, std::string_view exe);

}  // namespace vesk::agents
