// The file-drop exchange with the tray app.
//
// A request is written to requests/<id>.tmp, renamed to requests/<id>.json
// (so a .json request is always complete), and answered by the tray app in
// replies/<id>.json, which is read as soon as it parses and then deleted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/json.h"
#include "base/result.h"

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

// Sends one request and waits up to `wait_seconds` whole seconds for the
// reply. Returns the reply value unchanged, or a one-line message.
Result<Json> app_request(const std::string& app_folder, std::string_view kind,
                         Json payload, unsigned wait_seconds);

// When the tray app's heartbeat is fresh, asks it to "quit" and waits up to
// about 5 seconds for the process named in `alive` to end. Never fails.
void quit_tray_app(const std::string& app_folder);

// Writes unix_now() in decimal digits to `path`; failures are ignored.
void write_unix_time(const std::string& path);

}  // namespace vesk::ipc
