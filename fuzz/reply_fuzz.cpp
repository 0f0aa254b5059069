// Fuzzes what this program reads from the tray app: a reply file (parsed
// as the app link accepts it, then shown by every renderer) and the `alive`
// heartbeat file. Nothing may crash; a parsed reply reads back the same
// after being written out; renderings are UTF-8 text; the heartbeat's age
// never exceeds the clock it is measured against.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/json.h"
#include "base/utf8.h"
#include "cli/renderers.h"
#include "ipc/liveness.h"
#include "fuzz_support.h"

using vesk::fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  if (std::optional<vesk::Json> reply = vesk::parse_json(text)) {
    std::string written = vesk::compact_json(*reply);
    check(vesk::parse_json(written) == reply);
    using namespace vesk::cli;
    for (auto render : {render_status, render_hold, render_release, render_settings, render_power,
                        render_energy, render_config}) {
      check(vesk::valid_utf8(render(*reply)));
    }
  }

  // The clock: the first eight bytes, so that ages around the heartbeat
  // come up.
  uint64_t now = 0;
  std::memcpy(&now, data, size < sizeof now ? size : sizeof now);
  if (auto age = vesk::ipc::heartbeat_age_of(text, now)) check(*age <= now);
  if (auto identity = vesk::ipc::alive_identity(text)) check(identity->creation_time != 0);
  size_t word_end = text.find_first_of(" \t\r\n");
  std::string_view first = text.substr(0, word_end);
  if (auto number = vesk::ipc::read_alive_number(first)) {
    check(!first.empty() && first.find_first_not_of("+0123456789") == std::string_view::npos);
    check(std::to_string(*number).size() <= first.size());
  }
  return 0;
}
