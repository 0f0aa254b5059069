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

// What a request waits with: a monotonic clock, the change notification on
// the replies folder, and the pause between two looks at the reply. The
// program's are the system's (system_waits()); tests hand in their own, with
// a watch that fails or a clock that moves only while the request waits.
class ReplyWaits {
 public:
  virtual ~ReplyWaits() = default;
  // Nanoseconds of a clock that never goes back.
  virtual uint64_t now_ns() = 0;
  // The change notification on `folder`; nullptr when there is none, and
  // the request then polls every kPollMs.
  virtual std::unique_ptr<platform::DirWatch> open_watch(const std::string& folder) = 0;
  // Waits `ms` milliseconds, or less when `watch` (if any) sees a change.
  virtual void wait(platform::DirWatch* watch, unsigned ms) = 0;
};

// The system's: platform::monotonic_ns, platform::DirWatch::open, and the
// watch's wait (or a sleep without one).
ReplyWaits& system_waits();

// Sends one request and waits up to `wait_seconds` whole seconds (of `unit`)
// for the reply. Returns the reply value unchanged, or a one-line message.
Result<Json> app_request(const std::string& app_folder, std::string_view kind,
                         Json payload, unsigned wait_seconds, TimeUnit unit = {},
                         ReplyWaits& waits = system_waits());

// When the tray app's heartbeat is fresh, asks it to "quit" and waits up to
// about 5 seconds for the process named in `alive` to end. False when it
// was asked and still runs after the wait.
bool quit_tray_app(const std::string& app_folder);

// Writes unix_now() in decimal digits to `path`; the system's reason when it
// can't.
Status write_unix_time(const std::string& path);

}  // namespace vesk::ipc
