// What the tray app is doing, keep-awake modes, holds, wake-ups and sleep.
#include <string>

#include "base/json.h"
#include "base/text.h"
#include "cli/ask.h"
#include "cli/handlers.h"
#include "cli/renderers.h"
#include "cli/time_args.h"
#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/process_tree.h"

namespace vesk::cli {

Json hold_payload(const Args& args) {
  Json minutes = nullptr;
  size_t first_reason = 0;
  if (!args.empty()) {
    if (std::optional<double> n = read_number(args[0])) {
      minutes = number_or_null(*n);
      first_reason = 1;
    }
  }
  std::string reason;
  for (size_t i = first_reason; i < args.size(); ++i) {
    if (i > first_reason) reason += ' ';
    reason += args[i];
  }
  if (blank(reason)) reason = "Held from the command line";
  return {{"minutes", minutes}, {"reason", reason}};
}

Outcome cmd_status(Context& ctx, const Args&) {
  return ask_app(ctx, "status", Json::object(), render_status);
}

Outcome cmd_on(Context& ctx, const Args& args) {
  int64_t now = static_cast<int64_t>(ipc::unix_now());
  TRY_ASSIGN(std::optional<double> minutes,
             parse_on_arguments(args, now, [](int64_t t) { return platform::local_offset(t); }));
  return ask_app(ctx, "mode",
                 {{"mode", "always"}, {"minutes", minutes ? number_or_null(*minutes) : Json()}});
}

Outcome cmd_auto(Context& ctx, const Args&) {
  return ask_app(ctx, "mode", Json{{"mode", "auto"}});
}

Outcome cmd_off(Context& ctx, const Args&) {
  return ask_app(ctx, "mode", Json{{"mode", "off"}});
}

// `hold --pid <pid> [minutes] [reason]`: a hold bound to a process, which
// the tray app ends when the process exits.
Result<Json> pid_hold_payload(const Args& args) {
  if (args.size() < 2) return Error{"usage: vesk hold --pid <pid> [minutes] [reason…]"};
  std::optional<double> number = read_number(args[1]);
  if (!number || *number < 1 || *number > UINT32_MAX || *number != static_cast<uint32_t>(*number)) {
    return Error{"\"" + args[1] + "\" isn't a process id"};
  }
  const auto pid = static_cast<uint32_t>(*number);
  if (!platform::process_start_time(pid)) return Error{"no process " + args[1] + " is running"};
  Json payload = hold_payload(Args(args.begin() + 2, args.end()));
  if (payload["reason"] == "Held from the command line") {
    auto link = platform::process_link(pid);
    std::string name = link && !link->name.empty() ? link->name : "process " + args[1];
    payload["reason"] = "While " + name + " runs";
  }
  payload["pid"] = pid;
  return payload;
}

Outcome cmd_hold(Context& ctx, const Args& args) {
  if (!args.empty() && args[0] == "--pid") {
    TRY_ASSIGN(Json payload, pid_hold_payload(args));
    return ask_app(ctx, "hold", std::move(payload), render_hold);
  }
  return ask_app(ctx, "hold", hold_payload(args), render_hold);
}

Outcome cmd_release(Context& ctx, const Args& args) {
  return ask_app(ctx, "release", {{"id", args.empty() ? Json() : Json(args[0])}},
                 render_release);
}

Outcome cmd_wake_at(Context& ctx, const Args& args) {
  return ask_app(ctx, "wake_at",
                 {{"time", args[0]},
                  {"minutes", args.size() > 1 ? number_or_null(args[1]) : Json()}});
}

Outcome cmd_check_in(Context& ctx, const Args& args) {
  return ask_app(ctx, "set", {{"key", "check_in_minutes"}, {"value", number_or_null(args[0])}});
}

Outcome cmd_sleep(Context& ctx, const Args&) {
  return ask_app(ctx, "sleep_now", Json::object());
}

}  // namespace vesk::cli
