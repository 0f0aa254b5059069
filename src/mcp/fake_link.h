// For the server's tests: an app link that records what it is asked and
// answers from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/json.h"
#include "mcp/dispatch.h"

namespace vesk::mcp::testing {

struct Sent {
  std::string kind;
  Json payload;
  unsigned wait;
};

class FakeLink {
 public:
  // Replies in order; once they run out every request is answered {"ok":true}.
  std::deque<Result<Json>> replies;
  std::vector<Sent> sent;

  RequestFn fn() {
    return [this](std::string_view kind, Json payload, unsigned wait) -> Result<Json> {
      sent.push_back({std::string(kind), std::move(payload), wait});
      if (replies.empty()) return Json{{"ok", true}};
      Result<Json> reply = std::move(replies.front());
      replies.pop_front();
      return reply;
    };
  }
};

}  // namespace vesk::mcp::testing
