// Line framing for `vesk mcp`: one JSON-RPC message per line on a byte
// stream in, one compact response per line out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "mcp/dispatch.h"

namespace vesk::mcp {

// Reads up to `capacity` bytes into `buffer`: the count, 0 at the end of
// input, or an error.
using ReadFn = std::function<Result<size_t>(char* buffer, size_t capacity)>;
// Writes all the bytes and flushes them; the reason when it could not.
using WriteFn = std::function<Status(std::string_view bytes)>;

// A line longer than this is not kept: the rest of it is skipped and it is
// answered as a parse error, so that input without line breaks cannot take
// all memory.
inline constexpr size_t kMaxLineBytes = size_t{64} << 20;

// Splits a byte stream into lines. A line ends at "\n", which is removed
// together with a "\r" before it; the last line may lack its "\n".
class LineReader {
 public:
  enum class Got { kLine, kTooLong, kEnd };

  explicit LineReader(ReadFn read, size_t max_line = kMaxLineBytes,
                      size_t chunk = size_t{64} << 10);

  // The next line in `line` (valid until the next call) with kLine;
  // kTooLong for a line over the limit (already skipped); kEnd at the end
  // of input or after a read error.
  Got next(std::string_view& line);

 private:
  // Reads one more chunk onto the buffer; false at the end or on an error.
  bool fill();

  ReadFn read_;
  size_t max_line_;
  size_t chunk_;
  std::string buffer_;
  size_t start_ = 0;    // where the next line begins in buffer_
  size_t scanned_ = 0;  // bytes from start_ on known to hold no "\n"
  bool ended_ = false;
};

// How long the release at the end of a session waits for the tray app.
// Clients give a server 2 s after closing its input before they stop it, so
// a tray app that takes the request but never answers must cost less.
inline constexpr unsigned kReleaseWaitSeconds = 1;

// Runs the session: reads lines until the input ends, fails or a line is not
// UTF-8 (that line is answered as a parse error first); skips a byte-order
// mark at the very start of the input, and blank lines (Unicode white space
// only); writes each response as compact JSON and "\n" in one write; ends
// early when a write fails.
// Then asks the tray app to release every hold of `pid`
// (kReleaseWaitSeconds, outcome ignored). Returns the exit status, always 0.
int serve(const ReadFn& read, const WriteFn& write, uint32_t pid, const RequestFn& request);

// serve() over this process's standard input and output, with its own pid.
// A stop request (SIGTERM, Ctrl+C, Ctrl+Break) ends the process at once with
// status 0, without the release.
int run_mcp_server(const RequestFn& request);

}  // namespace vesk::mcp
