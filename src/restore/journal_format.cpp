// The journals' text form: strict reading and field-order writing.
#include <limits>

#include "base/json.h"
#include "restore/journal.h"
#include "base/strict_json.h"

namespace vesk::restore {
namespace {

using Ordered = nlohmann::ordered_json;

// ---- Reading members ---------------------------------------------------------
// Integers only: a fraction or an exponent form is a float to the parser
// and is refused, like a value out of the type's range.

std::optional<uint64_t> as_u64(const Json& v) {
  if (v.is_number_unsigned()) return v.get<uint64_t>();
  if (v.is_number_integer()) {
    int64_t n = v.get<int64_t>();
    if (n >= 0) return static_cast<uint64_t>(n);
  }
  return std::nullopt;
}

std::optional<uint32_t> as_u32(const Json& v) {
  auto n = as_u64(v);
  if (!n || *n > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(*n);
}

std::optional<int64_t> as_i64(const Json& v) {
  if (v.is_number_unsigned()) {
    uint64_t n = v.get<uint64_t>();
    if (n > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    return static_cast<int64_t>(n);
  }
  if (v.is_number_integer()) return v.get<int64_t>();
  return std::nullopt;
}

// A member that may be null: true with `out` left empty for null.
bool read_optional_text(const Json& v, std::optional<std::string>& out) {
  if (v.is_null()) return true;
  if (!v.is_string()) return false;
  out = v.get<std::string>();
  return true;
}

bool read_lid_more(const Json& v, std::vector<LidMore>& out) {
  if (!v.is_array()) return false;
  for (const Json& element : v) {
    if (!element.is_array() || element.size() != 3 || !element[0].is_string()) return false;
    auto ac = as_u32(element[1]);
    auto dc = as_u32(element[2]);
    if (!ac || !dc) return false;
    out.push_back({element[0].get<std::string>(), *ac, *dc});
  }
  return true;
}

bool read_lid_action(const Json& v, std::optional<LidAction>& out) {
  if (v.is_null()) return true;
  if (!v.is_array() || v.size() != 2) return false;
  auto ac = as_u32(v[0]);
  auto dc = as_u32(v[1]);
  if (!ac || !dc) return false;
  out = LidAction{*ac, *dc};
  return true;
}

bool read_sleep_idle(const Json& v, std::optional<SleepIdle>& out) {
  if (v.is_null()) return true;
  if (!v.is_array() || v.size() != 2 || !v[0].is_string()) return false;
  const Json& values = v[1];
  if (!values.is_array() || values.size() != 4) return false;
  SleepIdle idle{v[0].get<std::string>(), {}};
  for (size_t i = 0; i < 4; ++i) {
    auto n = as_u32(values[i]);
    if (!n) return false;
    idle.timeouts[i] = *n;
  }
  out = std::move(idle);
  return true;
}

bool read_boost_dc(const Json& v, std::optional<BoostDc>& out) {
  if (v.is_null()) return true;
  if (!v.is_array() || v.size() != 2 || !v[0].is_string()) return false;
  auto value = as_u32(v[1]);
  if (!value) return false;
  out = BoostDc{v[0].get<std::string>(), *value};
  return true;
}

bool read_bool(const Json& v, bool& out) {
  if (!v.is_boolean()) return false;
  out = v.get<bool>();
  return true;
}

// The members in file order; the array form holds them in this order.
constexpr const char* kRestoreKeys[] = {"lid_more",   "power_profile", "power_overlay",
                                        "lid_action", "lid_scheme",    "sleep_idle",
                                        "boost_dc",   "linux_tuned"};

bool read_restore_member(size_t index, const Json& v, Restore& r) {
  switch (index) {
    case 0: return read_lid_more(v, r.lid_more);
    case 1: return read_optional_text(v, r.power_profile);
    case 2: return read_optional_text(v, r.power_overlay);
    case 3: return read_lid_action(v, r.lid_action);
    case 4: return read_optional_text(v, r.lid_scheme);
    case 5: return read_sleep_idle(v, r.sleep_idle);
    case 6: return read_boost_dc(v, r.boost_dc);
    case 7: return read_bool(v, r.linux_tuned);
    default: return false;
  }
}

constexpr const char* kTouchedKeys[] = {"pid", "exe", "start", "paused", "previous", "unit"};
constexpr size_t kTouchedRequired = 5;  // all but `unit`

bool read_touched_member(size_t index, const Json& v, Touched& t) {
  switch (index) {
    case 0: {
      auto n = as_u32(v);
      if (n) t.pid = *n;
      return n.has_value();
    }
    case 1:
      if (!v.is_string()) return false;
      t.exe = v.get<std::string>();
      return true;
    case 2: {
      auto n = as_u64(v);
      if (n) t.start = *n;
      return n.has_value();
    }
    case 3: return read_bool(v, t.paused);
    case 4: {
      auto n = as_i64(v);
      if (n) t.previous = *n;
      return n.has_value();
    }
    case 5: return read_optional_text(v, t.unit);
    default: return false;
  }
}

std::optional<Touched> touched_of(const Json& v) {
  Touched t;
  if (v.is_array()) {
    if (v.size() != std::size(kTouchedKeys)) return std::nullopt;
    for (size_t i = 0; i < v.size(); ++i) {
      if (!read_touched_member(i, v[i], t)) return std::nullopt;
    }
    return t;
  }
  if (!v.is_object()) return std::nullopt;
  for (size_t i = 0; i < std::size(kTouchedKeys); ++i) {
    auto it = v.find(kTouchedKeys[i]);
    if (it == v.end()) {
      if (i < kTouchedRequired) return std::nullopt;
      continue;
    }
    if (!read_touched_member(i, *it, t)) return std::nullopt;
  }
  return t;
}

// ---- Writing -------------------------------------------------------------------

Ordered optional_text(const std::optional<std::string>& text) {
  return text ? Ordered(*text) : Ordered(nullptr);
}

std::string pretty(const Ordered& value) {
  return value.dump(2, ' ', false, Ordered::error_handler_t::replace);
}

}  // namespace

bool is_empty(const Restore& record) { return record == Restore{}; }

std::optional<Restore> parse_restore(std::string_view text) {
  auto doc = parse_strict_json(text, kMaxJournalDepth);
  if (!doc) return std::nullopt;
  Restore r;
  if (doc->is_array()) {
    if (doc->size() != std::size(kRestoreKeys)) return std::nullopt;
    for (size_t i = 0; i < doc->size(); ++i) {
      if (!read_restore_member(i, (*doc)[i], r)) return std::nullopt;
    }
    return r;
  }
  if (!doc->is_object()) return std::nullopt;
  for (size_t i = 0; i < std::size(kRestoreKeys); ++i) {
    auto it = doc->find(kRestoreKeys[i]);
    if (it != doc->end() && !read_restore_member(i, *it, r)) return std::nullopt;
  }
  return r;
}

std::optional<std::vector<Touched>> parse_touched(std::string_view text) {
  auto doc = parse_strict_json(text, kMaxJournalDepth);
  if (!doc || !doc->is_array()) return std::nullopt;
  std::vector<Touched> entries;
  entries.reserve(doc->size());
  for (const Json& element : *doc) {
    auto entry = touched_of(element);
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
  }
  return entries;
}

std::string restore_text(const Restore& r) {
  Ordered lid_more = Ordered::array();
  for (const LidMore& m : r.lid_more) lid_more.push_back(Ordered::array({m.plan, m.ac, m.dc}));
  Ordered doc = Ordered::object();
  doc["lid_more"] = std::move(lid_more);
  doc["power_profile"] = optional_text(r.power_profile);
  doc["power_overlay"] = optional_text(r.power_overlay);
  doc["lid_action"] =
      r.lid_action ? Ordered::array({r.lid_action->ac, r.lid_action->dc}) : Ordered(nullptr);
  doc["lid_scheme"] = optional_text(r.lid_scheme);
  if (r.sleep_idle) {
    const auto& t = r.sleep_idle->timeouts;
    doc["sleep_idle"] = Ordered::array({Ordered(r.sleep_idle->plan), Ordered::array({t[0], t[1], t[2], t[3]})});
  } else {
    doc["sleep_idle"] = nullptr;
  }
  doc["boost_dc"] = r.boost_dc ? Ordered::array({Ordered(r.boost_dc->plan), Ordered(r.boost_dc->value)})
                               : Ordered(nullptr);
  doc["linux_tuned"] = r.linux_tuned;
  return pretty(doc);
}

std::string touched_text(const std::vector<Touched>& entries) {
  Ordered doc = Ordered::array();
  for (const Touched& t : entries) {
    Ordered entry = Ordered::object();
    entry["pid"] = t.pid;
    entry["exe"] = t.exe;
    entry["start"] = t.start;
    entry["paused"] = t.paused;
    entry["previous"] = t.previous;
    entry["unit"] = optional_text(t.unit);
    doc.push_back(std::move(entry));
  }
  return pretty(doc);
}

}  // namespace vesk::restore
