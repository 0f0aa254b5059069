#include "platform/power.h"

namespace vesk::platform {
namespace {

// ERROR_NOT_SUPPORTED: the status a read reports here.
constexpr uint32_t kNotSupported = 50;

class NoPowerSettings final : public PowerApi {
 public:
  std::optional<Guid> get_active_scheme() override { return std::nullopt; }
  void set_active_scheme(const Guid&) override {}
  uint32_t read_value(PowerSource, const Guid&, const Guid&, const Guid&,
                      uint32_t& value) override {
    value = 0;
    return kNotSupported;
  }
  Status write_value(PowerSource, const Guid&, const Guid&, const Guid&, uint32_t) override {
    return Error{"this system has no power plans to change"};
  }
  std::optional<uint32_t> get_actual_overlay(Guid& overlay) override {
    overlay = Guid{};
    return std::nullopt;
  }
  std::optional<uint32_t> set_active_overlay(const Guid&) override { return std::nullopt; }
};

}  // namespace

PowerApi& system_power() {
  static NoPowerSettings api;
  return api;
}

}  // namespace vesk::platform
