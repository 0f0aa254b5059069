#include "cli/renderers.h"

#include <charconv>
#include <cstdio>

#include "base/json.h"
#include "cli/text.h"
#include "cli/time_args.h"

namespace vesk::cli {

namespace {

const char kDot[] = " \xC2\xB7 ";  // " · "

std::string string_or(const Json& object, std::string_view key, std::string_view fallback) {
  const std::string* s = string_member(object, key);
  return s ? *s : std::string(fallback);
}

// Every element of an array member, in order; a missing or non-array member
// has none.
template <class Fn>
void for_each_element(const Json& reply, std::string_view key, Fn fn) {
  const Json* array = array_member(reply, key);
  if (array == nullptr) return;
  for (const Json& entry : *array) fn(entry);
}

std::string number_text_or_null(const Json& object, std::string_view key) {
  const Json* m = member(object, key);
  return m && m->is_number() ? json_text(*m) : "null";
}

// The shortest text that reads back as the same double: 7, 12.25.
std::string shortest(double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : "0";
}

}  // namespace

std::string json_text(const Json& value) { return compact_json(value); }

std::string render_status(const Json& reply) {
  std::string out = string_or(reply, "status", "") + "\n";
  if (const Json* battery = member(reply, "battery")) {
    out += "Battery " + number_text_or_null(*battery, "percent") + "%";
    if (bool_member(*battery, "on_power") == true) {
      out += std::string(kDot) + "plugged in";
    } else if (std::optional<double> hours = number_member(reply, "hours_left_closed")) {
      out += std::string(kDot) + "\xE2\x89\x88" + hours_text(*hours) + " left with the lid closed";
    }
    out += "\n";
  }
  if (const std::string* warning = string_member(reply, "warning")) {
    out += "Note: " + *warning + "\n";
  }
  for_each_element(reply, "watching", [&](const Json& w) {
    out += "  " + string_or(w, "name", "");
    const std::string* project = string_member(w, "project");
    if (project && !project->empty()) out += " in " + *project;
    out += ": ";
    if (bool_member(w, "working") == true) {
      out += "working (" + number_text_or_null(w, "cpu_percent") + "% CPU)";
    } else {
      out += "idle";
    }
    if (bool_member(w, "keeps_awake") == false) out += std::string(kDot) + "tracked only";
    out += "\n";
  });
  for_each_element(reply, "holds", [&](const Json& h) {
    out += "  hold " + string_or(h, "id", "") + ": " + string_or(h, "reason", "") + "\n";
  });
  return out;
}

std::string render_hold(const Json& reply) {
  std::string id = "?";
  if (const Json* hold = member(reply, "hold")) id = string_or(*hold, "id", "?");
  return "Holding (id " + id + "). " + string_or(reply, "status", "") + "\n";
}

std::string render_release(const Json& reply) {
  const Json* released = member(reply, "released");
  return "Released " + (released ? json_text(*released) : std::string("null")) + ". " +
         string_or(reply, "status", "") + "\n";
}

std::string render_settings(const Json& reply) {
  std::string out;
  for_each_element(reply, "settings", [&](const Json& entry) {
    const Json* value = member(entry, "value");
    std::string allowed;
    if (const Json* list = array_member(entry, "allowed")) {
      for (const Json& choice : *list) {
        if (!choice.is_string()) continue;
        if (!allowed.empty()) allowed += "|";
        allowed += choice.get<std::string>();
      }
    }
    out += string_or(entry, "key", "") + " = " + (value ? json_text(*value) : "null") + "   [" +
           allowed + "]\n";
    out += "    " + string_or(entry, "description", "");
    if (const std::string* note = string_member(entry, "note")) out += " (" + *note + ")";
    out += "\n";
  });
  out += "\nChange with: vesk set <key> <value>. Per-app rules: vesk rule <app> "
         "leave|slow|pause. File: " +
         string_or(reply, "config_file", "") + "\n";
  return out;
}

std::string render_power(const Json& reply) {
  std::string out;
  if (std::optional<double> watts = number_member(reply, "system_watts")) {
    out += "Using " + shortest(*watts) + " W now (" + string_or(reply, "source", "") + ").\n";
  } else {
    out += "Power: " + string_or(reply, "source", "unknown") + ".\n";
  }
  for_each_element(reply, "suspects", [&](const Json& s) {
    bool active = bool_member(s, "active") == true;
    out += std::string(active ? "\xE2\x80\xA2" : "\xE2\x9C\x93") + " " + string_or(s, "title", "") +
           "\n";
    if (active) {
      out += "    fix: vesk set " + string_or(s, "setting", "") + " " +
             string_or(s, "suggested_value", "") + "\n";
    }
  });
  return out;
}

std::string render_energy(const Json& reply) {
  std::string out;
  for_each_element(reply, "apps", [&](const Json& app) {
    char percent[64];
    std::snprintf(percent, sizeof percent, "%6.1f%%",
                  number_member(app, "cpu_percent").value_or(0.0));
    out += percent;
    out += "  " + pad_right(string_or(app, "name", ""), 24) + " lid closed: " +
           string_or(app, "while_closed", "") + "\n";
  });
  return out;
}

std::string render_config(const Json& reply) { return string_or(reply, "path", "") + "\n"; }

}  // namespace vesk::cli
