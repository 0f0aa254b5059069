// Is the tray app running? Read from the `alive` file that it keeps in the
// app folder: unsigned decimal words separated by white space, the heartbeat
// (Unix seconds), its process id and its process creation time (FILETIME).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::ipc {

// A heartbeat younger than this many seconds means the tray app runs.
inline constexpr uint64_t kFreshSeconds = 15;

// The current UTC time in whole seconds since 1970 (0 before 1970).
uint64_t unix_now();

// One word of the `alive` file: an optional '+', then ASCII digits only,
// fitting in 64 bits.
std::optional<uint64_t> read_alive_number(std::string_view word);

// Seconds between the heartbeat (the first word of `text`) and `now`, 0 when
// the heartbeat lies ahead; nullopt when the text is not UTF-8 or its first
// word does not read.
std::optional<uint64_t> heartbeat_age_of(std::string_view text, uint64_t now);

// The process identity in `text`: the words that read as numbers must be
// exactly three, the process id at most 2^32-1 and the creation time not 0.
struct AppIdentity {
  uint32_t pid;
  uint64_t creation_time;
};
std::optional<AppIdentity> alive_identity(std::string_view text);

// heartbeat_age_of the file at `path` at the current time.
std::optional<uint64_t> heartbeat_age(const std::string& path);

// The heartbeat in the folder's `alive` file is fresh, and the process it
// names (if it names one) has not ended: a tray app that crashed is seen at
// once, not after its heartbeat has aged.
bool app_alive(const std::string& app_folder);

// The process named in the folder's `alive` file is still that running
// process (same id, same creation time).
bool app_process_alive(const std::string& app_folder);

}  // namespace vesk::ipc
