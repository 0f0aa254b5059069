// Fuzzes the journal readers with arbitrary bytes. They must never crash,
// and whatever they accept must be a well-formed document that reads back
// the same after being written out again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/json.h"
#include "restore/journal.h"
#include "fuzz_support.h"

using vesk::fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  using namespace vesk::restore;

  if (auto record = parse_restore(text)) {
    check(vesk::parse_json(text).has_value());
    std::string written = restore_text(*record);
    check(parse_restore(written) == record);
    check(restore_text(*parse_restore(written)) == written);
  }
  if (auto entries = parse_touched(text)) {
    check(vesk::parse_json(text).has_value());
    std::string written = touched_text(*entries);
    check(parse_touched(written) == entries);
  }
  // Every cut of an accepted journal is either refused or itself whole.
  for (size_t cut : {size / 2, size > 0 ? size - 1 : 0}) {
    std::string_view part = text.substr(0, cut);
    if (auto r = parse_restore(part)) check(vesk::parse_json(part).has_value());
    if (auto t = parse_touched(part)) check(vesk::parse_json(part).has_value());
  }
  return 0;
}
