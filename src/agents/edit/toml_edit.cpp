#include "agents/edit/toml_edit.h"

#include <algorithm>
#include <cstddef>

#include "agents/edit/toml_read.h"
#include "base/json.h"
#include "base/utf8.h"

namespace vesk::agents::edit {

// ---- Edits that agree with the TOML 1.0 reading ------------------------------

namespace {
namespace toml_scan {

constexpr size_t kEnd = std::string_view::npos;

bool blank(char c) { return c == ' ' || c == '\t'; }

bool bare(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

int hex_digit(char h) {
  if (h >= '0' && h <= '9') return h - '0';
  if (h >= 'a' && h <= 'f') return h - 'a' + 10;
  if (h >= 'A' && h <= 'F') return h - 'A' + 10;
  return -1;
}

bool starts_with(const KeyPath& path, const KeyPath& prefix) {
  return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

// A key as written: its parts decoded, and where each part is in the text.
struct Key {
  KeyPath parts;
  std::vector<std::pair<size_t, size_t>> spans;
  size_t begin = 0, end = 0;
};

// A key and its value, at the top level of a table or inside an inline table.
struct Entry {
  KeyPath path;  // from the document's root
  Key key;
  size_t value_begin = 0, value_end = 0;
  int parent = -1;  // the inline table it sits in; -1 for a line of its own
  bool inline_table = false;
  size_t open = 0, close = 0;  // an inline table's braces
  std::vector<int> members;    // an inline table's entries
};

// One statement of the top level, over one line or more (a value may span
// lines): [begin, end) runs from its line's start to past its last line break.
struct Line {
  enum class Kind { kHeader, kArrayHeader, kKeyValue, kComment, kBlank } kind = Kind::kBlank;
  KeyPath path;  // a header's table
  int entry = -1;
  size_t begin = 0, end = 0;
};

// Reads text that toml++ has accepted; `ok` is cleared by anything it does
// not expect, and it never reads past the end.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {
    KeyPath table;
    // A byte-order mark stays where it is, before every line.
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") i_ = 3;
    while (ok && i_ < s_.size()) {
      Line line;
      line.begin = i_;
      blanks();
      char c = peek();
      if (c == '\n' || c == '\r' || at_end()) {
        line.kind = Line::Kind::kBlank;
      } else if (c == '#') {
        line.kind = Line::Kind::kComment;
      } else if (c == '[') {
        bool array = s_.substr(i_, 2) == "[[";
        i_ += array ? 2 : 1;
        Key key = read_key();
        blanks();
        if (!expect(']') || (array && !expect(']'))) break;
        line.kind = array ? Line::Kind::kArrayHeader : Line::Kind::kHeader;
        line.path = key.parts;
        table = key.parts;
      } else {
        line.kind = Line::Kind::kKeyValue;
        line.entry = read_entry(table, -1);
      }
      finish_line();
      line.end = i_;
      lines.push_back(std::move(line));
    }
  }

  bool ok = true;
  std::vector<Line> lines;
  std::vector<Entry> entries;

 private:
  std::string_view s_;
  size_t i_ = 0;

  bool at_end() const { return i_ >= s_.size(); }
  char peek() const { return at_end() ? '\0' : s_[i_]; }
  void blanks() {
    while (!at_end() && blank(s_[i_])) ++i_;
  }
  bool expect(char c) {
    if (peek() != c) return ok = false;
    ++i_;
    return true;
  }
  // Blanks, line breaks and comments, as between an array's elements.
  void spaces() {
    for (;;) {
      blanks();
      if (peek() == '\r' || peek() == '\n') {
        ++i_;
      } else if (peek() == '#') {
        comment();
      } else {
        return;
      }
    }
  }
  void comment() {
    size_t eol = s_.find('\n', i_);
    i_ = eol == kEnd ? s_.size() : eol;
    if (i_ > 0 && s_[i_ - 1] == '\r' && i_ < s_.size()) --i_;
  }
  // The rest of a statement's line: blanks, a comment, the line break.
  void finish_line() {
    blanks();
    if (peek() == '#') comment();
    if (peek() == '\r') ++i_;
    if (at_end()) return;
    if (peek() != '\n') {
      ok = false;
      return;
    }
    ++i_;
  }

  Key read_key() {
    Key key;
    blanks();
    key.begin = i_;
    for (;;) {
      blanks();
      size_t start = i_;
      std::string part;
      char c = peek();
      if (c == '"') {
        ++i_;
        part = basic_string_body('"');
      } else if (c == '\'') {
        size_t close = s_.find('\'', i_ + 1);
        if (close == kEnd) {
          ok = false;
          return key;
        }
        part = s_.substr(i_ + 1, close - i_ - 1);
        i_ = close + 1;
      } else {
        while (!at_end() && bare(s_[i_])) ++i_;
        part = s_.substr(start, i_ - start);
        if (part.empty()) ok = false;
      }
      if (!ok) return key;
      key.parts.push_back(std::move(part));
      key.spans.emplace_back(start, i_);
      key.end = i_;
      blanks();
      if (peek() != '.') return key;
      ++i_;
    }
  }

  // A one-line basic string after its opening quote, decoded; i_ ends past
  // the closing quote.
  std::string basic_string_body(char quote) {
    std::string out;
    while (ok) {
      if (at_end()) {
        ok = false;
        break;
      }
      char c = s_[i_++];
      if (c == quote) break;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_end()) {
        ok = false;
        break;
      }
      char e = s_[i_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'b': out += '\b'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'f': out += '\f'; break;
        case 'r': out += '\r'; break;
        case 'e': out += '\x1B'; break;
        case 'x':
        case 'u':
        case 'U': {
          size_t digits = e == 'x' ? 2 : e == 'u' ? 4 : 8;
          char32_t code = 0;
          for (size_t k = 0; k < digits; ++k) {
            int d = hex_digit(peek());
            if (d < 0) {
              ok = false;
              return out;
            }
            code = code * 16 + static_cast<char32_t>(d);
            ++i_;
          }
          append_utf8(out, code);
          break;
        }
        default: ok = false;
      }
    }
    return out;
  }

  // Skips a multi-line string from its opening delimiter; up to two more
  // quotes before the closing delimiter belong to the string.
  void multi_line_string(char quote) {
    i_ += 3;
    while (!at_end()) {
      char c = s_[i_];
      if (quote == '"' && c == '\\') {
        i_ = std::min(i_ + 2, s_.size());
        continue;
      }
      if (c == quote && s_.substr(i_, 3) == std::string(3, quote)) {
        size_t run = 0;
        while (i_ + run < s_.size() && s_[i_ + run] == quote && run < 5) ++run;
        i_ += run;
        return;
      }
      ++i_;
    }
    ok = false;
  }

  // A value from i_; records an inline table's entries when `record`.
  void read_value(int entry, const KeyPath& path, bool record) {
    char c = peek();
    if (c == '"' || c == '\'') {
      if (s_.substr(i_, 3) == std::string(3, c)) return multi_line_string(c);
      ++i_;
      if (c == '"') {
        basic_string_body('"');
      } else {
        size_t close = s_.find('\'', i_);
        if (close == kEnd) {
          ok = false;
          return;
        }
        i_ = close + 1;
      }
      return;
    }
    if (c == '[') {
      ++i_;
      for (;;) {
        spaces();
        if (!ok || at_end()) return void(ok = false);
        if (peek() == ']') break;
        read_value(-1, path, false);
        spaces();
        if (peek() == ',') {
          ++i_;
        } else if (peek() != ']') {
          return void(ok = false);
        }
      }
      ++i_;
      return;
    }
    if (c == '{') {
      if (record) {
        entries[static_cast<size_t>(entry)].inline_table = true;
        entries[static_cast<size_t>(entry)].open = i_;
      }
      ++i_;
      for (;;) {
        spaces();
        if (!ok || at_end()) return void(ok = false);
        if (peek() == '}') break;
        int member = read_entry(path, record ? entry : -2);
        if (record && ok) entries[static_cast<size_t>(entry)].members.push_back(member);
        spaces();
        if (peek() == ',') {
          ++i_;
        } else if (peek() != '}') {
          return void(ok = false);
        }
      }
      if (record) entries[static_cast<size_t>(entry)].close = i_;
      ++i_;
      return;
    }
    // A number, a boolean, a date or a time (which may hold one space).
    size_t start = i_;
    while (!at_end() && std::string_view(",]}#\r\n").find(s_[i_]) == kEnd) ++i_;
    while (i_ > start && blank(s_[i_ - 1])) --i_;
    if (i_ == start) ok = false;
  }

  // key = value, within `table`; `parent` is the inline table it is in, -1
  // for the top level, -2 for somewhere not recorded (inside an array).
  int read_entry(const KeyPath& table, int parent) {
    Key key = read_key();
    blanks();
    if (!ok || !expect('=')) return -1;
    blanks();
    KeyPath path = table;
    path.insert(path.end(), key.parts.begin(), key.parts.end());
    bool record = parent != -2;
    int index = -1;
    if (record) {
      index = static_cast<int>(entries.size());
      Entry e;
      e.path = path;
      e.key = std::move(key);
      e.parent = parent;
      e.value_begin = i_;
      entries.push_back(std::move(e));
    }
    read_value(index, path, record);
    if (record) entries[static_cast<size_t>(index)].value_end = i_;
    return index;
  }
};

// A key part as a header writes it: bare where it can be.
std::string key_text(const std::string& part) {
  bool is_bare = !part.empty() && std::all_of(part.begin(), part.end(), bare);
  return is_bare ? part : toml_basic_string(part);
}

std::string path_text(const KeyPath& path) {
  std::string out;
  for (const std::string& part : path) {
    if (!out.empty()) out += '.';
    out += key_text(part);
  }
  return out;
}

// The file's own line break: that of its first line.
std::string line_break_of(std::string_view s) {
  size_t eol = s.find('\n');
  return eol != kEnd && eol > 0 && s[eol - 1] == '\r' ? "\r\n" : "\n";
}

// The line break that ends the statement [begin, end); the file's when it
// is the last line and has none.
std::string line_break_at(std::string_view s, size_t end) {
  if (end >= 2 && s.substr(end - 2, 2) == "\r\n") return "\r\n";
  if (end >= 1 && s[end - 1] == '\n') return "\n";
  return line_break_of(s);
}

struct Splice {
  size_t begin, end;
  std::string text;
};

std::string spliced(std::string_view s, std::vector<Splice> splices) {
  std::stable_sort(splices.begin(), splices.end(),
                   [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
  std::string out;
  size_t at = 0;
  for (const Splice& sp : splices) {
    if (sp.begin < at) {
      // Overlaps what an earlier cut took out: only cuts overlap.
      at = std::max(at, sp.end);
      continue;
    }
    out += s.substr(at, sp.begin - at);
    out += sp.text;
    at = sp.end;
  }
  out += s.substr(at);
  return out;
}

// The JSON value at `path`, or nullptr.
const Json* at_path(const Json& doc, const KeyPath& path, size_t count) {
  const Json* node = &doc;
  for (size_t k = 0; k < count; ++k) {
    if (!node->is_object()) return nullptr;
    auto found = node->find(path[k]);
    if (found == node->end()) return nullptr;
    node = &*found;
  }
  return node;
}

std::string kind_of(const Json& value) {
  if (value.is_array()) {
    bool tables = !value.empty() && std::all_of(value.begin(), value.end(),
                                                [](const Json& v) { return v.is_object(); });
    return tables ? "an array of tables" : "an array";
  }
  if (value.is_string()) return "a string or a date";
  if (value.is_boolean()) return "a boolean";
  return "a number";
}

Error not_a_table(const KeyPath& path, size_t count, const Json& value) {
  return Error{" sets " + path_text(KeyPath(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(count))) +
               " to " + kind_of(value) + ", not a table, so I left it alone"};
}

Error unsafe(const KeyPath& path) {
  return Error{" has " + path_text(path) + " in a form I can't edit safely, so I left it alone"};
}

// `doc` without the table at `path`, and without the tables above it that
// this leaves empty when `edited` has them no more.
Json without(Json doc, const KeyPath& path, const Json& edited) {
  for (size_t n = path.size(); n > 0; --n) {
    Json* parent = &doc;
    for (size_t k = 0; k + 1 < n; ++k) parent = &(*parent)[path[k]];
    if (n == path.size()) {
      parent->erase(path[n - 1]);
    } else {
      const Json* there = at_path(edited, path, n);
      if ((*parent)[path[n - 1]].empty() && there == nullptr) parent->erase(path[n - 1]);
    }
  }
  return doc;
}

Result<std::string> set_keys(std::string_view text, const KeyPath& path,
                             const std::vector<std::pair<std::string, std::string>>& values) {
  TRY_ASSIGN(Json doc, toml_document(text));
  if (path.empty()) return unsafe(path);
  bool present = true;
  for (size_t n = 1; n <= path.size() && present; ++n) {
    const Json* node = at_path(doc, path, n);
    if (node == nullptr) {
      present = false;
    } else if (!node->is_object()) {
      return not_a_table(path, n, *node);
    }
  }
  // What the table holds afterwards, each value read as TOML reads it.
  Json wanted = doc;
  Json* table = &wanted;
  for (const std::string& part : path) table = &(*table)[part];
  if (!table->is_object()) *table = Json::object();
  for (const auto& [key, value] : values) {
    auto read = toml_document("v = " + value + "\n");
    if (!read) return Error{" would get a value that isn't TOML for " + key + ", so I left it alone"};
    (*table)[key] = (*read)["v"];
  }

  Scanner scan(text);
  if (!scan.ok) return unsafe(path);
  const std::string eol = line_break_of(text);
  std::vector<Splice> splices;
  // Where the table is written: its header, an inline table, dotted keys,
  // or only its subtables.
  const Line* header = nullptr;
  const Line* first_subtable = nullptr;
  const Entry* inline_entry = nullptr;
  const Entry* dotted = nullptr;
  for (const Line& line : scan.lines) {
    bool is_header = line.kind == Line::Kind::kHeader || line.kind == Line::Kind::kArrayHeader;
    if (is_header && line.path == path) header = &line;
    if (is_header && line.path.size() > path.size() && starts_with(line.path, path) &&
        first_subtable == nullptr) {
      first_subtable = &line;
    }
  }
  for (const Entry& e : scan.entries) {
    if (e.path == path && e.inline_table) inline_entry = &e;
    // A dotted key whose own parts run through the table's name.
    if (e.path.size() > path.size() && starts_with(e.path, path) &&
        e.path.size() - e.key.parts.size() < path.size()) {
      dotted = &e;
    }
  }
  std::vector<std::string> missing_lines;  // `key = value` for each
  for (const auto& [key, value] : values) {
    KeyPath full = path;
    full.push_back(key);
    const Entry* set = nullptr;
    for (const Entry& e : scan.entries) {
      if (e.path == full) set = &e;
    }
    if (set != nullptr) {
      splices.push_back({set->value_begin, set->value_end, value});
      continue;
    }
    if (present && at_path(doc, full, full.size()) != nullptr) {
      return Error{" sets " + path_text(full) + " as a table, so I left it alone"};
    }
    missing_lines.push_back(key_text(key) + " = " + value);
  }

  if (!missing_lines.empty()) {
    if (!present) {
      // A table can't be added inside an inline table.
      for (const Entry& e : scan.entries) {
        if (e.inline_table && e.path.size() < path.size() && starts_with(path, e.path)) {
          return Error{" sets " + path_text(e.path) +
                       " as an inline table, to which no table can be added, so I left it alone"};
        }
      }
      std::string added = eol + "[" + path_text(path) + "]" + eol;
      for (const std::string& line : missing_lines) added += line + eol;
      splices.push_back({text.size(), text.size(), added});
    } else if (header != nullptr) {
      std::string brk = line_break_at(text, header->end);
      bool ends_line = header->end > 0 && text[header->end - 1] == '\n';
      std::string added;
      for (const std::string& line : missing_lines) added += ends_line ? line + brk : brk + line;
      splices.push_back({header->end, header->end, added});
    } else if (inline_entry != nullptr) {
      std::string added;
      if (inline_entry->members.empty()) {
        for (const std::string& member : missing_lines) added += (added.empty() ? " " : ", ") + member;
        splices.push_back({inline_entry->open + 1, inline_entry->close, added + " "});
      } else {
        for (const std::string& member : missing_lines) added += ", " + member;
        const Entry& last = scan.entries[static_cast<size_t>(inline_entry->members.back())];
        splices.push_back({last.value_end, last.value_end, added});
      }
    } else if (dotted != nullptr) {
      size_t own = path.size() - 1 - (dotted->path.size() - dotted->key.parts.size());
      std::string prefix(text.substr(dotted->key.begin, dotted->key.spans[own].second - dotted->key.begin));
      if (dotted->parent >= 0) {
        std::string added;
        for (const std::string& line : missing_lines) added += ", " + prefix + "." + line;
        splices.push_back({dotted->value_end, dotted->value_end, added});
      } else {
        const Line* line = nullptr;
        for (const Line& l : scan.lines) {
          if (l.entry >= 0 && &scan.entries[static_cast<size_t>(l.entry)] == dotted) line = &l;
        }
        if (line == nullptr) return unsafe(path);
        std::string indent(text.substr(line->begin, dotted->key.begin - line->begin));
        if (indent.find_first_not_of(" \t") != std::string::npos) indent.clear();
        std::string brk = line_break_at(text, line->end);
        bool ends_line = line->end > 0 && text[line->end - 1] == '\n';
        std::string added;
        for (const std::string& member : missing_lines) {
          std::string one = indent + prefix + "." + member;
          added += ends_line ? one + brk : brk + one;
        }
        splices.push_back({line->end, line->end, added});
      }
    } else if (first_subtable != nullptr) {
      std::string brk = line_break_at(text, first_subtable->end);
      std::string added = "[" + path_text(path) + "]" + brk;
      for (const std::string& line : missing_lines) added += line + brk;
      splices.push_back({first_subtable->begin, first_subtable->begin, added + brk});
    } else {
      return unsafe(path);
    }
  }

  std::string out = spliced(text, std::move(splices));
  // The reader has the last word: the edit holds the input's data with only
  // the table's keys changed, or nothing is written.
  auto after = toml_document(out);
  if (!after || *after != wanted) return unsafe(path);
  return out;
}

Result<std::optional<std::string>> remove_table(std::string_view text, const KeyPath& path) {
  TRY_ASSIGN(Json doc, toml_document(text));
  const Json* there = path.empty() ? nullptr : at_path(doc, path, path.size());
  if (there == nullptr || !there->is_object()) return std::optional<std::string>();
  Scanner scan(text);
  if (!scan.ok) return unsafe(path);
  std::vector<Splice> cuts;
  bool table_at_end = false;
  const std::vector<Line>& lines = scan.lines;
  auto is_header = [&](size_t k) {
    return lines[k].kind == Line::Kind::kHeader || lines[k].kind == Line::Kind::kArrayHeader;
  };
  for (size_t k = 0; k < lines.size(); ++k) {
    const Line& line = lines[k];
    if (is_header(k) && starts_with(line.path, path)) {
      // The table's lines up to the next header, but for the comments
      // directly above it, which are about that table.
      size_t next = k + 1;
      while (next < lines.size() && !is_header(next)) ++next;
      size_t keep = next;
      if (next < lines.size()) {
        while (keep > k + 1 && lines[keep - 1].kind == Line::Kind::kComment) --keep;
      }
      size_t end = keep < lines.size() ? lines[keep].begin : text.size();
      if (end == text.size()) table_at_end = true;
      cuts.push_back({line.begin, end, ""});
      k = keep - 1;
      continue;
    }
    if (line.kind == Line::Kind::kKeyValue && line.entry >= 0 &&
        starts_with(scan.entries[static_cast<size_t>(line.entry)].path, path)) {
      cuts.push_back({line.begin, line.end, ""});
    }
  }
  // Members of inline tables above the table, with the commas between them.
  for (const Entry& parent : scan.entries) {
    if (!parent.inline_table || starts_with(parent.path, path)) continue;
    const std::vector<int>& m = parent.members;
    auto gone = [&](size_t k) {
      return starts_with(scan.entries[static_cast<size_t>(m[k])].path, path);
    };
    auto member = [&](size_t k) -> const Entry& { return scan.entries[static_cast<size_t>(m[k])]; };
    size_t n = m.size();
    if (n > 0 && std::all_of(m.begin(), m.end(), [&](int e) {
          return starts_with(scan.entries[static_cast<size_t>(e)].path, path);
        })) {
      cuts.push_back({parent.open + 1, parent.close, ""});
      continue;
    }
    for (size_t k = 0; k < n;) {
      if (!gone(k)) {
        ++k;
        continue;
      }
      size_t j = k;
      while (j + 1 < n && gone(j + 1)) ++j;
      if (j + 1 < n) {
        cuts.push_back({member(k).key.begin, member(j + 1).key.begin, ""});
      } else {
        cuts.push_back({member(k - 1).value_end, member(j).value_end, ""});
      }
      k = j + 1;
    }
  }
  if (cuts.empty()) return unsafe(path);
  if (table_at_end) {
    // The lines cut at the end go with the line break before them: the
    // one toml_set_keys puts before a table it appends (a blank line in a
    // file that ends with a line break), so that what it appended comes out
    // to the byte.
    std::sort(cuts.begin(), cuts.end(),
              [](const Splice& x, const Splice& y) { return x.begin < y.begin; });
    size_t from = text.size();
    for (size_t k = cuts.size(); k > 0 && cuts[k - 1].end >= from; --k) {
      from = std::min(from, cuts[k - 1].begin);
    }
    for (const Line& before : lines) {
      if (before.end != from || from == 0 || text[from - 1] != '\n') continue;
      size_t brk = from - 1;
      if (brk > before.begin && text[brk - 1] == '\r') --brk;
      cuts.push_back({brk, from, ""});
      break;
    }
  }
  std::string out = spliced(text, std::move(cuts));
  auto after = toml_document(out);
  if (!after || *after != without(doc, path, *after)) return unsafe(path);
  return std::optional<std::string>(std::move(out));
}

}  // namespace toml_scan
}  // namespace

std::string toml_basic_string(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
      // TOML allows no other control character in a basic string, and one
      // there would make Codex reject the whole file.
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

Result<std::string> toml_set_keys(std::string_view text, const KeyPath& path,
                                  const std::vector<std::pair<std::string, std::string>>& values) {
  return toml_scan::set_keys(text, path, values);
}

Result<std::optional<std::string>> toml_remove_table(std::string_view text, const KeyPath& path) {
  return toml_scan::remove_table(text, path);
}

}  // namespace vesk::agents::edit
