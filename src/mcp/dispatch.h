// JSON-RPC 2.0 dispatch for `vesk mcp`: one received JSON text in, one
// response (or none) out. Knows nothing of streams; transport.h frames the
// lines.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "base/json.h"
#include "base/result.h"
#include "base/version.h"
#include "ipc/request_fn.h"

namespace vesk::mcp {

using ipc::RequestFn;

inline constexpr std::string_view kDefaultProtocolVersion = "2025-06-18";
inline constexpr std::string_view kServerName = "vesk";
inline constexpr std::string_view kServerVersion = kVersion;
inline constexpr std::string_view kInstructions =
    "Vesk keeps this laptop awake with the lid closed while you work. Call stay_awake before "
    "long unattended work and release when done; check status for battery and hours left. To "
    "tune it: settings lists every setting, power shows what's using power and which setting "
    "fixes it. If asked to set Vesk up, follow setup_prompt.";

inline constexpr int kParseError = -32700;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;

// How long a tool call waits for the tray app.
inline constexpr unsigned kToolWaitSeconds = 10;

// The response to one message, or nullopt for a notification (no "id"
// member, or not an object), which is not carried out at all.
std::optional<Json> handle_message(const Json& message, uint32_t pid, const RequestFn& request);

// The response to one received line (UTF-8, not blank): a parse error, the
// array of responses to a batch (nullopt when none of its elements is a
// request), or handle_message's response.
std::optional<Json> handle_text(std::string_view text, uint32_t pid, const RequestFn& request);

// The -32700 response ("id" null).
Json parse_error_response();

}  // namespace vesk::mcp
