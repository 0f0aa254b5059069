// The file-drop exchange with the tray app.
//
// A request is written to requests/<id>.tmp, renamed to requests/<id>.json
// (so a .json request is always complete), and answered by the tray app in
// replies/<id>.json, which is read as soon as it parses and then deleted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/json_fwd.h"
#include "base/result.h"
#include "platform/dir_watch.h"

namespace vesk::ipc {

inline constexpr std::string_view kNotRunning =
    "Vesk isn't running. Start the Vesk app first (it lives in the system tray).";
inline constexpr std::string_view kNoAnswer =
    "Vesk didn't answer in time. It may be busy or stuck; try again, or restart the app.";

// How often the reply file is read while no change notification arrives.
inline constexpr unsigned kPollMs = 40;

// "<T>-<P>": T the FILETIME clock as nanoseconds since 1970 (0 before), P the
// process id, both lower-case hexadecimal without leading zeros.
std::string request_id(uint64_t filetime, uint32_t pid);

// {"args":payload,"cmd":kind}, compact.
std::string request_document(std::string_view kind, const Json& payload);

// The length of the seconds that app_request's limit counts: a real second,
// or a shorter one that lets tests run the time-out paths in milliseconds.
struct TimeUnit {
  unsigned ms = 1000;  // at least 1
};

// The change notification a request waits on: platform::DirWatch::open,
// unless a test has put another in place (one that fails, say). Returns the
// one before.
using OpenWatch = std::unique_ptr<platform::DirWatch> (*)(const std::string& folder);
OpenWatch exchange_open_watch(OpenWatch open);

// How many requests of this process found no change notification to wait on
// and polled every kPollMs instead.
uint64_t unwatched_requests();

// Sends one request and waits up to `wait_seconds` whole seconds (of `unit`)
// for the reply. Returns the reply value unchanged, or a one-line message.
Result<Json> app_request(const std::string& app_folder, std::string_view kind,
                         Json payload, unsigned wait_seconds, TimeUnit unit = {});

// When the tray app's heartbeat is fresh, asks it to "quit" and waits up to
// about 5 seconds for the process named in `alive` to end. False when it
// was asked and still runs after the wait.
bool quit_tray_app(const std::string& app_folder);

// Writes unix_now() in decimal digits to `path`; the system's reason when it
// can't.
Status write_unix_time(const std::string& path);

}  // namespace vesk::ipc
