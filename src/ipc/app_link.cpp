#include "ipc/app_link.h"

#include <algorithm>
#include <cstdio>

#include "base/json.h"
#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::ipc {

namespace {

std::string hex(uint64_t value) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(value));
  return buf;
}

class SystemWaits final : public ReplyWaits {
 public:
  uint64_t now_ns() override { return platform::monotonic_ns(); }
  std::unique_ptr<platform::DirWatch> open_watch(const std::string& folder) override {
    return platform::DirWatch::open(folder);
  }
  void wait(platform::DirWatch* watch, unsigned ms) override {
    if (watch) {
      watch->wait(ms);
    } else {
      platform::sleep_ms(ms);
    }
  }
};

}  // namespace

ReplyWaits& system_waits() {
  static SystemWaits waits;
  return waits;
}

std::string request_id(uint64_t filetime, uint32_t pid) {
  uint64_t ns = filetime > platform::kUnixEpochFiletime
                    ? (filetime - platform::kUnixEpochFiletime) * 100
                    : 0;
  return hex(ns) + "-" + hex(pid);
}

std::string request_document(std::string_view kind, const Json& payload) {
  Json doc = Json::object();
  doc["args"] = payload;
  doc["cmd"] = std::string(kind);
  return compact_json(doc);
}

Result<Json> app_request(const std::string& app_folder, std::string_view kind,
                         Json payload, unsigned wait_seconds, TimeUnit unit,
                         ReplyWaits& waits) {
  using platform::join_path;
  if (!app_alive(app_folder)) return Error{std::string(kNotRunning)};

  std::string requests = join_path(app_folder, "requests");
  std::string replies = join_path(app_folder, "replies");
  // A folder that can't be made fails the write or the wait below, which say so.
  (void)platform::create_dirs(requests);
  (void)platform::create_dirs(replies);

  std::string id = request_id(platform::system_filetime(), platform::current_pid());
  std::string text = request_document(kind, payload);
  std::string tmp_path = join_path(requests, id + ".tmp");
  std::string request_path = join_path(requests, id + ".json");
  std::string reply_path = join_path(replies, id + ".json");

  if (auto written = platform::write_file(tmp_path, text); !written) {
    // A part may have been written; the write's failure is the one to tell.
    (void)platform::remove_file(tmp_path);
    return Error{"couldn't write the request: " + written.message()};
  }
  // Watch before sending so that no reply can slip in unseen. Without a
  // watch the wait below is a plain 40 ms poll.
  std::unique_ptr<platform::DirWatch> watch = waits.open_watch(replies);
  if (auto sent = platform::rename_replace(tmp_path, request_path); !sent) {
    // Unsent, it is no request to the tray app; the rename's failure is the one to tell.
    (void)platform::remove_file(tmp_path);
    return Error{"couldn't send the request: " + sent.message()};
  }

  const uint64_t start = waits.now_ns();
  for (;;) {
    uint64_t now = waits.now_ns();
    uint64_t elapsed_seconds = now > start ? (now - start) / (unit.ms * 1000000ULL) : 0;
    if (elapsed_seconds >= wait_seconds) {
      // Withdrawn if it can be; the caller is told there was no answer either way.
      (void)platform::remove_file(request_path);
      return Error{std::string(kNoAnswer)};
    }
    if (auto reply_text = platform::read_file(reply_path)) {
      if (std::optional<Json> reply = parse_json(*reply_text)) {
        // The reply is in hand; a file left over is never read again (ids are unique).
        (void)platform::remove_file(reply_path);
        return std::move(*reply);
      }
    }
    waits.wait(watch.get(), std::min(kPollMs, unit.ms));
  }
}

Status write_unix_time(const std::string& path) {
  return platform::write_file(path, std::to_string(unix_now()));
}

bool quit_tray_app(const std::string& app_folder) {
  if (!app_alive(app_folder)) return true;
  // Whether it answers or not, the wait below is what tells that it ended.
  (void)app_request(app_folder, "quit", Json::object(), 5);
  for (int poll = 0; poll < 50; ++poll) {
    if (!app_process_alive(app_folder)) return true;
    platform::sleep_ms(100);
  }
  return !app_process_alive(app_folder);
}

}  // namespace vesk::ipc
