// Fuzzes the MCP message handler with one received line, in both protocol
// eras. It must never crash, and every response must be valid JSON: an
// object with exactly "id", "jsonrpc" and one of "result" or "error" (a
// batch: a non-empty array of those), every error with an integer code and
// a string message. Every line that is JSON is answered, unless it is a
// notification (an object without "id", or a batch of nothing else), and a
// batch gets one response per element that is no notification.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "base/json.h"
#include "mcp/dispatch.h"
#include "fuzz_support.h"

namespace {

using vesk::fuzzing::check;

bool notification(const vesk::Json& message) {
  return message.is_object() && !message.contains("id");
}

// How many responses the line must get: nullopt for no answer at all, 0 for
// one single response, n for a batch answered by an array of n.
std::optional<size_t> expected_answers(std::string_view line) {
  std::optional<vesk::Json> value = vesk::parse_json(line);
  if (!value || !value->is_array() || value->empty()) {
    if (value && notification(*value)) return std::nullopt;
    return 0;
  }
  size_t requests = 0;
  for (const vesk::Json& element : *value) requests += notification(element) ? 0 : 1;
  if (requests == 0) return std::nullopt;
  return requests;
}

void check_response(const vesk::Json& response) {
  check(response.is_object() && response.size() == 3);
  check(response.contains("id"));
  check(response.value("jsonrpc", vesk::Json()) == "2.0");
  bool has_result = response.contains("result");
  check(has_result != response.contains("error"));
  if (has_result) {
    check(response["result"].is_object());
    return;
  }
  const vesk::Json& error = response["error"];
  check(error.is_object() && error["code"].is_number_integer() && error["message"].is_string());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  // The tray app's answer depends on the input, so that replies, refusals
  // and link failures all come up.
  uint8_t pick = size > 0 ? data[size - 1] : 0;
  vesk::mcp::RequestFn request = [pick](std::string_view, vesk::Json payload,
                                        unsigned) -> vesk::Result<vesk::Json> {
    switch (pick % 4) {
      case 0: return vesk::Json{{"ok", true}, {"args", std::move(payload)}};
      case 1: return vesk::Json{{"ok", false}, {"error", "Not allowed."}};
      case 2: return vesk::Json::array({pick});
      default: return vesk::Error{"Vesk didn't answer in time."};
    }
  };

  std::optional<vesk::Json> response = vesk::mcp::handle_text(line, 4242, request);
  std::optional<size_t> expected = expected_answers(line);
  check(response.has_value() == expected.has_value());
  if (!response) return 0;
  // Judged as the client reads it: the line that goes out.
  std::string written = vesk::compact_json(*response);
  check(written.find('\n') == std::string::npos);
  std::optional<vesk::Json> read_back = vesk::parse_json(written);
  check(read_back.has_value());
  if (read_back->is_array()) {
    check(!read_back->empty() && read_back->size() == *expected);
    for (const vesk::Json& element : *read_back) check_response(element);
  } else {
    check(*expected == 0);
    check_response(*read_back);
  }
  return 0;
}
