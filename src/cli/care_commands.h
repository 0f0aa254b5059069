// `doctor`, `rescue`, `install` and `uninstall`: looking after the product
// itself rather than the keep-awake state. Each starts the power watcher
// first, once, so that a session end while it works puts the power
// settings back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/agents_commands.h"
#include "cli/context.h"
#include "restore/rescue.h"

namespace vesk::cli {

// What `doctor` finds before it asks the tray app anything.
struct Checkup {
  // Seconds since the heartbeat in the `alive` file; nullopt when there is
  // none.
  std::optional<uint64_t> heartbeat_age;
  // ipc::app_alive (the heartbeat is fresh and its process runs), asked only
  // when the heartbeat is younger than ipc::kFreshSeconds.
  bool app_alive = false;
  bool watchdog_installed = false;
  std::vector<std::string> changes;    // the journal summary's lines
  std::vector<std::string> set_aside;  // journals put-back runs set aside, still there
};

// What the four commands ask of the machine; tests hand them fakes. The
// status request of `doctor` goes through the Context's RequestFn.
class CareSystem {
 public:
  virtual ~CareSystem() = default;
  // The power watcher, with the put-back of the app folder's journals at a
  // session end (restore::watch_session_end).
  virtual void start_power_watch(const std::string& app_folder) = 0;
  virtual Checkup checkup(const std::string& app_folder) = 0;
  // The heartbeat read again (ipc::app_alive).
  virtual bool app_alive(const std::string& app_folder) = 0;
  virtual restore::RescueResult rescue(const std::string& app_folder) = 0;
  // Registers the watchdog; once it is, writes the installed marker.
  virtual Status install(const std::string& app_folder) = 0;
  // What is still there after its removal, a line each
  // (care::remove_registrations).
  virtual std::vector<std::string> remove_registrations(const std::string& app_folder) = 0;
  // The agents' lines of `doctor` (see agents_commands.h).
  virtual std::vector<std::string> agent_lines() { return {}; }
  // Takes Vesk out of the agents that start this program.
  virtual AgentsUninstalled disconnect_agents() { return {}; }
};

CareSystem& system_care();

Outcome run_doctor(Context& ctx, CareSystem& system);
Outcome run_rescue(Context& ctx, CareSystem& system);
Outcome run_install(Context& ctx, CareSystem& system);
Outcome run_uninstall(Context& ctx, CareSystem& system);

// The wait limit of the status request that `doctor` makes.
inline constexpr unsigned kDoctorWaitSeconds = 5;

}  // namespace vesk::cli
