#include "cli/ask.h"

#include "base/json.h"

namespace vesk::cli {

std::string render_generic(const Json& reply) {
  const std::string* status = string_member(reply, "status");
  return (status ? *status : std::string("Done")) + "\n";
}

namespace {

// Pretty JSON and a line break; only the line break when the value cannot
// be written out.
std::string pretty_line(const Json& reply) {
  try {
    return pretty_json(reply) + "\n";
  } catch (...) {
    return "\n";
  }
}

}  // namespace

Outcome ask_app(Context& ctx, std::string_view kind, Json payload, Renderer render) {
  TRY_ASSIGN(Json reply, ctx.request(kind, std::move(payload), kAskWaitSeconds));
  if (ctx.json) {
    ctx.io.out(pretty_line(reply));
  } else if (const std::string* error = string_member(reply, "error")) {
    ctx.io.out(*error + "\n");
  } else {
    ctx.io.out(render(reply));
  }
  return bool_member(reply, "ok") == false ? kExitRefused : kExitDone;
}

Outcome ask_app_report(Context& ctx, std::string_view kind, Renderer render) {
  TRY_ASSIGN(Json reply, ctx.request(kind, Json::object(), kAskWaitSeconds));
  ctx.io.out(ctx.json ? pretty_line(reply) : render(reply));
  return kExitDone;
}

}  // namespace vesk::cli
