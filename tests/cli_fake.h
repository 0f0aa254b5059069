// An in-process command line for tests: recorded output and scripted
// replies from the tray app (or link failures).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/json.h"
#include "cli/entry.h"

namespace vesk::cli::testing {

class RecordingIo final : public Io {
 public:
  void out(std::string_view text) override { out_ += text; }
  void err(std::string_view text) override { err_ += text; }
  std::string out_, err_;
};

struct SentRequest {
  std::string kind;
  Json payload;
  unsigned wait;
};

// Runs one command line against scripted replies (or link failures).
struct Cli {
  std::deque<Result<Json>> replies;
  std::vector<SentRequest> sent;
  RecordingIo io;

  int run(std::vector<std::string> args) {
    io = RecordingIo();
    return run_cli(std::move(args), "/app", io,
                   [this](std::string_view kind, Json payload, unsigned wait) -> Result<Json> {
                     sent.push_back({std::string(kind), payload, wait});
                     if (replies.empty()) return Error{"no scripted reply"};
                     Result<Json> r = replies.front();
                     replies.pop_front();
                     return r;
                   });
  }
};

}  // namespace vesk::cli::testing
