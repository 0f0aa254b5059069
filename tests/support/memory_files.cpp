#include "support/memory_files.h"

#include <set>
#include <utility>

#include "platform/fs.h"

namespace vesk::testing {

Result<agents::FileVersion> MemoryFiles::read(const std::string& path) {
  if (auto failing = failing_reads_.find(path); failing != failing_reads_.end()) {
    return Error{failing->second};
  }
  auto found = files_.find(path);
  if (found == files_.end()) return agents::FileVersion{};
  return agents::FileVersion{found->second.bytes, std::to_string(found->second.version)};
}

bool MemoryFiles::still(const std::string& path, const agents::FileVersion& old) const {
  auto found = files_.find(path);
  if (found == files_.end()) return !old.bytes;
  return old.bytes && *old.bytes == found->second.bytes &&
         old.stamp == std::to_string(found->second.version);
}

Result<bool> MemoryFiles::write(const std::string& path, std::string_view text,
                                const agents::FileVersion& old, std::optional<uint32_t> mode) {
  ++writes_;
  if (losses_left_ > 0) {
    --losses_left_;
    // Another program's edit lands between the read and this write.
    put(path, others_ ? others_(writes_) : std::string());
  }
  if (!still(path, old)) return false;
  if (old.bytes && !old.bytes->empty()) {
    // After the highest backup there is: a gap is never filled.
    const std::string base = path + ".vesk-backup";
    uint64_t highest = files_.count(base) ? 1 : 0;
    for (const auto& entry : files_) {
      const std::string& name = entry.first;
      if (name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 ||
          name[base.size()] != '-') {
        continue;
      }
      const std::string rest = name.substr(base.size() + 1);
      if (rest.size() > 18 || rest.front() == '0' ||
          rest.find_first_not_of("0123456789") != std::string::npos) {
        continue;
      }
      if (uint64_t n = std::stoull(rest); n >= 2 && n > highest) highest = n;
    }
    std::string backup = base;
    if (highest >= 1) {
      backup += '-';
      backup += std::to_string(highest + 1);
    }
    files_[backup] = File{*old.bytes, files_[path].mode, ++last_version_};
  }
  auto found = files_.find(path);
  if (found == files_.end()) {
    files_[path] = File{std::string(text), mode.value_or(0644), ++last_version_};
  } else {
    // A file that is there keeps its own access.
    found->second.bytes = std::string(text);
    found->second.version = ++last_version_;
  }
  return true;
}

Result<bool> MemoryFiles::remove(const std::string& path, const agents::FileVersion& old) {
  auto found = files_.find(path);
  if (found == files_.end()) return true;
  if (!still(path, old)) return false;
  files_.erase(found);
  return true;
}

namespace {

// What of `name` is inside `folder`: "" when it isn't.
std::string_view inside_memory_folder(std::string_view name, std::string_view folder) {
  if (folder.empty() || name.size() <= folder.size() + 1 || name.substr(0, folder.size()) != folder) {
    return {};
  }
  const char separator = name[folder.size()];
  if (separator != platform::kPathSeparator && separator != '/') return {};
  return name.substr(folder.size() + 1);
}

}  // namespace

bool MemoryFiles::exists(const std::string& path) const {
  if (files_.count(path)) return true;
  for (const auto& entry : files_) {
    if (!inside_memory_folder(entry.first, path).empty()) return true;
  }
  return false;
}

std::vector<std::string> MemoryFiles::list(const std::string& folder) const {
  std::set<std::string> names;
  for (const auto& entry : files_) {
    std::string_view rest = inside_memory_folder(entry.first, folder);
    if (rest.empty()) continue;
    names.emplace(rest.substr(0, rest.find_first_of(std::string{platform::kPathSeparator, '/'})));
  }
  return {names.begin(), names.end()};
}

void MemoryFiles::put(const std::string& path, std::string_view text) {
  File& file = files_[path];
  file.bytes = std::string(text);
  file.version = ++last_version_;
}

std::optional<std::string> MemoryFiles::text(const std::string& path) const {
  auto found = files_.find(path);
  if (found == files_.end()) return std::nullopt;
  return found->second.bytes;
}

std::optional<uint32_t> MemoryFiles::mode(const std::string& path) const {
  auto found = files_.find(path);
  if (found == files_.end()) return std::nullopt;
  return found->second.mode;
}

std::vector<std::string> MemoryFiles::names() const {
  std::vector<std::string> names;
  for (const auto& entry : files_) names.push_back(entry.first);
  return names;
}

void MemoryFiles::lose_next_writes(int count, std::function<std::string(int)> others) {
  losses_left_ = count;
  others_ = std::move(others);
}

void MemoryFiles::fail_reads(const std::string& path, std::string message) {
  if (message.empty()) {
    failing_reads_.erase(path);
  } else {
    failing_reads_[path] = std::move(message);
  }
}

}  // namespace vesk::testing
