#include "standin/standin.h"

#include <algorithm>

#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/dir_watch.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::standin {

using platform::join_path;

namespace {

constexpr unsigned kHeartbeatMs = 2000;
constexpr unsigned kIdleWaitMs = 50;

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

StandIn::StandIn(std::string app_folder)
    : folder_(std::move(app_folder)),
      requests_dir_(join_path(folder_, "requests")),
      replies_dir_(join_path(folder_, "replies")),
      tray_(join_path(folder_, "settings.json")) {
  (void)platform::create_dirs(requests_dir_);
  (void)platform::create_dirs(replies_dir_);
}

StandIn::~StandIn() { stop(); }

void StandIn::start() {
  stopping_ = false;
  write_heartbeat();
  thread_ = std::thread([this] { serve(); });
}

void StandIn::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void StandIn::serve() {
  write_heartbeat();
  std::unique_ptr<platform::DirWatch> watch = platform::DirWatch::open(requests_dir_);
  uint64_t last_beat = platform::monotonic_ns();
  while (!stopping_) {
    answer_waiting();
    if (stopping_) break;
    {
      std::lock_guard lock(tray_mu_);
      tray_.tidy();
    }
    if (platform::monotonic_ns() - last_beat >= kHeartbeatMs * 1000000ULL) {
      write_heartbeat();
      last_beat = platform::monotonic_ns();
    }
    if (watch) {
      watch->wait(kIdleWaitMs);
    } else {
      platform::sleep_ms(kIdleWaitMs);
    }
  }
}

void StandIn::write_heartbeat() {
  {
    std::lock_guard lock(mu_);
    if (!heartbeat_) return;
  }
  uint32_t pid = platform::current_pid();
  uint64_t created = platform::process_start_time(pid).value_or(0);
  std::string text = std::to_string(ipc::unix_now()) + " " + std::to_string(pid) + " " +
                     std::to_string(created) + "\n";
  std::string path = join_path(folder_, "alive");
  std::string tmp = path + ".standin-tmp";
  if (platform::write_file(tmp, text)) (void)platform::rename_replace(tmp, path);
}

void StandIn::answer_waiting() {
  std::map<std::string, std::string> unfinished;
  {
    std::lock_guard lock(mu_);
    unfinished.swap(unfinished_);
  }
  for (const auto& [path, text] : unfinished) (void)platform::write_file(path, text);
  serve_pending();
}

void StandIn::serve_pending() {
  {
    std::lock_guard lock(mu_);
    if (leave_) return;
  }
  auto names = platform::list_dir(requests_dir_);
  if (!names) return;
  // Oldest first: ids begin with the sending time.
  std::sort(names->begin(), names->end());
  for (const std::string& name : *names) {
    if (stopping_) return;
    if (!ends_with(name, ".json")) continue;  // .tmp files are unfinished
    std::string path = join_path(requests_dir_, name);
    auto text = platform::read_file(path);
    if (!text) continue;
    // Taking a request is deleting it: one that cannot be deleted yet (a
    // Windows file still held open) is taken on a later pass, and never
    // answered twice.
    if (!platform::remove_file(path)) continue;
    Request request;
    request.id = name.substr(0, name.size() - 5);
    request.text = *text;
    if (auto doc = parse_json(*text)) {
      if (const std::string* kind = string_member(*doc, "cmd")) request.kind = *kind;
      if (const Json* args = member(*doc, "args")) request.args = *args;
    }
    answer(request);
  }
}

void StandIn::answer(const Request& request) {
  std::optional<Json> reply;
  Script scripted;
  bool two_parts = false;
  {
    std::lock_guard lock(mu_);
    taken_.push_back(request);
    two_parts = two_parts_;
    if (auto it = scripts_.find(request.kind); it != scripts_.end()) scripted = it->second;
  }
  reply = scripted ? scripted(request) : std::optional<Json>(built_in_reply(request));
  if (!reply) return;  // taken, never answered
  std::string text = compact_json(*reply);
  std::string path = join_path(replies_dir_, request.id + ".json");
  if (two_parts) {
    // The rest is written in place on the next turn, so that a reader can
    // catch the first half alone.
    (void)platform::write_file(path, text.substr(0, text.size() / 2));
    std::lock_guard lock(mu_);
    unfinished_[path] = text;
  } else {
    std::string tmp = join_path(replies_dir_, request.id + ".part");
    if (platform::write_file(tmp, text)) (void)platform::rename_replace(tmp, path);
  }
  if (request.kind == "quit") stopping_ = true;
}

Json StandIn::built_in_reply(const Request& request) {
  std::lock_guard lock(tray_mu_);
  return tray_.handle(request.kind, request.args);
}

void StandIn::script(const std::string& kind, Script script) {
  std::lock_guard lock(mu_);
  scripts_[kind] = std::move(script);
}

void StandIn::reply_in_two_parts(bool on) {
  std::lock_guard lock(mu_);
  two_parts_ = on;
}

void StandIn::leave_requests(bool on) {
  std::lock_guard lock(mu_);
  leave_ = on;
}

void StandIn::keep_heartbeat(bool on) {
  std::lock_guard lock(mu_);
  heartbeat_ = on;
}

std::vector<Request> StandIn::requests() const {
  std::lock_guard lock(mu_);
  return taken_;
}

std::vector<Hold> StandIn::holds() const {
  std::lock_guard lock(tray_mu_);
  return tray_.holds();
}

std::string StandIn::settings_path() const { return tray_.settings_path(); }

}  // namespace vesk::standin
