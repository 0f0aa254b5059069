// The power settings Vesk changes, read and written through a PowerApi:
// the lid-close action, the sleep timeouts, the processor boost mode on
// battery and the power-mode overlay. Each operation only reports success
// or failure (a write says why); what to write and what to drop is decided
// by its callers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/result.h"
#include "platform/power.h"

namespace vesk::restore {

using platform::Guid;
using platform::PowerApi;

// Public Windows identifiers (the Windows SDK's names).
inline constexpr Guid kButtonSubgroup{  // GUID_SYSTEM_BUTTON_SUBGROUP
    0x4f971e89, 0xeebd, 0x4455, {0xa8, 0xde, 0x9e, 0x59, 0x04, 0x0e, 0x73, 0x47}};
inline constexpr Guid kLidCloseAction{  // GUID_LIDCLOSE_ACTION
    0x5ca83367, 0x6e45, 0x459f, {0xa2, 0x7b, 0x47, 0x6b, 0x1d, 0x01, 0xc9, 0x36}};
inline constexpr Guid kSleepSubgroup{  // GUID_SLEEP_SUBGROUP
    0x238c9fa8, 0x0aad, 0x41ed, {0x83, 0xf4, 0x97, 0xbe, 0x24, 0x2c, 0x8f, 0x20}};
inline constexpr Guid kStandbyTimeout{  // GUID_STANDBY_TIMEOUT
    0x29f6c1db, 0x86da, 0x48c5, {0x9f, 0xdb, 0xf2, 0xb6, 0x7b, 0x1f, 0x44, 0xda}};
inline constexpr Guid kUnattendSleepTimeout{  // GUID_UNATTEND_SLEEP_TIMEOUT
    0x7bc4a2f9, 0xd8fc, 0x4469, {0xb0, 0x7b, 0x33, 0xeb, 0x78, 0x5a, 0xac, 0xa0}};
inline constexpr Guid kProcessorSubgroup{  // GUID_PROCESSOR_SETTINGS_SUBGROUP
    0x54533251, 0x82be, 0x4824, {0x96, 0xc1, 0x47, 0xb6, 0x0b, 0x74, 0x0d, 0x00}};
inline constexpr Guid kPerfBoostMode{  // GUID_PROCESSOR_PERF_BOOST_MODE
    0xbe337238, 0x0d82, 0x4146, {0xa9, 0x60, 0x4f, 0x37, 0x49, 0xd4, 0x70, 0xc7}};
// The best power efficiency overlay: Vesk's own while its change holds.
inline constexpr Guid kBestEfficiencyOverlay{
    0x961cc777, 0x2547, 0x4f9d, {0x81, 0x74, 0x7d, 0x86, 0x18, 0x1b, 0x8a, 0x7a}};

// GUID text to a GUID: only the hexadecimal digits count, every other
// character is skipped; there must be exactly 32 of them in a text shorter
// than 39 bytes. Digits 1-8 are Data1, 9-12 Data2, 13-16 Data3, and 17-32
// the eight bytes of Data4 in order.
std::optional<Guid> parse_plan_guid(std::string_view text);

// The power plan in force.
std::optional<Guid> active_plan(PowerApi& api);
// Sets `plan` active again when it is the plan in force, so that values
// just written into it apply at once. Failures are ignored.
void reapply_if_active(PowerApi& api, const Guid& plan);

// Plugged in (ac) and on battery (dc); only when both reads succeed.
struct LidValues {
  uint32_t ac = 0;
  uint32_t dc = 0;
};
std::optional<LidValues> read_lid_action(PowerApi& api, const Guid& plan);
// Both writes are made, then reapply_if_active; fails with the first
// write's reason when either fails.
Status write_lid_action(PowerApi& api, const Guid& plan, uint32_t ac, uint32_t dc);

// Sleep after (AC, DC), unattended sleep (AC, DC): each read's success and
// value (0 when the read failed).
struct SleepTimeouts {
  std::array<bool, 4> read{};
  std::array<uint32_t, 4> values{};
};
SleepTimeouts read_sleep_timeouts(PowerApi& api, const Guid& plan);
// All four writes are made, then reapply_if_active; fails with the first
// failed write's reason.
Status write_sleep_timeouts(PowerApi& api, const Guid& plan, const std::array<uint32_t, 4>& values);

std::optional<uint32_t> read_boost_dc(PowerApi& api, const Guid& plan);
// The write, then reapply_if_active; fails with the write's reason.
Status write_boost_dc(PowerApi& api, const Guid& plan, uint32_t value);

enum class OverlayResult { done, failed, unavailable };
struct OverlayRead {
  OverlayResult result = OverlayResult::unavailable;
  Guid overlay;  // when done
};
OverlayRead actual_overlay(PowerApi& api);
OverlayResult set_overlay(PowerApi& api, const Guid& overlay);

}  // namespace vesk::restore
