// The tray's state and request handling: holds, mode, the rules and watch
// list, the scheduled wake, and the dispatch of every request (see tray.h).
#include "standin/tray.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "settings/catalogue.h"
#include "standin/tray_text.h"

namespace vesk::standin {

namespace {

constexpr uint64_t kFiletimePerMinute = 60ULL * 10000000ULL;
// The longest "for N minutes" taken: ten years for the mode and a wake, a
// week for a hold (as the stay_awake tool tells agents).
constexpr double kMaxMinutes = 10 * 365 * 24 * 60;
constexpr double kMaxHoldMinutes = 7 * 24 * 60;

std::string without_final_dot(std::string text) {
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// A number member as a count of minutes: nullopt when absent or null; an
// error when it is anything but a positive number up to `most`.
Result<std::optional<double>> minutes_member(const Json& args, double most = kMaxMinutes) {
  const Json* m = member(args, "minutes");
  if (m == nullptr || m->is_null()) return std::optional<double>{};
  if (!m->is_number() || !std::isfinite(m->get<double>()) || m->get<double>() <= 0 ||
      m->get<double>() > most) {
    return Error{"minutes must be a number above 0 and at most " +
                 std::to_string(static_cast<int64_t>(most)) + ", not " + shown(*m) + "."};
  }
  return std::optional<double>{m->get<double>()};
}

// A process id member: absent is nullopt; anything but a whole number that
// fits a process id is an error.
Result<std::optional<uint32_t>> pid_member(const Json& args) {
  const Json* p = member(args, "pid");
  if (p == nullptr || p->is_null()) return std::optional<uint32_t>{};
  if (auto n = whole_number(*p); n && *n >= 0 && *n <= UINT32_MAX) {
    return std::optional<uint32_t>{static_cast<uint32_t>(*n)};
  }
  return Error{"pid must be a process id, not " + shown(*p) + "."};
}

// A hold id member: a string, or a whole number taken as its digits.
std::optional<std::string> id_member(const Json& args) {
  const Json* id = member(args, "id");
  if (id == nullptr) return std::nullopt;
  if (id->is_string()) return id->get<std::string>();
  if (id->is_number_integer()) return compact_json(*id);
  return std::nullopt;
}

}  // namespace

Machine real_machine() {
  Machine m;
  m.now = [] { return platform::system_filetime(); };
  m.monotonic_ns = [] { return platform::monotonic_ns(); };
  m.sleep_ms = [](unsigned ms) { platform::sleep_ms(ms); };
  m.process_running = [](uint32_t pid) { return platform::process_start_time(pid).has_value(); };
  m.battery = [] { return standin::battery_status(); };
  m.processes = [] { return standin::process_cpu_times(); };
  m.cpu_count = std::max(1u, std::thread::hardware_concurrency());
  return m;
}

// ---- The tray --------------------------------------------------------------------

Tray::Tray(std::string settings_path, Machine machine)
    : path_(std::move(settings_path)), machine_(std::move(machine)) {
  if (auto text = platform::read_file(path_)) stored_ = read_stored(*text);
  tidy();
}

void Tray::tidy() {
  uint64_t now = machine_.now();
  std::erase_if(holds_, [&](const Hold& h) {
    return (h.until && now >= *h.until) || (h.pid && !machine_.process_running(*h.pid));
  });
  if (stored_.mode_until && now >= *stored_.mode_until) {
    Stored next = stored_;
    next.settings.mode = Mode::kAuto;
    next.mode_until.reset();
    if (!commit(next)) stored_ = std::move(next);  // not saved; the file says so on restart
  }
}

std::string Tray::sentence() const {
  if (stored_.settings.mode == Mode::kAlways) {
    if (!stored_.mode_until) return "Keeping the laptop awake.";
    uint64_t now = machine_.now();
    uint64_t left = *stored_.mode_until > now ? *stored_.mode_until - now : 0;
    uint64_t minutes = (left + kFiletimePerMinute - 1) / kFiletimePerMinute;
    return "Keeping the laptop awake for " + std::to_string(std::max<uint64_t>(minutes, 1)) +
           " more min, then back to auto.";
  }
  if (holds_.size() == 1) return "Keeping the laptop awake: " + holds_[0].reason + ".";
  if (holds_.size() > 1) {
    return "Keeping the laptop awake for " + std::to_string(holds_.size()) + " holds.";
  }
  if (stored_.settings.mode == Mode::kOff) return "Not keeping the laptop awake on its own.";
  return "Keeping awake while an agent works.";
}

Json Tray::refuse(const std::string& why) {
  return {{"ok", false}, {"error", one_line(why)}, {"status", one_line(sentence())}};
}

Json Tray::done(const std::string& status, Json extra) {
  extra["ok"] = true;
  extra["status"] = one_line(status);
  return extra;
}

Json Tray::handle(std::string_view kind, const Json& args) {
  tidy();
  if (kind == "status") return status();
  if (kind == "mode") return set_mode(args);
  if (kind == "hold") return hold(args);
  if (kind == "release" || kind == "release_own" || kind == "release_pid") {
    return release(kind, args);
  }
  if (kind == "wake_at") return wake_at(args);
  if (kind == "set") return set(args);
  if (kind == "preset") return preset(args);
  if (kind == "rule") return rule(args);
  if (kind == "watch") return watch(args);
  if (kind == "schema") return schema();
  if (kind == "config") return config();
  if (kind == "power") return power();
  if (kind == "energy") return energy();
  if (kind == "sleep_now") return done("Letting the laptop sleep now.");
  if (kind == "quit") return done("Quitting.");
  return refuse("Vesk doesn't know the request \"" + std::string(kind) + "\".");
}

Json Tray::set_mode(const Json& args) {
  // Judged as a "set" of the mode setting is.
  const Json* value = member(args, "mode");
  auto wanted = setting_text(*settings::find_setting("mode"), value ? *value : Json(nullptr));
  if (!wanted) return refuse(wanted.message());
  const std::string* mode = &*wanted;
  auto minutes = minutes_member(args);
  if (!minutes) return refuse(minutes.message());
  if (*minutes && *mode != "always") return refuse("Only always takes minutes.");
  Stored next = stored_;
  store_setting(next.settings, "mode", *mode);
  next.mode_until.reset();
  if (*minutes) {
    next.mode_until = machine_.now() + static_cast<uint64_t>(**minutes * kFiletimePerMinute);
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  if (*minutes) {
    return done("Keeping the laptop awake for " + number_text(**minutes) + " min.",
                {{"mode", *mode}});
  }
  return done(sentence(), {{"mode", *mode}});
}

Json Tray::hold(const Json& args) {
  auto minutes = minutes_member(args, kMaxHoldMinutes);
  if (!minutes) return refuse(minutes.message());
  auto pid = pid_member(args);
  if (!pid) return refuse(pid.message());
  if (*pid && !machine_.process_running(**pid)) {
    return refuse("Process " + std::to_string(**pid) + " isn't running.");
  }
  Hold hold;
  hold.id = std::to_string(next_hold_++);
  hold.pid = *pid;
  const std::string* reason = string_member(args, "reason");
  hold.reason = reason ? without_final_dot(one_line(std::string(trim(*reason)))) : std::string();
  if (hold.reason.empty()) hold.reason = "held by request";
  if (*minutes) {
    hold.until = machine_.now() + static_cast<uint64_t>(**minutes * kFiletimePerMinute);
  }
  holds_.push_back(hold);
  std::string how = *minutes ? "for " + number_text(**minutes) + " min" : "until released";
  return done("Keeping the laptop awake " + how + ": " + hold.reason + ".",
              {{"hold", {{"id", hold.id}}}});
}

Json Tray::release(std::string_view kind, const Json& args) {
  auto pid = pid_member(args);
  if (!pid) return refuse(pid.message());
  std::optional<std::string> id = id_member(args);
  const Json* id_value = member(args, "id");
  bool id_given = id_value != nullptr && !id_value->is_null();
  if (id_given && !id) return refuse("id must be a hold id or null, not " + shown(*id_value) + ".");

  auto remove = [&](auto&& which) {
    size_t before = holds_.size();
    std::erase_if(holds_, which);
    return before - holds_.size();
  };

  if (kind == "release_pid") {
    if (!*pid) return refuse("release_pid needs the pid whose holds end.");
    size_t n = remove([&](const Hold& h) { return h.pid == *pid; });
    return done(sentence(), {{"released", n}});
  }
  if (kind == "release_own") {
    if (!id || !*pid) return refuse("release_own needs the hold's id and the pid that owns it.");
    auto it = std::find_if(holds_.begin(), holds_.end(), [&](const Hold& h) { return h.id == *id; });
    if (it == holds_.end()) return done("No hold " + *id + "; nothing released.", {{"released", 0}});
    if (it->pid != *pid) {
      return done("Hold " + *id + " belongs to another process; nothing released.",
                  {{"released", 0}});
    }
    holds_.erase(it);
    return done(sentence(), {{"released", 1}});
  }
  if (!id) {
    size_t n = remove([](const Hold&) { return true; });
    return done(n == 0 ? "There were no holds. " + sentence() : sentence(), {{"released", n}});
  }
  auto it = std::find_if(holds_.begin(), holds_.end(), [&](const Hold& h) { return h.id == *id; });
  if (it == holds_.end()) return refuse("No hold with id \"" + *id + "\".");
  holds_.erase(it);
  return done(sentence(), {{"released", 1}});
}

Json Tray::wake_at(const Json& args) {
  const Json* time = member(args, "time");
  if (time == nullptr || !time->is_string()) {
    return refuse("A wake time is needed: HH:MM, or off.");
  }
  std::string typed(trim(time->get<std::string>()));
  Stored next = stored_;
  std::string status;
  if (lower(typed) == "off") {
    status = stored_.wake ? "Cancelled the wake at " + stored_.wake->time + "."
                          : "No wake was scheduled.";
    next.wake.reset();
  } else {
    auto at = clock_time(typed);
    if (!at) {
      return refuse(shown(*time) + " isn't a time: use HH:MM from 00:00 to 23:59, or off.");
    }
    auto minutes = minutes_member(args);
    if (!minutes) return refuse(minutes.message());
    next.wake = WakeAt{*at, *minutes};
    status = "Will wake the laptop at " + *at;
    if (*minutes) status += " and keep it awake for " + number_text(**minutes) + " min";
    status += ".";
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  Json wake = stored_.wake ? Json(stored_.wake->time) : Json(nullptr);
  return done(status, {{"wake_at", wake}});
}

Json Tray::rule(const Json& args) {
  const std::string* app = string_member(args, "app");
  if (app == nullptr || app_key(*app).empty()) return refuse("A rule needs an app name.");
  const std::string* rule = string_member(args, "rule");
  if (rule == nullptr) return refuse("A rule is needed: leave, slow, pause or default.");
  std::string r = lower(trim(*rule));
  if (std::find(settings::kRuleActions.begin(), settings::kRuleActions.end(), r) ==
      settings::kRuleActions.end()) {
    return refuse("A rule is leave, slow, pause or default, not \"" + *rule + "\".");
  }
  std::string name = one_line(std::string(trim(*app)));
  Stored next = stored_;
  if (r == "default") {
    next.rules.erase(app_key(name));
  } else {
    next.rules[app_key(name)] = r;
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  std::string effect(while_closed(name));
  std::string status = r == "default"
                           ? name + " follows the preset again (" + effect +
                                 " while the lid is closed)."
                           : name + " will be " + effect + " while the lid is closed.";
  return done(status, {{"app", name}, {"rule", r}});
}

Json Tray::watch(const Json& args) {
  const std::string* app = string_member(args, "app");
  if (app == nullptr || app_key(*app).empty()) return refuse("Watching needs an app name.");
  const Json* remove_value = member(args, "remove");
  if (remove_value != nullptr && !remove_value->is_boolean() && !remove_value->is_null()) {
    return refuse("remove is true or false, not " + shown(*remove_value) + ".");
  }
  bool remove = remove_value != nullptr && remove_value->is_boolean() && remove_value->get<bool>();
  std::string name = one_line(std::string(trim(*app)));
  std::string key = app_key(name);
  Stored next = stored_;
  auto it = std::find_if(next.watch.begin(), next.watch.end(),
                         [&](const std::string& w) { return app_key(w) == key; });
  std::string status;
  if (remove) {
    if (it == next.watch.end()) return refuse(name + " isn't being watched.");
    next.watch.erase(it);
    status = "No longer watching " + name + ".";
  } else if (it != next.watch.end()) {
    return done("Already watching " + name + ".", {{"app", name}});
  } else {
    next.watch.push_back(name);
    status = "Watching " + name + ": it keeps the laptop awake while it works.";
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  return done(status, {{"app", name}});
}

}  // namespace vesk::standin
