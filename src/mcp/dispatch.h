// JSON-RPC 2.0 dispatch for `vesk mcp`: one received JSON text in, one
// response (or none) out. Knows nothing of streams; transport.h frames the
// lines.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "base/json_fwd.h"
#include "base/result.h"
#include "base/version.h"
#include "ipc/request_fn.h"

namespace vesk::mcp {

using ipc::RequestFn;

// The protocol versions this server serves. The stateless one: every
// request declares it in params._meta, with no handshake. The handshake
// ones: "initialize" picks one for the whole process.
inline constexpr std::string_view kStatelessVersion = "2026-07-28";
inline constexpr std::array<std::string_view, 4> kHandshakeVersions = {
    "2025-11-25", "2025-06-18", "2025-03-26", "2024-11-05"};
// "initialize" answers this to a version string it does not serve...
inline constexpr std::string_view kNewestHandshakeVersion = "2025-11-25";
// ...and this when the request names no version string at all.
inline constexpr std::string_view kDefaultProtocolVersion = "2025-06-18";

inline constexpr std::string_view kServerName = "vesk";
inline constexpr std::string_view kServerVersion = kVersion;
inline constexpr std::string_view kInstructions =
    "Vesk keeps this laptop awake with the lid closed while you work. Call stay_awake before "
    "long unattended work and release when done; check status for battery and hours left. To "
    "tune it: settings lists every setting, power shows what's using power and which setting "
    "fixes it. If asked to set Vesk up, follow setup_prompt.";

// The reserved params._meta members of a stateless request, and of its result.
inline constexpr std::string_view kProtocolVersionKey = "io.modelcontextprotocol/protocolVersion";
inline constexpr std::string_view kClientCapabilitiesKey =
    "io.modelcontextprotocol/clientCapabilities";
inline constexpr std::string_view kServerInfoKey = "io.modelcontextprotocol/serverInfo";

// How long a client may keep the stateless "server/discover" and
// "tools/list" results ("ttlMs"; "cacheScope" is "public"): they change
// only with the program.
inline constexpr unsigned kCacheTtlMs = 3600000;

inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kUnsupportedProtocolVersion = -32022;

// How long a tool call waits for the tray app.
inline constexpr unsigned kToolWaitSeconds = 10;

// The response to one message, or nullopt for a notification (an object
// without an "id" member), which is not carried out at all. A message that
// is not an object, or whose "id" is an object or an array, is -32600 with
// id null; one whose "method" is missing or not a string is -32600 with its
// id.
//
// A request whose params._meta has kProtocolVersionKey, and every
// "server/discover", is stateless: kProtocolVersionKey must be a string
// (else -32602) naming kStatelessVersion (else -32022 with data
// {"requested", "supported"}, the versions of server/discover), and
// kClientCapabilitiesKey an object (else -32602); then "server/discover",
// "tools/list", "tools/call", "prompts/list" and "prompts/get" are answered
// with "resultType" "complete" and the server's identity under _meta, and
// every other method ("initialize" and "ping" included) is -32601. Any other
// request is of the handshake era: "ping", "initialize", "tools/list",
// "tools/call", "prompts/list", "prompts/get", else -32601. Nothing is kept
// from one message to the next.
//
// A tool call whose tray-app reply is an object, and not a refusal, also
// carries that object as "structuredContent".
std::optional<Json> handle_message(const Json& message, uint32_t pid, const RequestFn& request);

// The response to one received line (UTF-8, not blank): a parse error, the
// array of responses to a batch (nullopt when all of its elements are
// notifications; -32600 when it is empty), or handle_message's response.
// So every line that is JSON is answered once, unless it is a notification.
std::optional<Json> handle_text(std::string_view text, uint32_t pid, const RequestFn& request);

// The -32700 response ("id" null).
Json parse_error_response();

}  // namespace vesk::mcp
