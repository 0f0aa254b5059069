// Children with captured output, for tests, benchmarks and fuzz targets:
// built on platform::Process (spawn.h), which the program itself uses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/spawn.h"

namespace vesk::platform {

struct CapturedRun {
  int exit_code = 0;  // the exit code; on POSIX 128 + signal for a signal
  std::string out;
  std::string err;
  uint64_t peak_memory_kib = 0;  // the child's peak resident memory; 0 if unknown
};

// Runs `program` (a path, Lookup::kAsGiven) with `args`, without a console
// window, feeds it `input` on standard input, collects standard output and
// error and waits for it to end.
Result<CapturedRun> run_captured(const std::string& program,
                                 const std::vector<std::string>& args,
                                 const EnvChanges& env = {},
                                 const std::string& input = {});

// A child started in the background with captured output, as run_captured
// starts it; for tests and benchmarks that run many at once. Destroying or
// assigning over a child not yet waited for ends it.
class Child {
 public:
  static Result<Child> start(const std::string& program,
                             const std::vector<std::string>& args,
                             const EnvChanges& env = {},
                             const std::string& input = {});
  Child(Child&&) noexcept;
  Child& operator=(Child&&) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  // The child's process id (also after wait()).
  uint32_t pid() const;
  // Reads the output to its end and waits for the child.
  Result<CapturedRun> wait();

 private:
  struct Impl;
  explicit Child(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk::platform
