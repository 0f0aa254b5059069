// The two journals Vesk keeps in the app folder of what it still has
// changed: restore.json (power settings, a `Restore` record) and
// touched.json (slowed or paused processes, a list of `Touched` entries).
// The tray app writes them; this program reads them, puts things back and
// rewrites or removes them.
//
// Reading is strict: a missing required member, a member of the wrong type,
// a number that is negative, fractional or out of range, an array of the
// wrong length, a key given twice (anywhere in the document), anything after
// the document, ill-formed UTF-8 or nesting deeper than kMaxJournalDepth all
// make the whole file unreadable. Unknown keys are ignored. Writing is
// pretty JSON with the members in field order, through
// platform::write_file_atomic.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace vesk::restore {

inline constexpr char kRestoreFile[] = "restore.json";
inline constexpr char kTouchedFile[] = "touched.json";

// Deeper documents are refused before they are parsed.
inline constexpr int kMaxJournalDepth = 64;

// A further power plan whose lid-close action was changed: the plan's GUID
// text and the action it had plugged in (ac) and on battery (dc).
struct LidMore {
  std::string plan;
  uint32_t ac = 0;
  uint32_t dc = 0;
  friend bool operator==(const LidMore&, const LidMore&) = default;
};

// A plan and its sleep timeouts before: sleep after (plugged in, on
// battery), unattended sleep (plugged in, on battery), in seconds.
struct SleepIdle {
  std::string plan;
  std::array<uint32_t, 4> timeouts{};
  friend bool operator==(const SleepIdle&, const SleepIdle&) = default;
};

// A plan and its processor boost mode on battery before.
struct BoostDc {
  std::string plan;
  uint32_t value = 0;
  friend bool operator==(const BoostDc&, const BoostDc&) = default;
};

// The lid-close action before, plugged in and on battery.
struct LidAction {
  uint32_t ac = 0;
  uint32_t dc = 0;
  friend bool operator==(const LidAction&, const LidAction&) = default;
};

// restore.json. Members in file order.
struct Restore {
  std::vector<LidMore> lid_more;
  std::optional<std::string> power_profile;
  std::optional<std::string> power_overlay;
  std::optional<LidAction> lid_action;
  std::optional<std::string> lid_scheme;
  std::optional<SleepIdle> sleep_idle;
  std::optional<BoostDc> boost_dc;
  bool linux_tuned = false;
  friend bool operator==(const Restore&, const Restore&) = default;
};

// The record equals the empty record (no lid_more element, every optional
// member absent, linux_tuned false).
bool is_empty(const Restore& record);

// One element of touched.json. Members in file order.
struct Touched {
  uint32_t pid = 0;
  std::string exe;     // image name: file name, lower case, no ".exe"
  uint64_t start = 0;  // creation time (FILETIME)
  bool paused = false;
  int64_t previous = 0;  // the priority class before
  std::optional<std::string> unit;
  friend bool operator==(const Touched&, const Touched&) = default;
};

// ---- Text ------------------------------------------------------------------

// The record in `text` (an object, or an array of the eight values in
// member order); nullopt when the text breaks any reading rule.
std::optional<Restore> parse_restore(std::string_view text);
// The entries in `text` (an array of objects, or of arrays of the six
// values in member order); nullopt when any entry breaks a rule.
std::optional<std::vector<Touched>> parse_touched(std::string_view text);

// Pretty JSON, every member written (absent ones as null), in file order,
// no line break at the end.
std::string restore_text(const Restore& record);
std::string touched_text(const std::vector<Touched>& entries);

// ---- Files in the app folder -------------------------------------------------

std::optional<Restore> read_restore(const std::string& app_folder);
std::optional<std::vector<Touched>> read_touched(const std::string& app_folder);

// Written through platform::write_file_atomic: on failure the file stays as
// it was, and the error names the file and the system's reason.
Status write_restore(const std::string& app_folder, const Restore& record);
Status write_touched(const std::string& app_folder, const std::vector<Touched>& entries);

// Deletes the journal. Success when it is gone, also when it was not there;
// a file that is still there (or may be: a folder that cannot be searched)
// is an error naming it and the system's reason.
Status remove_restore(const std::string& app_folder);
Status remove_touched(const std::string& app_folder);

// What a read found: no file at all, a file holding nothing but white
// space, a file that exists but could not be opened or read (`read_error`,
// the system's reason), a file whose content breaks the rules, or a value.
template <class T>
struct JournalState {
  bool present = false;
  bool blank = false;
  std::optional<T> value;
  std::string read_error;
  // Could not be opened or read: what it holds is unknown and it stays.
  bool unopenable() const { return present && !read_error.empty(); }
  // Read, but the content breaks the rules: it is set aside.
  bool unparsable() const { return present && read_error.empty() && !blank && !value; }
  bool unreadable() const { return unopenable() || unparsable(); }
};

// Why a journal that is there gives no value, for people: the system's
// reason, or that its content isn't a journal.
inline constexpr char kNotAJournal[] = "its content isn't a valid journal";
template <class T>
std::string unreadable_reason(const JournalState<T>& journal) {
  return journal.unopenable() ? journal.read_error : std::string(kNotAJournal);
}
JournalState<Restore> load_restore(const std::string& app_folder);
JournalState<std::vector<Touched>> load_touched(const std::string& app_folder);

// ---- Unreadable journals and leftovers ----------------------------------------

// What a journal that cannot be read is renamed to, in its own folder:
// "<path>.unreadable" for n = 1, "<path>.unreadable-<n>" after that.
std::string set_aside_name(const std::string& path, int n);
// Copies of one journal at most; with that many already there, no more are
// made.
inline constexpr int kMaxSetAsideCopies = 100;

// Renames the journal at `path` to the first free set_aside_name, never over
// an existing file; the copy's path. On failure the journal stays where it
// is.
Result<std::string> set_aside(const std::string& path);

// The set-aside copies of both journals in the folder, as full paths, sorted.
std::vector<std::string> set_aside_copies(const std::string& app_folder);

// Deletes restore.tmp<pid> and touched.tmp<pid> (the temporaries of the
// journals' atomic writes) in the folder when `running(pid)` is false:
// their writer is gone and nothing will rename them into place.
void remove_stale_temporaries(const std::string& app_folder,
                              const std::function<bool(uint32_t)>& running);

}  // namespace vesk::restore
