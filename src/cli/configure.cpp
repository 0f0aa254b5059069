// Presets, per-app rules, watched apps, settings and the two reports.
#include "base/json.h"
#include "cli/ask.h"
#include "cli/handlers.h"
#include "cli/renderers.h"

namespace vesk::cli {

Outcome cmd_preset(Context& ctx, const Args& args) {
  return ask_app(ctx, "preset", {{"preset", args[0]}});
}

Outcome cmd_rule(Context& ctx, const Args& args) {
  return ask_app(ctx, "rule", {{"app", args[0]}, {"rule", args[1]}});
}

Outcome cmd_watch(Context& ctx, const Args& args) {
  std::string app;
  bool remove = false;
  for (const std::string& arg : args) {
    if (arg == "--remove") {
      remove = true;
    } else if (app.empty() && arg.rfind("--", 0) != 0) {
      app = arg;
    }
  }
  return ask_app(ctx, "watch", {{"app", app}, {"remove", remove}});
}

Outcome cmd_set(Context& ctx, const Args& args) {
  // Both as typed: judging the value is the tray app's business.
  return ask_app(ctx, "set", {{"key", args[0]}, {"value", args.size() > 1 ? args[1] : ""}});
}

Outcome cmd_settings(Context& ctx, const Args&) {
  return ask_app_report(ctx, "schema", render_settings);
}

Outcome cmd_power(Context& ctx, const Args&) {
  return ask_app_report(ctx, "power", render_power);
}

Outcome cmd_energy(Context& ctx, const Args&) {
  return ask_app(ctx, "energy", Json::object(), render_energy);
}

Outcome cmd_config(Context& ctx, const Args&) {
  return ask_app(ctx, "config", Json::object(), render_config);
}

}  // namespace vesk::cli
