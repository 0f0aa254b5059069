// Waiting for a test's child with what the system kept of it: its exit
// status and its peak memory.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "platform/spawn.h"

namespace vesk::platform {

struct Reaped {
  int64_t code = 0;              // as ProcessExit::code
  uint64_t peak_memory_kib = 0;  // peak resident memory; 0 if unknown
};

// Waits for `process`, whose output has been read to its end. Afterwards
// the process must not be ended (POSIX: it has been reaped here, so its id
// may already be another process's).
Result<Reaped> reap(Process& process);

}  // namespace vesk::platform
