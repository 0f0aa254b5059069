#include "cli/care_commands.h"

#include "base/json.h"
#include "cli/agents_commands.h"
#include "cli/handlers.h"
#include "cli/time_args.h"
#include "ipc/app_link.h"
#include "ipc/liveness.h"
#include "platform/fs.h"
#include "restore/journal.h"
#include "restore/rescue.h"
#include "restore/summary.h"
#include "care/watchdog.h"

namespace vesk::cli {

namespace {

class SystemCare final : public CareSystem {
 public:
  void start_power_watch(const std::string& app_folder) override {
    restore::watch_session_end(app_folder);
  }
  Checkup checkup(const std::string& app_folder) override {
    Checkup found;
    found.heartbeat_age = ipc::heartbeat_age(platform::join_path(app_folder, "alive"));
    // The process behind a heartbeat is looked at only while it is fresh.
    found.app_alive = found.heartbeat_age && *found.heartbeat_age < ipc::kFreshSeconds &&
                      ipc::app_alive(app_folder);
    found.watchdog_installed = care::watchdog_installed();
    found.changes = restore::journal_summary(app_folder);
    found.set_aside = restore::set_aside_copies(app_folder);
    return found;
  }
  bool app_alive(const std::string& app_folder) override { return ipc::app_alive(app_folder); }
  restore::RescueResult rescue(const std::string& app_folder) override {
    return restore::rescue(app_folder, [&] { return ipc::quit_tray_app(app_folder); });
  }
  Status install(const std::string& app_folder) override {
    TRY(care::install_watchdog());
    // The marker only tells that install ran; the watchdog is in place without it.
    (void)ipc::write_unix_time(platform::join_path(app_folder, care::kInstalledMarker));
    return {};
  }
  std::vector<std::string> remove_registrations(const std::string& app_folder) override {
    return care::remove_registrations(app_folder);
  }
  std::vector<std::string> agent_lines() override {
    return agent_doctor_lines(system_agent_world());
  }
  AgentsUninstalled disconnect_agents() override {
    return disconnect_for_uninstall(system_agent_world());
  }
};

void print_indented(Io& io, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) io.out("  " + line + "\n");
}

// One line per journal the run set aside, before anything else it says,
// then what that means: its changes are unknown, so they are checked by hand.
void print_set_aside(Io& io, const restore::RescueResult& rescued) {
  for (const std::string& copy : rescued.set_aside) {
    io.out("A journal couldn't be read and was set aside: " + copy + "\n");
  }
  if (rescued.set_aside.empty()) return;
  io.out(
      "What it held is unknown, so it may not all be back. Check by hand: on Windows, in "
      "Control Panel \u203A Power Options, \"When I close the lid\", when the computer sleeps "
      "and the processor's power settings; restart any app that stays paused or slow. Then "
      "delete the copy.\n");
}

}  // namespace

CareSystem& system_care() {
  static SystemCare system;
  return system;
}

Outcome run_doctor(Context& ctx, CareSystem& system) {
  Io& io = ctx.io;
  system.start_power_watch(ctx.app_folder);
  io.out("Vesk folder: " + ctx.app_folder + "\n");

  Checkup found = system.checkup(ctx.app_folder);
  const std::optional<uint64_t>& age = found.heartbeat_age;
  if (!age) {
    io.out("App: never ran here\n");
  } else if (*age < ipc::kFreshSeconds && found.app_alive) {
    // (A fresh heartbeat from a process that has ended: not running.)
    io.out("App: running\n");
  } else {
    io.out("App: not running (last seen " + minutes_text(static_cast<double>(*age) / 60.0) +
           ")\n");
  }

  io.out(found.watchdog_installed ? "Watchdog: installed\n"
                                   : "Watchdog: NOT installed (run `vesk install`)\n");

  io.out("Keep-awake control: available\n");

  if (found.changes.empty()) {
    io.out("Changes Vesk has made right now: none\n");
  } else {
    io.out("Changes Vesk has made right now (put back when the lid opens or work ends):\n");
    print_indented(io, found.changes);
  }
  for (const std::string& copy : found.set_aside) {
    io.out("Journal set aside (couldn't be read): " + copy + "\n");
  }

  // The heartbeat is read again: the checks above take a moment.
  if (system.app_alive(ctx.app_folder)) {
    auto reply = ctx.request("status", Json::object(), kDoctorWaitSeconds);
    if (reply) {
      const std::string* status = string_member(*reply, "status");
      io.out("Status: " + (status ? *status : std::string()) + "\n");
      for (const char* key : {"warning", "setup_error", "blocked_by"}) {
        if (const std::string* note = string_member(*reply, key)) io.out("Note: " + *note + "\n");
      }
    }
  }
  for (const std::string& line : system.agent_lines()) io.out(line + "\n");
  return kExitDone;
}

Outcome run_rescue(Context& ctx, CareSystem& system) {
  system.start_power_watch(ctx.app_folder);
  restore::RescueResult rescued = system.rescue(ctx.app_folder);
  print_set_aside(ctx.io, rescued);
  // A tray app that ignored "quit" may change things again at once.
  if (rescued.all_back && !rescued.app_stopped) {
    ctx.io.out(
        "Everything Vesk changed is back to how it was, but the Vesk app didn't quit when "
        "asked and may change things again: quit it from its tray icon, then run `vesk "
        "rescue` again.\n");
    return kExitRefused;
  }
  if (rescued.all_back) {
    ctx.io.out(
        "Everything Vesk changed is back to how it was. Vesk is stopped; start it again from "
        "your apps.\n");
    return kExitDone;
  }
  if (!rescued.pending.empty()) {
    ctx.io.out("Some changes couldn't be undone:\n");
    print_indented(ctx.io, rescued.pending);
  } else if (!rescued.set_aside.empty()) {
    return kExitRefused;  // only a set-aside journal, said above
  }
  ctx.io.out(
      "They stay recorded and will be retried. To undo by hand: resume or restart those apps; "
      "on Windows, set \"When I close the lid\" back in Control Panel \u203A Power Options.\n");
  return kExitRefused;
}

Outcome run_install(Context& ctx, CareSystem& system) {
  system.start_power_watch(ctx.app_folder);
  TRY(system.install(ctx.app_folder));
  ctx.io.out("Watchdog installed.\n");
  return kExitDone;
}

Outcome run_uninstall(Context& ctx, CareSystem& system) {
  system.start_power_watch(ctx.app_folder);
  restore::RescueResult rescued = system.rescue(ctx.app_folder);
  print_set_aside(ctx.io, rescued);
  if (!rescued.all_back) {
    if (rescued.pending.empty()) {
      ctx.io.out(
          "Not uninstalling yet: the watchdog stays until you have checked. Then run `vesk "
          "uninstall` again.\n");
      return kExitRefused;
    }
    ctx.io.out(
        "Not uninstalling yet: these changes couldn't be undone, and the watchdog stays to keep "
        "retrying:\n");
    print_indented(ctx.io, rescued.pending);
    return kExitRefused;
  }
  if (!rescued.app_stopped) {
    ctx.io.out(
        "Not uninstalling yet: the Vesk app didn't quit when asked. Quit it from its tray "
        "icon, then run `vesk uninstall` again.\n");
    return kExitRefused;
  }
  // What is still there after its removal failed: an item that was not
  // there counts as removed.
  std::vector<std::string> left = system.remove_registrations(ctx.app_folder);
  // The agents' entries go even when an item above stayed: the program
  // they would start is about to be deleted.
  AgentsUninstalled agents = system.disconnect_agents();
  for (const std::string& line : agents.done) ctx.io.out(line + "\n");
  if (!agents.left.empty()) {
    ctx.io.out("These agents would still start Vesk, so it isn't uninstalled yet:\n");
    print_indented(ctx.io, agents.left);
    ctx.io.out("Take Vesk out of them by hand, or mend the file and run `vesk uninstall` again.\n");
  }
  if (!left.empty()) {
    ctx.io.out(agents.left.empty() ? "Nothing Vesk changed is left, but these couldn't be removed:\n"
                                   : "These couldn't be removed either:\n");
    print_indented(ctx.io, left);
    ctx.io.out("Remove them by hand, or run `vesk uninstall` again.\n");
  }
  if (!left.empty() || !agents.left.empty()) return kExitRefused;
  ctx.io.out("Vesk's watchdog and login item are removed and nothing it changed is left. Delete "
             "the app and " +
             ctx.app_folder + " to finish.\n");
  return kExitDone;
}

Outcome cmd_doctor(Context& ctx, const Args&) { return run_doctor(ctx, system_care()); }
Outcome cmd_rescue(Context& ctx, const Args&) { return run_rescue(ctx, system_care()); }
Outcome cmd_install(Context& ctx, const Args&) { return run_install(ctx, system_care()); }
Outcome cmd_uninstall(Context& ctx, const Args&) { return run_uninstall(ctx, system_care()); }

}  // namespace vesk::cli
