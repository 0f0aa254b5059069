// Clocks.
#pragma once

#include <cstdint>

namespace vesk::platform {

// FILETIME offset: 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
inline constexpr uint64_t kUnixEpochFiletime = 116444736000000000ULL;

// The precise system time as a FILETIME value: 100-nanosecond units since
// 1601-01-01 UTC (GetSystemTimePreciseAsFileTime on Windows; CLOCK_REALTIME
// converted to that unit on POSIX).
uint64_t system_filetime();

// A monotonic clock in nanoseconds from an arbitrary origin.
uint64_t monotonic_ns();

void sleep_ms(unsigned ms);

// Local time zone offset (local minus UTC, whole seconds, toward zero) that
// applies at Unix time `unix_seconds` under the current zone rules; 0 when a
// conversion fails.
int64_t local_offset(int64_t unix_seconds);

}  // namespace vesk::platform
