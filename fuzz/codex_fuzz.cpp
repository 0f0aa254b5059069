// Fuzzes connecting and disconnecting Codex with arbitrary existing
// `config.toml` contents, on a real file. An addition appends the server's
// table to the input unchanged. Where the input lies in a plain subset of
// TOML that the small reader below understands, and is valid there: a
// connected result is valid too and holds the server's command and
// arguments, connecting again changes nothing, disconnecting leaves valid
// TOML without the server (and an added table gives the input back); "no
// change" means the input configures the server already, and a refusal
// means mcp_servers is a value. The backup equals the input; a refusal or
// "no change" writes nothing.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "agents/agents.h"
#include "agents/catalogue.h"
#include "agents/registrar.h"
#include "base/utf8.h"
#include "platform/fs.h"
#include "fuzz_support.h"

namespace {

using vesk::fuzzing::check;
using vesk::fuzzing::empty;
using vesk::fuzzing::names;
using vesk::fuzzing::scratch_folder;

const vesk::agents::LaunchEntry kEntry{"C:\\Tools\\v\"esk\x01\\vesk.exe", {"mcp", "a'b"}};

using KeyPath = std::vector<std::string>;

// A value of the subset: strings decoded; arrays of strings as their
// elements; anything else only as "other".
struct Value {
  std::optional<std::string> text;
  std::optional<std::vector<std::string>> texts;
};

// The subset, one line at a time: blank or a comment; a table header [a.b]
// (bare keys, quoted keys without escapes); or a dotted key, "=", and a value
// on that line (a basic string, a literal string, an integer, true, false, or
// an array of those), then an optional comment. `outside` is set for anything
// else; `valid` is cleared by what TOML forbids (a table defined twice, a key
// given twice, a table over a value or a value over a table).
class Reader {
 public:
  bool outside = false;
  bool valid = true;
  std::map<KeyPath, Value> values;
  std::set<KeyPath> headers;         // defined by [header]
  std::set<KeyPath> header_parents;  // created by a longer [header]
  std::set<KeyPath> dotted;          // created by dotted keys

  explicit Reader(std::string_view text) {
    if (!vesk::valid_utf8(text)) {
      outside = true;
      return;
    }
    size_t at = 0;
    while (at < text.size() && !outside) {
      size_t end = text.find('\n', at);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      read_line(line);
      at = end + 1;
    }
  }

 private:
  std::string_view line_;
  size_t i_ = 0;
  KeyPath table_;

  bool more() const { return i_ < line_.size(); }
  char peek() const { return more() ? line_[i_] : '\0'; }
  void blanks() {
    while (peek() == ' ' || peek() == '\t') ++i_;
  }
  void fail() { outside = true; }
  static bool control(char c) {
    auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && c != '\t') || b == 0x7F;
  }

  void read_line(std::string_view line) {
    line_ = line;
    i_ = 0;
    blanks();
    if (!more() || peek() == '#') return comment();
    if (peek() == '[') {
      ++i_;
      if (peek() == '[') return fail();
      auto path = key_path();
      if (!path || peek() != ']') return fail();
      ++i_;
      blanks();
      comment();
      define_table(*path);
      return;
    }
    auto key = key_path();
    if (!key || peek() != '=') return fail();
    ++i_;
    blanks();
    auto v = value();
    if (!v) return fail();
    blanks();
    comment();
    define_value(*key, std::move(*v));
  }

  void comment() {
    if (!more()) return;
    if (peek() != '#') return fail();
    for (char c : line_.substr(i_)) {
      if (control(c)) return fail();
    }
  }

  std::optional<KeyPath> key_path() {
    KeyPath path;
    for (;;) {
      blanks();
      std::string part;
      if (peek() == '"' || peek() == '\'') {
        char quote = line_[i_++];
        while (more() && peek() != quote) {
          if (peek() == '\\' || control(peek())) return std::nullopt;
          part += line_[i_++];
        }
        if (!more()) return std::nullopt;
        ++i_;
      } else {
        while (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_' || peek() == '-') {
          part += line_[i_++];
        }
        if (part.empty()) return std::nullopt;
      }
      path.push_back(std::move(part));
      blanks();
      if (peek() != '.') return path;
      ++i_;
    }
  }

  std::optional<std::string> basic_string() {
    ++i_;  // the opening quote
    std::string out;
    while (more() && peek() != '"') {
      char c = line_[i_++];
      if (control(c)) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      char e = peek();
      ++i_;
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'b': out += '\b'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'f': out += '\f'; break;
        case 'r': out += '\r'; break;
        case 'u':
        case 'U': {
          size_t digits = e == 'u' ? 4 : 8;
          if (i_ + digits > line_.size()) return std::nullopt;
          uint32_t code = 0;
          for (size_t k = 0; k < digits; ++k) {
            char h = line_[i_++];
            int d = std::isdigit(static_cast<unsigned char>(h)) ? h - '0'
                    : (h >= 'A' && h <= 'F')                   ? h - 'A' + 10
                    : (h >= 'a' && h <= 'f')                   ? h - 'a' + 10
                                                               : -1;
            if (d < 0) return std::nullopt;
            code = code * 16 + static_cast<uint32_t>(d);
          }
          if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
          vesk::append_utf8(out, static_cast<char32_t>(code));
          break;
        }
        default: return std::nullopt;
      }
    }
    if (!more()) return std::nullopt;
    ++i_;
    return out;
  }

  std::optional<std::string> literal_string() {
    ++i_;
    std::string out;
    while (more() && peek() != '\'') {
      if (control(peek())) return std::nullopt;
      out += line_[i_++];
    }
    if (!more()) return std::nullopt;
    ++i_;
    return out;
  }

  // One value that is not an array; nullopt outside the subset.
  std::optional<Value> scalar() {
    if (peek() == '"') {
      if (line_.substr(i_).starts_with("\"\"\"")) return std::nullopt;
      auto s = basic_string();
      if (!s) return std::nullopt;
      return Value{s, std::nullopt};
    }
    if (peek() == '\'') {
      if (line_.substr(i_).starts_with("'''")) return std::nullopt;
      auto s = literal_string();
      if (!s) return std::nullopt;
      return Value{s, std::nullopt};
    }
    for (std::string_view word : {"true", "false"}) {
      if (line_.substr(i_).starts_with(word)) {
        i_ += word.size();
        return Value{};
      }
    }
    size_t start = i_;
    if (peek() == '+' || peek() == '-') ++i_;
    size_t digits = i_;
    while (std::isdigit(static_cast<unsigned char>(peek()))) ++i_;
    if (i_ == digits || (line_[digits] == '0' && i_ - digits > 1)) {
      i_ = start;
      return std::nullopt;
    }
    return Value{};
  }

  std::optional<Value> value() {
    std::optional<Value> v;
    if (peek() != '[') {
      v = scalar();
    } else {
      ++i_;
      Value array{std::nullopt, std::vector<std::string>{}};
      blanks();
      while (peek() != ']') {
        auto element = scalar();
        if (!element) return std::nullopt;
        if (element->text && array.texts) {
          array.texts->push_back(*element->text);
        } else {
          array.texts.reset();
        }
        blanks();
        if (peek() == ',') {
          ++i_;
          blanks();
        } else if (peek() != ']') {
          return std::nullopt;
        }
      }
      ++i_;
      v = std::move(array);
    }
    // A value ends at a blank, a comment or the line's end.
    if (v && more() && peek() != ' ' && peek() != '\t' && peek() != '#') return std::nullopt;
    return v;
  }

  bool is_table(const KeyPath& p) const {
    return headers.count(p) || header_parents.count(p) || dotted.count(p);
  }

  void define_table(const KeyPath& path) {
    for (size_t n = 1; n <= path.size(); ++n) {
      if (values.count(KeyPath(path.begin(), path.begin() + n))) valid = false;
    }
    if (headers.count(path) || dotted.count(path)) valid = false;
    headers.insert(path);
    for (size_t n = 1; n < path.size(); ++n) header_parents.insert(KeyPath(path.begin(), path.begin() + n));
    table_ = path;
  }

  void define_value(const KeyPath& key, Value v) {
    KeyPath full = table_;
    for (size_t n = 0; n < key.size(); ++n) {
      full.push_back(key[n]);
      if (n + 1 == key.size()) break;
      // An intermediate table of a dotted key.
      if (values.count(full) || headers.count(full) || header_parents.count(full)) valid = false;
      dotted.insert(full);
    }
    if (values.count(full) || is_table(full)) valid = false;
    values[full] = std::move(v);
  }
};

bool configures_server(const Reader& doc) {
  const KeyPath server = {"mcp_servers", "vesk"};
  if (doc.headers.count(server)) return true;
  for (const auto& [path, value] : doc.values) {
    if (path.size() >= 2 && path[0] == server[0] && path[1] == server[1]) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using Kind = vesk::agents::Change::Kind;
  std::string old(reinterpret_cast<const char*>(data), size);
  Reader before(old);
  bool judged = !before.outside && before.valid;
  const vesk::agents::AgentSpec& codex = *vesk::agents::find_agent("codex");
  vesk::agents::AgentFiles& files = vesk::agents::system_files();

  const std::string& folder = scratch_folder();
  std::string config = vesk::platform::join_path(folder, "config.toml");
  std::string backup = config + ".vesk-backup";
  check(vesk::platform::write_file(config, old).ok());
  auto c = vesk::agents::connect_agent(codex, config, kEntry, files);
  std::string now = vesk::platform::read_file(config).value_or("?");
  // What a connected file must say, where the reader understands it.
  auto holds_the_server = [&](const std::string& text) {
    Reader after(text);
    check(!after.outside && after.valid);
    const Value& command = after.values[{"mcp_servers", "vesk", "command"}];
    check(command.text == vesk::decode_lossy(kEntry.command));
    const Value& args = after.values[{"mcp_servers", "vesk", "args"}];
    check(args.texts == kEntry.args);
  };

  if (!c || c->kind == Kind::kUnchanged) {
    // A refusal, or nothing to change: nothing written.
    if (!c) check(!vesk::valid_utf8(old) || !judged || before.values.count({"mcp_servers"}));
    if (c) check(!judged || configures_server(before));
    check(names(folder) == std::vector<std::string>{"config.toml"});
    check(now == old);
  } else {
    if (!old.empty()) check(vesk::platform::read_file(backup).value_or("?") == old);
    check(names(folder).size() == (old.empty() ? 1u : 2u));
    if (c->kind == Kind::kAdded) {
      check(!judged || !configures_server(before));
      check(now == old + vesk::agents::codex_table(kEntry));
    } else {
      check(c->kind == Kind::kUpdated);
      check(!judged || configures_server(before));
    }
    if (judged) {
      holds_the_server(now);
      // Connected once, connected: a second run changes nothing.
      auto again = vesk::agents::connect_agent(codex, config, kEntry, files);
      check(again && again->kind == Kind::kUnchanged);
      // Disconnecting takes every line of the server out, and an added
      // table leaves the input as it was.
      auto d = vesk::agents::disconnect_agent(codex, config, files);
      check(d && d->kind == Kind::kRemoved);
      std::string after = vesk::platform::read_file(config).value_or("?");
      Reader gone(after);
      check(!gone.outside && gone.valid && !configures_server(gone));
      if (c->kind == Kind::kAdded && (old.empty() || old.back() == '\n')) check(after == old);
    }
  }
  empty(folder);
  return 0;
}
