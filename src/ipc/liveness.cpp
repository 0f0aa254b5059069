#include "ipc/liveness.h"

#include <vector>

#include "base/utf8.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::ipc {

uint64_t unix_now() {
  uint64_t ft = platform::system_filetime();
  if (ft <= platform::kUnixEpochFiletime) return 0;
  return (ft - platform::kUnixEpochFiletime) / 10000000ULL;
}

std::optional<uint64_t> read_alive_number(std::string_view word) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  if (word.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<uint64_t> heartbeat_age_of(std::string_view text, uint64_t now) {
  if (!valid_utf8(text)) return std::nullopt;
  std::vector<std::string_view> words = split_unicode_words(text);
  if (words.empty()) return std::nullopt;
  std::optional<uint64_t> heartbeat = read_alive_number(words.front());
  if (!heartbeat) return std::nullopt;
  return now > *heartbeat ? now - *heartbeat : 0;
}

std::optional<AppIdentity> alive_identity(std::string_view text) {
  if (!valid_utf8(text)) return std::nullopt;
  std::vector<uint64_t> numbers;
  for (std::string_view word : split_unicode_words(text)) {
    if (auto n = read_alive_number(word)) numbers.push_back(*n);
  }
  if (numbers.size() != 3 || numbers[1] > UINT32_MAX || numbers[2] == 0) return std::nullopt;
  return AppIdentity{static_cast<uint32_t>(numbers[1]), numbers[2]};
}

std::optional<uint64_t> heartbeat_age(const std::string& path) {
  auto text = platform::read_file(path);
  if (!text) return std::nullopt;
  return heartbeat_age_of(*text, unix_now());
}

bool app_alive(const std::string& app_folder) {
  auto text = platform::read_file(platform::join_path(app_folder, "alive"));
  if (!text) return false;
  auto age = heartbeat_age_of(*text, unix_now());
  if (!age || *age >= kFreshSeconds) return false;
  // A fresh heartbeat from a process that has ended: it crashed or was
  // killed, and nobody will answer. A file that names no process, or one
  // this program may not look at, goes by the heartbeat alone.
  auto identity = alive_identity(*text);
  return !identity || platform::process_presence(identity->pid, identity->creation_time) !=
                          platform::ProcessPresence::kGone;
}

bool app_process_alive(const std::string& app_folder) {
  auto text = platform::read_file(platform::join_path(app_folder, "alive"));
  if (!text) return false;
  auto identity = alive_identity(*text);
  if (!identity) return false;
  auto created = platform::process_start_time(identity->pid);
  return created && *created == identity->creation_time;
}

}  // namespace vesk::ipc
