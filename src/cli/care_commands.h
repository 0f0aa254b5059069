// `doctor`, `rescue`, `install` and `uninstall`: looking after the product
// itself rather than the keep-awake state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/context.h"
#include "restore/put_back.h"

namespace vesk::cli {

// What the four commands ask of the machine; tests hand them fakes. The
// status request of `doctor` goes through the Context's RequestFn.
class CareSystem {
 public:
  virtual ~CareSystem() = default;
  virtual void start_power_watch(const std::string& app_folder) = 0;
  // Seconds since the heartbeat in the file; nullopt when there is none.
  virtual std::optional<uint64_t> heartbeat_age(const std::string& alive_path) = 0;
  virtual bool app_alive(const std::string& app_folder) = 0;
  virtual Result<std::string> run_system_tool(const std::string& program,
                                              const std::vector<std::string>& args) = 0;
  virtual std::vector<std::string> journal_summary(const std::string& app_folder) = 0;
  // The journals that put-back runs set aside and that are still there.
  virtual std::vector<std::string> set_aside_journals(const std::string& app_folder) = 0;
  virtual restore::RescueResult rescue(const std::string& app_folder) = 0;
  virtual Status install_watchdog() = 0;
  virtual Status write_unix_time(const std::string& path) = 0;
  // Each succeeds when the item is gone afterwards, also when it was not
  // there.
  virtual Status remove_file(const std::string& path) = 0;
  virtual Status delete_user_key_tree(const std::string& subkey) = 0;
  virtual Status delete_user_value(const std::string& subkey, const std::string& name) = 0;
  // Deletes the watchdog task through the scheduler itself, not its tool.
  virtual Status delete_watchdog_task() = 0;
  // The agents' lines of `doctor` (see agents_commands.h).
  virtual std::vector<std::string> agent_lines() { return {}; }
  // Takes Vesk out of the agents that start this program; a line each.
  virtual std::vector<std::string> disconnect_agents() { return {}; }
};

CareSystem& system_care();

Outcome run_doctor(Context& ctx, CareSystem& system);
Outcome run_rescue(Context& ctx, CareSystem& system);
Outcome run_install(Context& ctx, CareSystem& system);
Outcome run_uninstall(Context& ctx, CareSystem& system);

// The wait limit of the status request that `doctor` makes.
inline constexpr unsigned kDoctorWaitSeconds = 5;

}  // namespace vesk::cli
