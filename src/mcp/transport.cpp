#include "mcp/transport.h"

#include "base/json.h"
#include "base/text.h"
#include "base/utf8.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/stdio.h"

namespace vesk::mcp {

LineReader::LineReader(ReadFn read, size_t max_line, size_t chunk)
    : read_(std::move(read)), max_line_(max_line), chunk_(chunk == 0 ? 1 : chunk) {}

bool LineReader::fill() {
  if (ended_) return false;
  // Drop the lines already handed out before the buffer grows.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  size_t old_size = buffer_.size();
  buffer_.resize(old_size + chunk_);
  Result<size_t> got = read_(buffer_.data() + old_size, chunk_);
  if (!got) {
    // A read error ends the input where it is: the unfinished line is dropped.
    buffer_.clear();
    ended_ = true;
    return false;
  }
  size_t n = *got < chunk_ ? *got : chunk_;
  buffer_.resize(old_size + n);
  if (n == 0) ended_ = true;
  return n > 0;
}

LineReader::Got LineReader::next(std::string_view& line) {
  bool skipping = false;  // inside a line over the limit
  for (;;) {
    size_t newline = buffer_.find('\n', start_ + scanned_);
    if (newline != std::string::npos) {
      size_t begin = start_;
      size_t end = newline;
      start_ = newline + 1;
      scanned_ = 0;
      if (skipping) return Got::kTooLong;
      if (end > begin && buffer_[end - 1] == '\r') --end;
      line = std::string_view(buffer_).substr(begin, end - begin);
      return Got::kLine;
    }
    scanned_ = buffer_.size() - start_;
    if (scanned_ > max_line_) {
      skipping = true;
      buffer_.resize(start_);
      scanned_ = 0;
    }
    if (!fill()) {
      size_t rest = buffer_.size() - start_;
      if (skipping) {
        start_ = buffer_.size();
        return Got::kTooLong;
      }
      if (rest == 0) return Got::kEnd;
      line = std::string_view(buffer_).substr(start_, rest);
      start_ = buffer_.size();
      scanned_ = 0;
      return Got::kLine;
    }
  }
}

namespace {

Status send(const WriteFn& write, const Json& response) {
  std::string bytes = compact_json(response);
  bytes += '\n';
  return write(bytes);
}

// Reads, answers and writes until the session ends.
void session(LineReader& lines, const WriteFn& write, uint32_t pid, const RequestFn& request) {
  for (bool first = true;; first = false) {
    std::string_view line;
    LineReader::Got got = lines.next(line);
    if (got == LineReader::Got::kEnd) return;
    std::optional<Json> response;
    if (got == LineReader::Got::kTooLong) {
      response = parse_error_response();
    } else {
      if (first) line = without_byte_order_mark(line);
      if (!valid_utf8(line)) {
        // The client learns why the session ends; if it can't be told, the
        // session ends all the same.
        (void)send(write, parse_error_response());
        return;
      }
      if (blank(line)) continue;
      response = handle_text(line, pid, request);
    }
    if (response && !send(write, *response)) return;
  }
}

}  // namespace

int serve(const ReadFn& read, const WriteFn& write, uint32_t pid, const RequestFn& request) {
  try {
    LineReader lines(read);
    session(lines, write, pid, request);
  } catch (...) {
    // Out of memory on a huge message, say: the session ends as if the
    // input had, and its holds are still released.
  }
  try {
    Json payload = Json::object();
    payload["pid"] = pid;
    // The session is over: there is nobody left to tell of a failed release.
    (void)request("release_pid", std::move(payload), kReleaseWaitSeconds);
  } catch (...) {
  }
  return 0;
}

int run_mcp_server(const RequestFn& request) {
  // Without the handler, a stop would still end the process, but with a
  // status that clients report as a crash; that is all a failure here costs.
  (void)platform::exit_on_stop_request();
  platform::use_binary_stdio();
  return serve([](char* buffer, size_t capacity) { return platform::read_stdin(buffer, capacity); },
               [](std::string_view bytes) { return platform::write_stdout(bytes); },
               platform::current_pid(), request);
}

}  // namespace vesk::mcp
