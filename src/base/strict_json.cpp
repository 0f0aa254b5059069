#include "base/strict_json.h"

#include <set>
#include <string>
#include <vector>

#include "base/json.h"
#include "base/utf8.h"

namespace vesk {
namespace {

// A pass over the document that builds nothing and stops at the first key
// given twice in one object: one set of keys per open object, so the check
// is linear in the size of the text.
class DuplicateKeys final : public nlohmann::json_sax<Json> {
 public:
  bool duplicate = false;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    open_objects_.emplace_back();
    return true;
  }
  bool key(string_t& name) override {
    if (!open_objects_.empty() && !open_objects_.back().insert(name).second) duplicate = true;
    return !duplicate;
  }
  bool end_object() override {
    if (!open_objects_.empty()) open_objects_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  std::vector<std::set<std::string>> open_objects_;
};

}  // namespace

std::optional<Json> parse_strict_json(std::string_view text, int max_depth) {
  if (!parseable_json_text(text, max_depth)) return std::nullopt;

  // The parser keeps the last of two equal keys, so the keys are checked in
  // a pass of their own first. (A parser callback would do it in one pass,
  // but the library then looks through the parent at every object's end,
  // which is quadratic for a long array of objects.)
  DuplicateKeys keys;
  bool well_formed = Json::sax_parse(text.begin(), text.end(), &keys);
  if (keys.duplicate || !well_formed) return std::nullopt;
  Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

}  // namespace vesk
