#include "restore/power_settings.h"

#include <string>

namespace vesk::restore {

using platform::PowerSource;

std::optional<Guid> parse_plan_guid(std::string_view text) {
  if (text.size() >= 39) return std::nullopt;
  uint8_t digits[32];
  size_t count = 0;
  for (char c : text) {
    int value;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      value = c - 'A' + 10;
    } else {
      continue;
    }
    if (count == 32) return std::nullopt;
    digits[count++] = static_cast<uint8_t>(value);
  }
  if (count != 32) return std::nullopt;
  auto number = [&](size_t first, size_t n) {
    uint32_t v = 0;
    for (size_t i = first; i < first + n; ++i) v = (v << 4) | digits[i];
    return v;
  };
  Guid g;
  g.data1 = number(0, 8);
  g.data2 = static_cast<uint16_t>(number(8, 4));
  g.data3 = static_cast<uint16_t>(number(12, 4));
  for (size_t i = 0; i < 8; ++i) g.data4[i] = static_cast<uint8_t>(number(16 + 2 * i, 2));
  return g;
}

std::optional<Guid> active_plan(PowerApi& api) { return api.get_active_scheme(); }

void reapply_if_active(PowerApi& api, const Guid& plan) {
  auto active = active_plan(api);
  if (active && *active == plan) api.set_active_scheme(plan);
}

std::optional<LidValues> read_lid_action(PowerApi& api, const Guid& plan) {
  LidValues v;
  if (api.read_value(PowerSource::ac, plan, kButtonSubgroup, kLidCloseAction, v.ac) != 0) {
    return std::nullopt;
  }
  if (api.read_value(PowerSource::dc, plan, kButtonSubgroup, kLidCloseAction, v.dc) != 0) {
    return std::nullopt;
  }
  return v;
}

namespace {

// The first failure of several writes that are all made, named by what was
// written.
void keep_first_failure(Status& first, Status written, std::string_view what) {
  if (first && !written) {
    first = Error{"couldn't write " + std::string(what) + ": " + written.message()};
  }
}

}  // namespace

Status write_lid_action(PowerApi& api, const Guid& plan, uint32_t ac, uint32_t dc) {
  Status first;
  keep_first_failure(first,
                     api.write_value(PowerSource::ac, plan, kButtonSubgroup, kLidCloseAction, ac),
                     "the lid-close action (plugged in)");
  keep_first_failure(first,
                     api.write_value(PowerSource::dc, plan, kButtonSubgroup, kLidCloseAction, dc),
                     "the lid-close action (on battery)");
  reapply_if_active(api, plan);
  return first;
}

namespace {

struct Slot {
  PowerSource source;
  const Guid* setting;
  const char* name;
};
// The order of a, b, c, d.
constexpr Slot kSleepSlots[4] = {
    {PowerSource::ac, &kStandbyTimeout, "the sleep timeout (plugged in)"},
    {PowerSource::dc, &kStandbyTimeout, "the sleep timeout (on battery)"},
    {PowerSource::ac, &kUnattendSleepTimeout, "the unattended sleep timeout (plugged in)"},
    {PowerSource::dc, &kUnattendSleepTimeout, "the unattended sleep timeout (on battery)"}};

}  // namespace

SleepTimeouts read_sleep_timeouts(PowerApi& api, const Guid& plan) {
  SleepTimeouts t;
  for (size_t i = 0; i < 4; ++i) {
    uint32_t value = 0;
    t.read[i] = api.read_value(kSleepSlots[i].source, plan, kSleepSubgroup,
                               *kSleepSlots[i].setting, value) == 0;
    t.values[i] = t.read[i] ? value : 0;
  }
  return t;
}

Status write_sleep_timeouts(PowerApi& api, const Guid& plan,
                            const std::array<uint32_t, 4>& values) {
  Status first;
  for (size_t i = 0; i < 4; ++i) {
    keep_first_failure(first,
                       api.write_value(kSleepSlots[i].source, plan, kSleepSubgroup,
                                       *kSleepSlots[i].setting, values[i]),
                       kSleepSlots[i].name);
  }
  reapply_if_active(api, plan);
  return first;
}

std::optional<uint32_t> read_boost_dc(PowerApi& api, const Guid& plan) {
  uint32_t value = 0;
  if (api.read_value(PowerSource::dc, plan, kProcessorSubgroup, kPerfBoostMode, value) != 0) {
    return std::nullopt;
  }
  return value;
}

Status write_boost_dc(PowerApi& api, const Guid& plan, uint32_t value) {
  Status first;
  keep_first_failure(first,
                     api.write_value(PowerSource::dc, plan, kProcessorSubgroup, kPerfBoostMode,
                                     value),
                     "the processor boost mode (on battery)");
  reapply_if_active(api, plan);
  return first;
}

OverlayRead actual_overlay(PowerApi& api) {
  OverlayRead read;
  Guid overlay{};
  auto status = api.get_actual_overlay(overlay);
  if (!status) return read;  // unavailable
  read.result = *status == 0 ? OverlayResult::done : OverlayResult::failed;
  if (read.result == OverlayResult::done) read.overlay = overlay;
  return read;
}

OverlayResult set_overlay(PowerApi& api, const Guid& overlay) {
  auto status = api.set_active_overlay(overlay);
  if (!status) return OverlayResult::unavailable;
  return *status == 0 ? OverlayResult::done : OverlayResult::failed;
}

}  // namespace vesk::restore
