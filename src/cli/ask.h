// The request path that most commands share: one request to the tray app,
// then the reply as pretty JSON (--json), its "error" text, or a rendering.
#pragma once

#include <string>
#include <string_view>

#include "cli/context.h"

namespace vesk::cli {

// Renders a reply (without "error") as the command's text.
using Renderer = std::string (*)(const Json& reply);

// The reply's "status" string and a line break, or "Done" and a line break.
std::string render_generic(const Json& reply);

// Wait limit of interactive requests.
inline constexpr unsigned kAskWaitSeconds = 10;

// Sends kind/payload; prints the reply as pretty JSON with --json, else its
// "error" string, else `render(reply)`. The exit status is 1 when the
// reply's "ok" is false, else 0; a link failure is the handler's error.
Outcome ask_app(Context& ctx, std::string_view kind, Json payload,
                Renderer render = render_generic);

// The variant of `settings` and `power`: no "error" text, exit status 0
// after any reply.
Outcome ask_app_report(Context& ctx, std::string_view kind, Renderer render);

}  // namespace vesk::cli
