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

Outcome cmd_hold(Context& ctx, const Args& args) {
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
