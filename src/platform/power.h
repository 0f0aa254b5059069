// Windows power settings: the few powrprof calls the restore engine needs,
// behind an interface so that the code deciding what to write can be tested
// with a recording fake.
//
// Every call acts on the user's power plans (no root power key). Statuses
// are Windows error codes: 0 is success; a failed write says why in the
// system's words.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "base/result.h"

namespace vesk::platform {

// Windows' 16-byte GUID structure, field by field.
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  friend bool operator==(const Guid&, const Guid&) = default;
};

// The value used when plugged in (AC) or on battery (DC).
enum class PowerSource { ac, dc };

class PowerApi {
 public:
  virtual ~PowerApi() = default;

  // PowerGetActiveScheme; the returned buffer is copied and freed. nullopt
  // when the call fails or returns no buffer.
  virtual std::optional<Guid> get_active_scheme() = 0;
  // PowerSetActiveScheme; its result is not looked at.
  virtual void set_active_scheme(const Guid& plan) = 0;
  // PowerReadACValueIndex / PowerReadDCValueIndex into `value`.
  virtual uint32_t read_value(PowerSource source, const Guid& plan, const Guid& subgroup,
                              const Guid& setting, uint32_t& value) = 0;
  // PowerWriteACValueIndex / PowerWriteDCValueIndex; the system's reason
  // when it fails.
  virtual Status write_value(PowerSource source, const Guid& plan, const Guid& subgroup,
                               const Guid& setting, uint32_t value) = 0;
  // PowerGetActualOverlayScheme into `overlay` (zeroed first), and
  // PowerSetActiveOverlayScheme. Both are looked up in powrprof.dll at each
  // use; nullopt when the library or either function is not there.
  virtual std::optional<uint32_t> get_actual_overlay(Guid& overlay) = 0;
  virtual std::optional<uint32_t> set_active_overlay(const Guid& overlay) = 0;
};

// The system's power settings. Windows: powrprof.dll, whose functions are
// all resolved at run time (an older or partial powrprof makes the missing
// calls fail with ERROR_PROC_NOT_FOUND instead of keeping the program from
// starting). Elsewhere there are no such settings: every read and write
// fails, there is no active plan and the overlay is unavailable.
PowerApi& system_power();

}  // namespace vesk::platform
