#include "agents/edit/toml_edit.h"

#include <algorithm>

#include "base/utf8.h"

namespace vesk::agents::edit {

namespace {

constexpr size_t kNoPos = std::string_view::npos;

bool is_blank_char(char c) { return c == ' ' || c == '\t'; }

void skip_blanks(std::string_view s, size_t& i) {
  while (i < s.size() && is_blank_char(s[i])) ++i;
}

bool is_bare_key_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

// A dotted key from s[i] to the end of its line: bare, "basic" or
// 'literal' parts joined by dots; i ends after it. Escapes in basic keys are
// kept as written: such a key never matches.
std::optional<KeyPath> read_key_path(std::string_view s, size_t& i) {
  KeyPath path;
  for (;;) {
    skip_blanks(s, i);
    std::string part;
    if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
      char quote = s[i++];
      size_t end = s.find(quote, i);
      size_t eol = s.find('\n', i);
      if (end == kNoPos || (eol != kNoPos && eol < end)) return std::nullopt;
      std::string_view quoted = s.substr(i, end - i);
      if (quote == '"' && quoted.find('\\') != kNoPos) part = "\\";
      part += quoted;
      i = end + 1;
    } else {
      size_t start = i;
      while (i < s.size() && is_bare_key_char(s[i])) ++i;
      if (i == start) return std::nullopt;
      part = s.substr(start, i - start);
    }
    path.push_back(std::move(part));
    skip_blanks(s, i);
    if (i >= s.size() || s[i] != '.') return path;
    ++i;
  }
}

bool starts_with(const KeyPath& path, const KeyPath& prefix) {
  return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

// One statement: a header or a key with its value, over one line or more.
struct Statement {
  enum class Kind { kHeader, kArrayHeader, kKeyValue, kOther } kind = Kind::kOther;
  KeyPath path;  // a header's table; a key's full path
  KeyPath table;  // the table a key sits in
  size_t begin = 0;  // the start of its first line
  size_t end = 0;    // past the line break of its last line
  size_t value_begin = 0, value_end = 0;  // a key's value, blanks and comment left out
  bool one_line = false;
};

// Scans a value from s[i] to the end of its last line: strings of every
// kind, nested arrays and inline tables, comments. Returns the position of
// the line break (or the end) that ends it; `value_end` gets the end of the
// value itself.
size_t scan_value(std::string_view s, size_t i, size_t& value_end) {
  int depth = 0;
  value_end = i;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      if (depth == 0) return i;
      ++i;
      continue;
    }
    if (c == '#') {
      size_t eol = s.find('\n', i);
      i = eol == kNoPos ? s.size() : eol;
      continue;
    }
    if (c == '"' || c == '\'') {
      bool triple = s.substr(i, 3) == std::string(3, c);
      if (triple) {
        size_t close = s.find(std::string(3, c), i + 3);
        if (close == kNoPos) return value_end = s.size();
        i = close + 3;
        while (i < s.size() && s[i] == c) ++i;  // up to two quotes belong to the string
      } else {
        ++i;
        while (i < s.size() && s[i] != c && s[i] != '\n') {
          if (c == '"' && s[i] == '\\' && i + 1 < s.size()) ++i;
          ++i;
        }
        if (i < s.size() && s[i] == c) ++i;
      }
      value_end = i;
      continue;
    }
    if (c == '[' || c == '{') ++depth;
    if ((c == ']' || c == '}') && depth > 0) --depth;
    ++i;
    if (!is_blank_char(c) && c != '\r') value_end = i;
  }
  return i;
}

std::vector<Statement> statements(std::string_view s) {
  std::vector<Statement> out;
  KeyPath table;
  size_t at = 0;
  while (at < s.size()) {
    Statement st;
    st.begin = at;
    size_t i = at;
    skip_blanks(s, i);
    size_t line_end = s.find('\n', at);
    if (line_end == kNoPos) line_end = s.size();
    if (i < s.size() && s[i] == '[') {
      bool array = i + 1 < s.size() && s[i + 1] == '[';
      i += array ? 2 : 1;
      if (auto path = read_key_path(s, i); path && i <= line_end) {
        st.kind = array ? Statement::Kind::kArrayHeader : Statement::Kind::kHeader;
        st.path = *path;
        table = *path;
      }
    } else if (auto key = read_key_path(s, i); key && i < line_end) {
      skip_blanks(s, i);
      if (i < s.size() && s[i] == '=') {
        ++i;
        skip_blanks(s, i);
        st.kind = Statement::Kind::kKeyValue;
        st.table = table;
        st.path = table;
        st.path.insert(st.path.end(), key->begin(), key->end());
        st.value_begin = i;
        line_end = scan_value(s, i, st.value_end);
        st.one_line = s.substr(st.value_begin, st.value_end - st.value_begin).find('\n') == kNoPos;
      }
    }
    st.end = line_end < s.size() ? line_end + 1 : s.size();
    at = st.end;
    out.push_back(std::move(st));
  }
  return out;
}

// A one-line TOML string value, decoded; nullopt for anything else.
std::optional<std::string> read_string(std::string_view v) {
  if (v.size() < 2 || v.front() != v.back() || (v.front() != '"' && v.front() != '\'')) {
    return std::nullopt;
  }
  if (v.substr(0, 3) == "\"\"\"" || v.substr(0, 3) == "'''") return std::nullopt;
  std::string_view inner = v.substr(1, v.size() - 2);
  if (v.front() == '\'') return std::string(inner);
  std::string out;
  for (size_t i = 0; i < inner.size(); ++i) {
    char c = inner[i];
    if (c != '\\') {
      if (c == '"') return std::nullopt;
      out += c;
      continue;
    }
    if (++i >= inner.size()) return std::nullopt;
    switch (inner[i]) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u':
      case 'U': {
        size_t digits = inner[i] == 'u' ? 4 : 8;
        if (inner.size() - i - 1 < digits) return std::nullopt;
        char32_t cp = 0;
        for (size_t d = 1; d <= digits; ++d) {
          char h = inner[i + d];
          int value = (h >= '0' && h <= '9')   ? h - '0'
                      : (h >= 'a' && h <= 'f') ? h - 'a' + 10
                      : (h >= 'A' && h <= 'F') ? h - 'A' + 10
                                               : -1;
          if (value < 0) return std::nullopt;
          cp = (cp << 4) | static_cast<char32_t>(value);
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        append_utf8(out, cp);
        i += digits;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

// A one-line array of strings; nullopt for anything else.
std::optional<std::vector<std::string>> read_string_array(std::string_view v) {
  if (v.size() < 2 || v.front() != '[' || v.back() != ']') return std::nullopt;
  std::vector<std::string> out;
  size_t i = 1;
  for (;;) {
    while (i < v.size() && (is_blank_char(v[i]) || v[i] == ',')) ++i;
    if (i >= v.size() - 1) return out;
    char quote = v[i];
    if (quote != '"' && quote != '\'') return std::nullopt;
    size_t j = i + 1;
    while (j < v.size() - 1 && v[j] != quote) j += (quote == '"' && v[j] == '\\') ? 2 : 1;
    if (j >= v.size() - 1) return std::nullopt;
    auto item = read_string(v.substr(i, j + 1 - i));
    if (!item) return std::nullopt;
    out.push_back(std::move(*item));
    i = j + 1;
  }
}

bool blank_line(std::string_view s, size_t begin, size_t end) {
  return s.substr(begin, end - begin).find_first_not_of(" \t\r\n") == kNoPos;
}

}  // namespace

TomlTable toml_find_table(std::string_view text, const KeyPath& path) {
  TomlTable found;
  KeyPath parent(path.begin(), path.end() - (path.empty() ? 0 : 1));
  for (const Statement& st : statements(text)) {
    if (st.kind == Statement::Kind::kOther) continue;
    bool header = st.kind != Statement::Kind::kKeyValue;
    if (starts_with(st.path, path)) {
      found.state = TomlTable::State::kPresent;
      if (!header && st.one_line && st.path.size() == path.size() + 1) {
        std::string_view value = text.substr(st.value_begin, st.value_end - st.value_begin);
        if (st.path.back() == "command") found.command = read_string(value);
        if (st.path.back() == "args") found.args = read_string_array(value);
      }
    } else if (!header && !parent.empty() && st.path == parent) {
      if (found.state == TomlTable::State::kAbsent) found.state = TomlTable::State::kBlocked;
    }
  }
  return found;
}

std::optional<std::string> toml_remove_table(std::string_view text, const KeyPath& path) {
  std::vector<Statement> all = statements(text);
  std::vector<bool> drop(all.size(), false);
  bool any = false;
  bool in_table = false;  // inside a header of the path, or below it
  for (size_t k = 0; k < all.size(); ++k) {
    const Statement& st = all[k];
    if (st.kind == Statement::Kind::kHeader || st.kind == Statement::Kind::kArrayHeader) {
      in_table = starts_with(st.path, path);
    }
    if (in_table || (st.kind == Statement::Kind::kKeyValue && starts_with(st.path, path))) {
      drop[k] = true;
      any = true;
    }
  }
  if (!any) return std::nullopt;
  // A blank line before a dropped table that runs to the end goes with it.
  size_t tail = all.size();
  while (tail > 0 && drop[tail - 1]) --tail;
  if (tail < all.size() && tail > 0 && all[tail].kind == Statement::Kind::kHeader &&
      blank_line(text, all[tail - 1].begin, all[tail - 1].end)) {
    drop[tail - 1] = true;
  }
  std::string out;
  for (size_t k = 0; k < all.size(); ++k) {
    if (!drop[k]) out += text.substr(all[k].begin, all[k].end - all[k].begin);
  }
  return out;
}

std::optional<std::string> toml_replace_values(
    std::string_view text, const KeyPath& path,
    const std::vector<std::pair<std::string, std::string>>& values) {
  struct Span {
    size_t begin, end;
    std::string value;
  };
  std::vector<Span> spans;
  std::vector<Statement> all = statements(text);
  for (const auto& [key, value] : values) {
    const Statement* line = nullptr;
    for (const Statement& st : all) {
      if (st.kind == Statement::Kind::kKeyValue && st.table == path && st.path.size() == path.size() + 1 &&
          st.path.back() == key) {
        if (line != nullptr) return std::nullopt;  // set twice: not ours to guess
        line = &st;
      }
    }
    if (line != nullptr) {
      if (!line->one_line) return std::nullopt;
      spans.push_back({line->value_begin, line->value_end, value});
      continue;
    }
    // A key the table lacks goes right after its header.
    const Statement* header = nullptr;
    for (const Statement& st : all) {
      if (st.kind == Statement::Kind::kHeader && st.path == path) header = &st;
    }
    if (header == nullptr) return std::nullopt;
    std::string_view header_text = text.substr(header->begin, header->end - header->begin);
    std::string eol = header_text.size() >= 2 && header_text.substr(header_text.size() - 2) == "\r\n"
                          ? "\r\n"
                          : "\n";
    std::string added = key + " = " + value + eol;
    if (header_text.empty() || header_text.back() != '\n') added = eol + key + " = " + value;
    spans.push_back({header->end, header->end, added});
  }
  std::stable_sort(spans.begin(), spans.end(),
                   [](const Span& a, const Span& b) { return a.begin > b.begin; });
  std::string out(text);
  for (const Span& span : spans) out.replace(span.begin, span.end - span.begin, span.value);
  return out;
}

}  // namespace vesk::agents::edit
