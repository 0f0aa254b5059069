#include "platform/power.h"

#include "platform/error.h"
#include "platform/win_handle.h"

namespace vesk::platform {
namespace {

GUID to_win(const Guid& g) {
  GUID out{};
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  for (size_t i = 0; i < 8; ++i) out.Data4[i] = g.data4[i];
  return out;
}

Guid from_win(const GUID& g) {
  Guid out;
  out.data1 = g.Data1;
  out.data2 = g.Data2;
  out.data3 = g.Data3;
  for (size_t i = 0; i < 8; ++i) out.data4[i] = g.Data4[i];
  return out;
}

// powrprof.dll from the system folder, loaded once (never released); null
// when it cannot be loaded.
HMODULE powrprof() {
  static const HMODULE lib =
      LoadLibraryExW(L"powrprof.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return lib;
}

template <class F>
F lookup(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

using GetActiveSchemeFn = DWORD(WINAPI*)(HKEY, GUID**);
using SetActiveSchemeFn = DWORD(WINAPI*)(HKEY, const GUID*);
using ReadValueFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, DWORD*);
using WriteValueFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, DWORD);
using GetOverlayFn = DWORD(WINAPI*)(GUID*);
using SetOverlayFn = DWORD(WINAPI*)(GUID);

// The plan functions, resolved once. The library is never released.
struct PlanFunctions {
  GetActiveSchemeFn get_active = nullptr;
  SetActiveSchemeFn set_active = nullptr;
  ReadValueFn read_ac = nullptr, read_dc = nullptr;
  WriteValueFn write_ac = nullptr, write_dc = nullptr;
};

const PlanFunctions& plan_functions() {
  static const PlanFunctions fns = [] {
    PlanFunctions f;
    HMODULE lib = powrprof();
    f.get_active = lookup<GetActiveSchemeFn>(lib, "PowerGetActiveScheme");
    f.set_active = lookup<SetActiveSchemeFn>(lib, "PowerSetActiveScheme");
    f.read_ac = lookup<ReadValueFn>(lib, "PowerReadACValueIndex");
    f.read_dc = lookup<ReadValueFn>(lib, "PowerReadDCValueIndex");
    f.write_ac = lookup<WriteValueFn>(lib, "PowerWriteACValueIndex");
    f.write_dc = lookup<WriteValueFn>(lib, "PowerWriteDCValueIndex");
    return f;
  }();
  return fns;
}

// The overlay functions are not in the documented headers and missing from
// older systems: looked up by name, once.
struct OverlayFunctions {
  GetOverlayFn get = nullptr;
  SetOverlayFn set = nullptr;
};

std::optional<OverlayFunctions> overlay_functions() {
  static const std::optional<OverlayFunctions> fns = []() -> std::optional<OverlayFunctions> {
    OverlayFunctions f;
    f.get = lookup<GetOverlayFn>(powrprof(), "PowerGetActualOverlayScheme");
    f.set = lookup<SetOverlayFn>(powrprof(), "PowerSetActiveOverlayScheme");
    if (f.get == nullptr || f.set == nullptr) return std::nullopt;
    return f;
  }();
  return fns;
}

class WindowsPower final : public PowerApi {
 public:
  std::optional<Guid> get_active_scheme() override {
    const PlanFunctions& f = plan_functions();
    if (f.get_active == nullptr) return std::nullopt;
    GUID* active = nullptr;
    DWORD status = f.get_active(nullptr, &active);
    if (active == nullptr) return std::nullopt;
    Guid plan = from_win(*active);
    LocalFree(active);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return plan;
  }

  void set_active_scheme(const Guid& plan) override {
    const PlanFunctions& f = plan_functions();
    if (f.set_active == nullptr) return;
    GUID g = to_win(plan);
    // Only makes values just written apply at once: a plan that isn't set
    // again still has them, and takes them up when it is next chosen.
    (void)f.set_active(nullptr, &g);
  }

  uint32_t read_value(PowerSource source, const Guid& plan, const Guid& subgroup,
                      const Guid& setting, uint32_t& value) override {
    value = 0;
    const PlanFunctions& f = plan_functions();
    ReadValueFn read = source == PowerSource::ac ? f.read_ac : f.read_dc;
    if (read == nullptr) return ERROR_PROC_NOT_FOUND;
    GUID p = to_win(plan), g = to_win(subgroup), s = to_win(setting);
    DWORD v = 0;
    DWORD status = read(nullptr, &p, &g, &s, &v);
    if (status == ERROR_SUCCESS) value = v;
    return status;
  }

  Status write_value(PowerSource source, const Guid& plan, const Guid& subgroup,
                     const Guid& setting, uint32_t value) override {
    const PlanFunctions& f = plan_functions();
    WriteValueFn write = source == PowerSource::ac ? f.write_ac : f.write_dc;
    if (write == nullptr) return Error{os_error_text(ERROR_PROC_NOT_FOUND)};
    GUID p = to_win(plan), g = to_win(subgroup), s = to_win(setting);
    DWORD status = write(nullptr, &p, &g, &s, value);
    if (status != ERROR_SUCCESS) return Error{os_error_text(static_cast<int>(status))};
    return {};
  }

  std::optional<uint32_t> get_actual_overlay(Guid& overlay) override {
    overlay = Guid{};
    auto f = overlay_functions();
    if (!f) return std::nullopt;
    GUID g{};
    DWORD status = f->get(&g);
    if (status == ERROR_SUCCESS) overlay = from_win(g);
    return status;
  }

  std::optional<uint32_t> set_active_overlay(const Guid& overlay) override {
    auto f = overlay_functions();
    if (!f) return std::nullopt;
    return f->set(to_win(overlay));
  }
};

}  // namespace

PowerApi& system_power() {
  static WindowsPower api;
  return api;
}

}  // namespace vesk::platform
