#include "cli/handlers.h"
#include "mcp/transport.h"

namespace vesk::cli {

// `vesk mcp`: serves agents over standard input and output until the input
// ends. Further arguments are ignored; nothing is written through ctx.io.
Outcome cmd_mcp(Context& ctx, const Args&) { return mcp::run_mcp_server(ctx.request); }

}  // namespace vesk::cli
