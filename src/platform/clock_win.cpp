#include "platform/clock.h"

#include "platform/win_handle.h"

namespace vesk::platform {

namespace {

uint64_t from_filetime(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME to_filetime(uint64_t value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return ft;
}

}  // namespace

uint64_t system_filetime() {
  FILETIME ft{};
  GetSystemTimePreciseAsFileTime(&ft);
  return from_filetime(ft);
}

uint64_t monotonic_ns() {
  // The frequency is fixed at boot.
  static const uint64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? static_cast<uint64_t>(f.QuadPart) : 1;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
  // Whole seconds and the remainder apart, so that the product cannot overflow.
  return ticks / frequency * 1000000000ULL + ticks % frequency * 1000000000ULL / frequency;
}

void sleep_ms(unsigned ms) { Sleep(ms); }

int64_t local_offset(int64_t unix_seconds) {
  // FILETIME values are unsigned and FileTimeToSystemTime takes no more than
  // INT64_MAX; anything outside has no offset to give.
  constexpr int64_t kEpochSeconds = static_cast<int64_t>(kUnixEpochFiletime / 10000000ULL);
  constexpr int64_t kMaxSeconds = INT64_MAX / 10000000LL - kEpochSeconds;
  if (unix_seconds < -kEpochSeconds || unix_seconds > kMaxSeconds) return 0;
  const int64_t utc = (unix_seconds + kEpochSeconds) * 10000000LL;

  FILETIME utc_ft = to_filetime(static_cast<uint64_t>(utc));
  SYSTEMTIME utc_st{}, local_st{};
  FILETIME local_ft{};
  if (!FileTimeToSystemTime(&utc_ft, &utc_st)) return 0;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc_st, &local_st)) return 0;
  if (!SystemTimeToFileTime(&local_st, &local_ft)) return 0;
  const int64_t local = static_cast<int64_t>(from_filetime(local_ft));
  return (local - utc) / 10000000LL;
}

}  // namespace vesk::platform
