// A stand-in for the tray app: it plays the tray app's side of the app
// folder exchange, for tests and for trying the program without the real
// app. It keeps the heartbeat file fresh, takes complete request files
// (never .tmp), answers each with a JSON object carrying "ok" and a
// one-line "status" (see tray.h for what it keeps and answers: mode, holds,
// settings in `settings.json` in the app folder, power and CPU readings) and
// stops on "quit".
//
// Tests run it in-process and script it: a reply per request kind, no
// reply, replies written in two parts; it records every request. A test
// that must know when the tray app answers runs its turns itself
// (answer_waiting) instead of starting it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/json.h"
#include "standin/tray.h"

namespace vesk::standin {

struct Request {
  std::string id;    // the file name without ".json"
  std::string text;  // the file's bytes
  std::string kind;  // "cmd"
  Json args;         // "args"
};

// A scripted answer: the reply to write, or nullopt to take the request and
// never answer it.
using Script = std::function<std::optional<Json>(const Request&)>;

class StandIn {
 public:
  explicit StandIn(std::string app_folder);
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // Writes the heartbeat and serves requests on a thread of its own.
  void start();
  // Stops serving (also the heartbeat). Called by the destructor.
  void stop();
  // Serves on the calling thread until "quit" arrives or stop() is called.
  void serve();
  // One turn of serving, on the calling thread: finishes the replies begun
  // in two parts, then takes and answers the requests waiting now.
  void answer_waiting();

  // Scripting; safe to call while serving.
  void script(const std::string& kind, Script script);
  void reply_in_two_parts(bool on);       // half, the rest on the next turn
  void leave_requests(bool on);           // take no requests at all
  void keep_heartbeat(bool on);           // stop refreshing `alive`

  // Every request taken so far, in order.
  std::vector<Request> requests() const;
  // The holds in force (as of the last request or idle turn).
  std::vector<Hold> holds() const;
  // The settings file the stand-in keeps in its folder.
  std::string settings_path() const;
  const std::string& folder() const { return folder_; }

  // Writes `alive` now: "<unix time> <pid> <creation time>".
  void write_heartbeat();

 private:
  void serve_pending();
  void answer(const Request& request);
  Json built_in_reply(const Request& request);

  std::string folder_;
  std::string requests_dir_;
  std::string replies_dir_;

  mutable std::mutex mu_;
  std::map<std::string, Script> scripts_;
  std::vector<Request> taken_;
  bool two_parts_ = false;
  // Replies written in part: path -> the whole text, written on the next turn.
  std::map<std::string, std::string> unfinished_;
  bool leave_ = false;
  bool heartbeat_ = true;

  // Tray state, apart from the scripting state: answering "energy" takes a
  // while and need not hold up script() or requests().
  mutable std::mutex tray_mu_;
  Tray tray_;

  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace vesk::standin
