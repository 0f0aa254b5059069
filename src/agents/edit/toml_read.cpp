// The one file that includes toml++ (a heavy header): it stays out of the
// unity batches.
#include "agents/edit/toml_read.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "base/json.h"
#include "base/utf8.h"

#ifndef TOML_EXCEPTIONS
#define TOML_EXCEPTIONS 0
#endif
#include <toml++/toml.h>

namespace vesk::agents::edit {

namespace {

std::string two_digits(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02u", value % 100);
  return buffer;
}

std::string date_text(const toml::date& d) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04u-", static_cast<unsigned>(d.year) % 10000);
  return buffer + two_digits(d.month) + "-" + two_digits(d.day);
}

std::string time_text(const toml::time& t) {
  std::string out = two_digits(t.hour) + ":" + two_digits(t.minute) + ":" + two_digits(t.second);
  if (t.nanosecond != 0) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, ".%09u", static_cast<unsigned>(t.nanosecond % 1000000000u));
    out += buffer;
  }
  return out;
}

std::string offset_text(const toml::time_offset& offset) {
  if (offset.minutes == 0) return "Z";
  int minutes = offset.minutes;
  std::string out = minutes < 0 ? "-" : "+";
  unsigned magnitude = static_cast<unsigned>(minutes < 0 ? -minutes : minutes);
  return out + two_digits(magnitude / 60) + ":" + two_digits(magnitude % 60);
}

Json json_of(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table: {
      Json out = Json::object();
      for (const auto& [key, child] : *node.as_table()) out[std::string(key.str())] = json_of(child);
      return out;
    }
    case toml::node_type::array: {
      Json out = Json::array();
      for (const toml::node& child : *node.as_array()) out.push_back(json_of(child));
      return out;
    }
    case toml::node_type::string: return Json(node.as_string()->get());
    case toml::node_type::integer: return Json(node.as_integer()->get());
    case toml::node_type::floating_point: {
      double value = node.as_floating_point()->get();
      // NaN equals nothing, not even itself.
      if (std::isnan(value)) return Json("float:nan");
      return Json(value);
    }
    case toml::node_type::boolean: return Json(node.as_boolean()->get());
    case toml::node_type::date: return Json("date:" + date_text(node.as_date()->get()));
    case toml::node_type::time: return Json("time:" + time_text(node.as_time()->get()));
    case toml::node_type::date_time: {
      const toml::date_time& dt = node.as_date_time()->get();
      std::string text = date_text(dt.date) + "T" + time_text(dt.time);
      if (!dt.offset) return Json("datetime-local:" + text);
      return Json("datetime:" + text + offset_text(*dt.offset));
    }
    case toml::node_type::none: break;
  }
  return Json();
}

}  // namespace

Result<Json> toml_document(std::string_view text) {
  if (!valid_utf8(text)) return Error{" isn't UTF-8 text, so I left it alone"};
  toml::parse_result parsed = toml::parse(text);
  if (!parsed) {
    const toml::parse_error& error = parsed.error();
    std::string description(error.description());
    for (char& c : description) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    return Error{" isn't valid TOML (line " + std::to_string(error.source().begin.line) +
                 ", column " + std::to_string(error.source().begin.column) + ": " + description +
                 "), so I left it alone"};
  }
  return json_of(parsed.table());
}

}  // namespace vesk::agents::edit
