// What the tray app is doing, and the keep-awake modes.
#include "cli/ask.h"
#include "cli/handlers.h"

namespace vesk::cli {

Outcome cmd_status(Context& ctx, const Args&) {
  return ask_app(ctx, "status", Json::object());
}

Outcome cmd_auto(Context& ctx, const Args&) {
  return ask_app(ctx, "mode", Json{{"mode", "auto"}});
}

Outcome cmd_off(Context& ctx, const Args&) {
  return ask_app(ctx, "mode", Json{{"mode", "off"}});
}

Outcome cmd_sleep(Context& ctx, const Args&) {
  return ask_app(ctx, "sleep_now", Json::object());
}

}  // namespace vesk::cli
