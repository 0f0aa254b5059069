#include <unistd.h>

#include <charconv>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::platform {

uint32_t current_pid() { return static_cast<uint32_t>(::getpid()); }

namespace {

std::optional<uint64_t> parse_u64(std::string_view text) {
  uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// Seconds since 1970 at which the system booted: the `btime` line of
// /proc/stat. Fixed while the system runs, so read once.
std::optional<uint64_t> boot_time() {
  static const std::optional<uint64_t> cached = []() -> std::optional<uint64_t> {
    auto text = read_file("/proc/stat");
    if (!text) return std::nullopt;
    std::string_view rest = *text;
    while (!rest.empty()) {
      size_t eol = rest.find('\n');
      std::string_view line = rest.substr(0, eol);
      rest = eol == std::string_view::npos ? std::string_view{} : rest.substr(eol + 1);
      if (line.substr(0, 6) == "btime ") return parse_u64(line.substr(6));
    }
    return std::nullopt;
  }();
  return cached;
}

}  // namespace

std::optional<uint64_t> process_start_time(uint32_t pid) {
  if (pid == 0) return std::nullopt;
  auto text = read_file("/proc/" + std::to_string(pid) + "/stat");
  if (!text) return std::nullopt;
  // The command name (field 2) is in parentheses and may itself hold spaces
  // and parentheses: the fields after it start after the last ')'.
  size_t close = text->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::string_view rest = std::string_view(*text).substr(close + 1);
  // Fields from 3 (state) on, separated by single spaces.
  std::string_view fields[20];
  for (int i = 0; i < 20; ++i) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    size_t end = rest.find(' ');
    fields[i] = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
  }
  std::string_view state = fields[0];   // field 3
  if (state.empty() || state == "Z" || state == "X" || state == "x") return std::nullopt;
  auto start_ticks = parse_u64(fields[19]);  // field 22
  auto btime = boot_time();
  long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (!start_ticks || !btime || ticks_per_second <= 0) return std::nullopt;
  return kUnixEpochFiletime + *btime * 10000000ULL +
         *start_ticks * 10000000ULL / static_cast<uint64_t>(ticks_per_second);
}

ProcessPresence process_presence(uint32_t pid, uint64_t creation_time) {
  if (pid == 0) return ProcessPresence::kGone;
  std::string folder = "/proc/" + std::to_string(pid);
  if (!read_file(folder + "/stat")) {
    return file_absent(folder) ? ProcessPresence::kGone : ProcessPresence::kUnknown;
  }
  // Readable: nullopt here is a zombie (or a process that ended meanwhile).
  auto created = process_start_time(pid);
  return created && *created == creation_time ? ProcessPresence::kRunning
                                              : ProcessPresence::kGone;
}

}  // namespace vesk::platform
