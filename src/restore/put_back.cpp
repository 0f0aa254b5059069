#include "restore/put_back.h"

#include <algorithm>

#include "base/lowercase.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "restore/power_settings.h"

namespace vesk::restore {

using platform::PowerApi;
using platform::ProcessControl;

std::string normal_image_name(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = unicode_lower(slash == std::string_view::npos ? path : path.substr(slash + 1));
  constexpr std::string_view kExe = ".exe";
  if (name.ends_with(kExe)) name.resize(name.size() - kExe.size());
  return name;
}

// ---- Processes ------------------------------------------------------------------

namespace {

// Below this, process ids belong to the system (the idle process, System).
constexpr uint32_t kFirstUserPid = 5;

bool same_process(ProcessControl& processes, const Touched& entry) {
  auto created = processes.start_time(entry.pid);
  return created && *created == entry.start;
}

uint32_t priority_to_restore(int64_t previous) {
  if (previous >= 1 && previous <= static_cast<int64_t>(UINT32_MAX)) {
    return static_cast<uint32_t>(previous);
  }
  return platform::kNormalPriorityClass;
}

}  // namespace

std::vector<Touched> put_back_processes(const std::vector<Touched>& entries,
                                        ProcessControl& processes) {
  std::vector<Touched> kept;
  for (const Touched& entry : entries) {
    // Ended, or the id now belongs to another process: nothing to undo.
    if (!same_process(processes, entry)) continue;
    // Another program under this identity: not Vesk's to touch. When the
    // name cannot be read, the identity above has to do.
    if (auto path = processes.image_path(entry.pid)) {
      if (normal_image_name(*path) != entry.exe) continue;
    }
    // Why an undo failed is not kept: the entry stays for the next run,
    // and a rescue names it from the journal.
    bool done = false;
    if (entry.paused) {
      if (entry.pid >= kFirstUserPid && entry.pid != processes.own_pid()) {
        done = processes.resume(entry.pid, entry.start).ok();
      }
    } else {
      done = processes
                 .restore_priority(entry.pid, entry.start, priority_to_restore(entry.previous))
                 .ok();
    }
    if (!done && same_process(processes, entry)) kept.push_back(entry);
  }
  return kept;
}

// ---- Power settings -----------------------------------------------------------------

namespace {

bool either_set(const LidValues& v) { return v.ac != 0 || v.dc != 0; }

// What becomes of a journal member after an attempt to write it back.
enum class WriteBack {
  kSettled,  // written back, or no longer Vesk's to write: forgotten
  kPending,  // the write failed or could not be tried: kept for a later run
};

// A failed write stays for the next run, which tries again; nothing here
// reports it (a rescue names what is still pending from the journals).
WriteBack settled_if(const Status& written) {
  return written ? WriteBack::kSettled : WriteBack::kPending;
}

// Each writes one recorded member back unless someone else has changed the
// setting since.

WriteBack write_back_sleep_idle(PowerApi& api, const SleepIdle& idle) {
  auto plan = parse_plan_guid(idle.plan);
  if (!plan) return WriteBack::kSettled;
  SleepTimeouts now = read_sleep_timeouts(api, *plan);
  bool all_read = std::all_of(now.read.begin(), now.read.end(), [](bool b) { return b; });
  bool any_set = std::any_of(now.values.begin(), now.values.end(), [](uint32_t v) { return v != 0; });
  if (all_read && any_set) return WriteBack::kSettled;  // changed by someone else since
  return settled_if(write_sleep_timeouts(api, *plan, idle.timeouts));
}

WriteBack write_back_lid_more(PowerApi& api, const LidMore& more) {
  auto plan = parse_plan_guid(more.plan);
  if (!plan) return WriteBack::kSettled;
  auto now = read_lid_action(api, *plan);
  if (now && either_set(*now)) return WriteBack::kSettled;
  return settled_if(write_lid_action(api, *plan, more.ac, more.dc));
}

WriteBack write_back_lid_action(PowerApi& api, const Guid& plan, const LidAction& before) {
  auto now = read_lid_action(api, plan);
  if (now && either_set(*now)) return WriteBack::kSettled;
  return settled_if(write_lid_action(api, plan, before.ac, before.dc));
}

WriteBack write_back_boost(PowerApi& api, const BoostDc& boost) {
  auto plan = parse_plan_guid(boost.plan);
  if (!plan) return WriteBack::kSettled;
  auto now = read_boost_dc(api, *plan);
  if (now && *now != 0) return WriteBack::kSettled;
  return settled_if(write_boost_dc(api, *plan, boost.value));
}

WriteBack write_back_overlay(PowerApi& api, const std::string& text) {
  OverlayRead now = actual_overlay(api);
  if (now.result != OverlayResult::done) return WriteBack::kPending;  // unavailable or failed
  if (now.overlay != kBestEfficiencyOverlay) return WriteBack::kSettled;  // no longer Vesk's
  auto overlay = parse_plan_guid(text);
  if (!overlay) return WriteBack::kSettled;
  bool set = set_overlay(api, *overlay) == OverlayResult::done;
  return set ? WriteBack::kSettled : WriteBack::kPending;
}

// lid_more element by element, in order; true when a write failed.
bool put_back_lid_more(PowerApi& api, std::vector<LidMore>& lid_more) {
  bool failed = false;
  std::erase_if(lid_more, [&](const LidMore& more) {
    bool pending = write_back_lid_more(api, more) == WriteBack::kPending;
    failed = failed || pending;
    return !pending;
  });
  return failed;
}

// lid_action in the plan named by lid_scheme, or else in the active plan;
// with neither, both members stay.
void put_back_lid_action(PowerApi& api, Restore& r) {
  if (!r.lid_action) return;
  std::optional<Guid> plan;
  if (r.lid_scheme) plan = parse_plan_guid(*r.lid_scheme);
  if (!plan) plan = active_plan(api);
  if (!plan) return;
  if (write_back_lid_action(api, *plan, *r.lid_action) == WriteBack::kSettled) {
    r.lid_action.reset();
    r.lid_scheme.reset();
  }
}

// Forgets `member` once `write_back` has settled it.
template <class T, class Write>
void settle(std::optional<T>& member, Write write_back) {
  if (member && write_back(*member) == WriteBack::kSettled) member.reset();
}

}  // namespace

void put_back_power(Restore& r, PowerApi& api) {
  settle(r.sleep_idle, [&](const SleepIdle& v) { return write_back_sleep_idle(api, v); });
  // A lid write that failed in one plan leaves the recorded plan alone in
  // this run.
  if (!put_back_lid_more(api, r.lid_more)) put_back_lid_action(api, r);
  settle(r.boost_dc, [&](const BoostDc& v) { return write_back_boost(api, v); });
  settle(r.power_overlay, [&](const std::string& v) { return write_back_overlay(api, v); });
  // Nothing left that can be acted on: the rest goes with it.
  if (!r.lid_action && r.lid_more.empty() && !r.power_overlay && !r.sleep_idle && !r.boost_dc) {
    r = Restore{};
  }
}

void session_end_put_back_record(Restore& r, PowerApi& api) {
  // Unlike a put-back run, a failure does not hold back the later steps.
  put_back_lid_more(api, r.lid_more);
  settle(r.sleep_idle, [&](const SleepIdle& v) { return write_back_sleep_idle(api, v); });
  settle(r.boost_dc, [&](const BoostDc& v) { return write_back_boost(api, v); });
  // lid_action follows the put-back run's rule (the recorded plan, else the
  // active one; kept when there is neither), so that it is never forgotten
  // while the lid may still be set to do nothing. lid_scheme means nothing
  // without it.
  if (r.lid_action) {
    put_back_lid_action(api, r);
  } else {
    r.lid_scheme.reset();
  }
}

JournalMutex& restore_journal_mutex() {
  static JournalMutex mutex;
  return mutex;
}

namespace {

// A journal whose content cannot be parsed is set aside, its copy added to
// `copies`. One that cannot be opened, or cannot be moved, stays where it is
// and counts as pending (false); a move that failed adds a line to
// `problems`. Anything else: true.
template <class T>
bool clear_unreadable(const std::string& path, const JournalState<T>& journal,
                      std::vector<std::string>& copies, std::vector<std::string>& problems) {
  if (journal.unopenable()) return false;
  if (!journal.unparsable()) return true;
  auto copy = set_aside(path);
  if (!copy) {
    problems.push_back(path + " couldn't be set aside: " + copy.message());
    return false;
  }
  copies.push_back(std::move(*copy));
  return true;
}

// Keeps the message of a failed write or delete; true when it failed.
bool failed(const Status& status, std::vector<std::string>& problems) {
  if (status) return false;
  problems.push_back(status.message());
  return true;
}

// The same where the caller counts the journal as pending either way.
void note_failure(const Status& status, std::vector<std::string>& problems) {
  if (!status) problems.push_back(status.message());
}

}  // namespace

Status session_end_put_back(const std::string& app_folder, PowerApi& api) {
  std::lock_guard lock(restore_journal_mutex());
  auto journal = load_restore(app_folder);
  if (journal.blank) return remove_restore(app_folder);
  std::string path = platform::join_path(app_folder, kRestoreFile);
  std::vector<std::string> copies, problems;
  if (!clear_unreadable(path, journal, copies, problems)) {
    if (!problems.empty()) return Error{problems.front()};
    return Error{path + " couldn't be read: " + journal.read_error};
  }
  if (!journal.value) return {};
  session_end_put_back_record(*journal.value, api);
  // Written even when empty; the next put-back run removes it.
  return write_restore(app_folder, *journal.value);
}

// ---- The run ----------------------------------------------------------------------

namespace {

// The touched journal's part; true when something is still pending.
bool run_processes(const std::string& app_folder, ProcessControl& processes, PutBack& run) {
  auto journal = load_touched(app_folder);
  if (!clear_unreadable(platform::join_path(app_folder, kTouchedFile), journal, run.set_aside,
                        run.problems)) {
    return true;
  }
  std::vector<Touched> kept =
      put_back_processes(journal.value.value_or(std::vector<Touched>{}), processes);
  if (!kept.empty()) {
    note_failure(write_touched(app_folder, kept), run.problems);
    return true;
  }
  return failed(remove_touched(app_folder), run.problems);
}

// The restore journal's part; true when something is still pending.
bool run_power(const std::string& app_folder, PowerApi& power, PutBack& run) {
  std::lock_guard lock(restore_journal_mutex());
  auto journal = load_restore(app_folder);
  if (!clear_unreadable(platform::join_path(app_folder, kRestoreFile), journal, run.set_aside,
                        run.problems)) {
    return true;
  }
  Restore record = journal.value.value_or(Restore{});
  if (!is_empty(record)) put_back_power(record, power);
  if (is_empty(record)) return failed(remove_restore(app_folder), run.problems);
  note_failure(write_restore(app_folder, record), run.problems);
  return true;
}

}  // namespace

PutBack put_back(const std::string& app_folder, PowerApi& power, ProcessControl& processes) {
  remove_stale_temporaries(app_folder,
                           [&](uint32_t pid) { return processes.start_time(pid).has_value(); });
  PutBack run;
  bool processes_pending = run_processes(app_folder, processes, run);
  bool power_pending = run_power(app_folder, power, run);
  // The tray app's file, usually not there: whether it goes changes nothing
  // that the journals record, so no failure (a missing file included) counts.
  (void)platform::remove_file(platform::join_path(app_folder, "hold"));
  if (processes_pending || power_pending) run.result = PutBackResult::kPartlyRestored;
  return run;
}

PutBack put_back(const std::string& app_folder) {
  return put_back(app_folder, platform::system_power(), platform::system_processes());
}

}  // namespace vesk::restore
