#include "agents/edit/jsonc_edit.h"

#include <algorithm>
#include <vector>

#include "base/utf8.h"

namespace vesk::agents::edit {

namespace {

constexpr size_t kNone = std::string_view::npos;

// A value as it stands in the text.
struct Node;

struct Member {
  std::string key;  // decoded
  size_t key_begin = 0;
  size_t comma = kNone;  // the comma after the value, if any
  std::vector<Node> value;  // exactly one: a vector so that Node can be incomplete here
};

struct Node {
  enum class Kind { kObject, kArray, kString, kNumber, kLiteral } kind = Kind::kLiteral;
  size_t begin = 0;
  size_t end = 0;  // one past the last byte
  std::string text;  // a string decoded; a number or literal as written
  std::vector<Member> members;  // an object's
  std::vector<Node> elements;   // an array's
  std::vector<size_t> commas;   // the comma after each element, kNone if none
};

const Node& value_of(const Member& m) { return m.value.front(); }

class Parser {
 public:
  Parser(std::string_view text, JsonDialect dialect)
      : s_(text),
        bom_allowed_(dialect == JsonDialect::kJsonc),
        comments_(dialect != JsonDialect::kStrict),
        trailing_commas_(dialect == JsonDialect::kJsonc) {}

  // The document's top value; nullopt for a blank text. Fails with the
  // phrase that follows the file's name.
  Result<std::optional<Node>> document() {
    if (!valid_utf8(s_)) return Error{" isn't UTF-8 text, so I left it alone"};
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") {
      // JSON.parse takes a leading byte-order mark for a stray character;
      // the editors that read JSON with comments drop it.
      if (!bom_allowed_) {
        return Error{" starts with a byte-order mark, which its reader can't read, so I left it "
                     "alone"};
      }
      i_ = 3;
    }
    if (!skip_space()) return failure();
    if (i_ == s_.size()) return std::optional<Node>();
    Node root;
    if (!value(root, 0) || !skip_space()) return failure();
    if (i_ != s_.size()) {
      fail("more text after the end");
      return failure();
    }
    return std::optional<Node>(std::move(root));
  }

 private:
  Error failure() const {
    if (too_deep_) return Error{" is nested too deeply to edit safely, so I left it alone"};
    // LF, CRLF and a lone CR each end a line, as editors show them.
    size_t line = 1, column = 1;
    for (size_t k = 0; k < error_at_ && k < s_.size(); ++k) {
      if (s_[k] == '\n' || (s_[k] == '\r' && (k + 1 >= s_.size() || s_[k + 1] != '\n'))) {
        ++line;
        column = 1;
      } else if (s_[k] != '\r' && (static_cast<unsigned char>(s_[k]) & 0xC0) != 0x80) {
        ++column;
      }
    }
    if (lone_cr_) {
      return Error{" has a line comment ended by a lone carriage return (line " +
                   std::to_string(line) +
                   "), which agents read in different ways, so I left it alone"};
    }
    std::string where = "line " + std::to_string(line) + ", column " + std::to_string(column);
    if (comment_) {
      return Error{" has a comment (" + where + "), which its reader doesn't allow, so I left it alone"};
    }
    if (trailing_comma_) {
      return Error{" has a trailing comma (" + where + "), which its reader can't read, so I left it "
                   "alone"};
    }
    return Error{" isn't valid JSON (" + where + ": " + reason_ + "), so I left it alone"};
  }

  bool fail(std::string reason) { return fail_at(i_, std::move(reason)); }

  bool fail_at(size_t at, std::string reason) {
    if (reason_.empty()) {
      reason_ = std::move(reason);
      error_at_ = at;
    }
    return false;
  }

  // A comma right before a closing brace or bracket, where not allowed.
  bool trailing_comma(size_t comma) {
    if (reason_.empty()) trailing_comma_ = true;
    return fail_at(comma, "a trailing comma");
  }

  bool skip_space() {
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++i_;
      } else if (c == '/' && i_ + 1 < s_.size() && (s_[i_ + 1] == '/' || s_[i_ + 1] == '*')) {
        if (!comments_) {
          comment_ = true;
          return fail("a comment");
        }
        if (s_[i_ + 1] == '/') {
          // Some readers end a line comment at a lone CR, others read on to
          // the LF: what such a file holds depends on who reads it.
          size_t eol = s_.find_first_of("\r\n", i_);
          if (eol != kNone && s_[eol] == '\r' && (eol + 1 == s_.size() || s_[eol + 1] != '\n')) {
            if (reason_.empty()) lone_cr_ = true;
            return fail("a line comment ended by a lone carriage return");
          }
          i_ = eol == kNone ? s_.size() : eol;
        } else {
          size_t close = s_.find("*/", i_ + 2);
          if (close == kNone) return fail("a comment that never ends");
          i_ = close + 2;
        }
      } else {
        break;
      }
    }
    return true;
  }

  bool value(Node& node, int depth) {
    if (depth > kMaxJsonDepth) {
      too_deep_ = true;
      return fail("nested too deeply");
    }
    if (i_ >= s_.size()) return fail("the text ends where a value should be");
    node.begin = i_;
    char c = s_[i_];
    bool ok = false;
    if (c == '{') {
      node.kind = Node::Kind::kObject;
      ok = object(node, depth);
    } else if (c == '[') {
      node.kind = Node::Kind::kArray;
      ok = array(node, depth);
    } else if (c == '"') {
      node.kind = Node::Kind::kString;
      ok = string(node.text);
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      node.kind = Node::Kind::kNumber;
      ok = number();
    } else {
      node.kind = Node::Kind::kLiteral;
      ok = literal();
    }
    if (!ok) return false;
    node.end = i_;
    if (node.kind == Node::Kind::kNumber || node.kind == Node::Kind::kLiteral) {
      node.text = s_.substr(node.begin, node.end - node.begin);
    }
    return true;
  }

  bool object(Node& node, int depth) {
    ++i_;  // {
    if (!skip_space()) return false;
    if (i_ < s_.size() && s_[i_] == '}') {
      ++i_;
      return true;
    }
    for (;;) {
      if (i_ >= s_.size() || s_[i_] != '"') return fail("a member name should be here");
      Member member;
      member.key_begin = i_;
      if (!string(member.key) || !skip_space()) return false;
      if (i_ >= s_.size() || s_[i_] != ':') return fail("a colon should be here");
      ++i_;
      if (!skip_space()) return false;
      member.value.emplace_back();
      if (!value(member.value.back(), depth + 1) || !skip_space()) return false;
      bool comma = i_ < s_.size() && s_[i_] == ',';
      const size_t comma_at = i_;
      if (comma) {
        member.comma = i_++;
        if (!skip_space()) return false;
      }
      node.members.push_back(std::move(member));
      if (i_ < s_.size() && s_[i_] == '}') {
        if (comma && !trailing_commas_) return trailing_comma(comma_at);
        ++i_;
        return true;
      }
      if (!comma) return fail("a comma or a closing brace should be here");
    }
  }

  bool array(Node& node, int depth) {
    ++i_;  // [
    if (!skip_space()) return false;
    if (i_ < s_.size() && s_[i_] == ']') {
      ++i_;
      return true;
    }
    for (;;) {
      node.elements.emplace_back();
      if (!value(node.elements.back(), depth + 1) || !skip_space()) return false;
      bool comma = i_ < s_.size() && s_[i_] == ',';
      const size_t comma_at = i_;
      node.commas.push_back(comma ? comma_at : kNone);
      if (comma) {
        ++i_;
        if (!skip_space()) return false;
      }
      if (i_ < s_.size() && s_[i_] == ']') {
        if (comma && !trailing_commas_) return trailing_comma(comma_at);
        ++i_;
        return true;
      }
      if (!comma) return fail("a comma or a closing bracket should be here");
    }
  }

  bool hex4(uint32_t& out) {
    out = 0;
    if (s_.size() - i_ < 4) return false;
    for (int k = 0; k < 4; ++k) {
      char h = s_[i_ + k];
      out <<= 4;
      if (h >= '0' && h <= '9') {
        out |= static_cast<uint32_t>(h - '0');
      } else if (h >= 'a' && h <= 'f') {
        out |= static_cast<uint32_t>(h - 'a' + 10);
      } else if (h >= 'A' && h <= 'F') {
        out |= static_cast<uint32_t>(h - 'A' + 10);
      } else {
        return false;
      }
    }
    i_ += 4;
    return true;
  }

  // A string from its opening quote; `out` gets it decoded. A lone
  // surrogate escape is valid JSON: it reads as U+FFFD here and stays as
  // written in the text.
  bool string(std::string& out) {
    ++i_;  // "
    for (;;) {
      if (i_ >= s_.size()) return fail("a string that never ends");
      char c = s_[i_];
      if (c == '"') {
        ++i_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return fail("a control character in a string");
      if (c != '\\') {
        out += c;
        ++i_;
        continue;
      }
      if (++i_ >= s_.size()) return fail("a string that never ends");
      char e = s_[i_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t unit = 0;
          if (!hex4(unit)) return fail("a \\u escape without four hex digits");
          char32_t cp = unit;
          if (unit >= 0xD800 && unit <= 0xDBFF && s_.substr(i_, 2) == "\\u") {
            size_t back = i_;
            i_ += 2;
            uint32_t low = 0;
            if (hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
              cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            } else {
              i_ = back;  // the next escape stands on its own
              cp = 0xFFFD;
            }
          } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            cp = 0xFFFD;
          }
          append_utf8(out, cp);
          break;
        }
        default: --i_; return fail("an unknown escape in a string");
      }
    }
  }

  bool digits() {
    size_t start = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    return i_ > start;
  }

  bool number() {
    if (s_[i_] == '-') ++i_;
    if (i_ < s_.size() && s_[i_] == '0') {
      ++i_;
    } else if (!digits()) {
      return fail("a number without digits");
    }
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      if (!digits()) return fail("a number without digits after its point");
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (!digits()) return fail("a number without digits in its exponent");
    }
    return true;
  }

  bool literal() {
    for (std::string_view word : {"true", "false", "null"}) {
      if (s_.substr(i_, word.size()) == word) {
        i_ += word.size();
        return true;
      }
    }
    return fail("something that is no JSON value");
  }

  std::string_view s_;
  bool bom_allowed_;
  bool comments_;
  bool trailing_commas_;
  size_t i_ = 0;
  std::string reason_;
  size_t error_at_ = 0;
  bool comment_ = false;
  bool trailing_comma_ = false;
  bool lone_cr_ = false;
  bool too_deep_ = false;
};

Json to_json(const Node& node) {
  switch (node.kind) {
    case Node::Kind::kObject: {
      Json out = Json::object();
      for (const Member& m : node.members) out[m.key] = to_json(value_of(m));
      return out;
    }
    case Node::Kind::kArray: {
      Json out = Json::array();
      for (const Node& e : node.elements) out.push_back(to_json(e));
      return out;
    }
    case Node::Kind::kString: return Json(node.text);
    case Node::Kind::kNumber:
    case Node::Kind::kLiteral: {
      Json out = Json::parse(node.text, nullptr, false);
      return out.is_discarded() ? Json(node.text) : out;
    }
  }
  return Json();
}

// The text's layout: its line ending and one level of indentation.
struct Layout {
  std::string eol = "\n";
  std::string unit = "  ";
};

bool is_break(char c) { return c == '\n' || c == '\r'; }

// The length of the line break at `pos` (LF, CRLF or a lone CR); 0 if none.
size_t break_length(std::string_view s, size_t pos) {
  if (pos >= s.size() || !is_break(s[pos])) return 0;
  return s[pos] == '\r' && pos + 1 < s.size() && s[pos + 1] == '\n' ? 2 : 1;
}

// Where the line holding `pos` ends: at its line break, or the end of the text.
size_t end_of_line(std::string_view s, size_t pos) {
  size_t at = s.find_first_of("\r\n", pos);
  return at == kNone ? s.size() : at;
}

size_t line_start(std::string_view s, size_t pos) {
  size_t at = pos == 0 ? kNone : s.find_last_of("\r\n", pos - 1);
  return at == kNone ? 0 : at + 1;
}

Layout layout_of(std::string_view s) {
  Layout layout;
  size_t first = s.find_first_of("\r\n");
  if (first != kNone) layout.eol = std::string(s.substr(first, break_length(s, first)));
  // The first indented line that holds something shows one level.
  size_t at = 0;
  while (at < s.size()) {
    size_t end = end_of_line(s, at);
    std::string_view line = s.substr(at, end - at);
    size_t lead = line.find_first_not_of(" \t");
    if (lead != kNone && lead > 0) {
      std::string_view blanks = line.substr(0, lead);
      layout.unit = blanks.find('\t') != kNone ? std::string("\t") : std::string(blanks);
      break;
    }
    at = end + std::max<size_t>(break_length(s, end), 1);
  }
  return layout;
}

// The blanks that start the line holding `pos`.
std::string indent_of_line(std::string_view s, size_t pos) {
  size_t start = line_start(s, pos);
  size_t end = start;
  while (end < s.size() && (s[end] == ' ' || s[end] == '\t')) ++end;
  return std::string(s.substr(start, end - start));
}

bool only_blanks(std::string_view s) { return s.find_first_not_of(" \t") == kNone; }

// The line break that ends the line `from` is on, past the blanks and
// comments before it; `from` when something else comes first on that line.
size_t past_line_comments(std::string_view s, size_t from) {
  size_t at = from;
  for (;;) {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
    if (s.substr(at, 2) == "//") {
      at = end_of_line(s, at);
      break;
    }
    if (s.substr(at, 2) == "/*") {
      size_t close = s.find("*/", at + 2);
      if (close != kNone && s.substr(at, close - at).find_first_of("\r\n") == kNone) {
        at = close + 2;
        continue;
      }
    }
    break;
  }
  return at < s.size() && is_break(s[at]) ? at : from;
}

std::string scalar_text(const OrderedJson& value) {
  return value.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

bool is_container(const OrderedJson& value) { return value.is_object() || value.is_array(); }

// A value on one line: {"a": 1, "b": [2, 3]}.
std::string inline_text(const OrderedJson& value) {
  if (value.is_object()) {
    if (value.empty()) return "{}";
    std::string out = "{";
    bool first = true;
    for (const auto& [key, item] : value.items()) {
      if (!first) out += ", ";
      first = false;
      out += scalar_text(OrderedJson(key)) + ": " + inline_text(item);
    }
    return out + "}";
  }
  if (value.is_array()) {
    std::string out = "[";
    for (size_t k = 0; k < value.size(); ++k) {
      if (k > 0) out += ", ";
      out += inline_text(value[k]);
    }
    return out + "]";
  }
  return scalar_text(value);
}

// A value laid out as the file is: objects one member a line, arrays of
// plain values on one line. `indent` is that of the line it starts on.
std::string block_text(const OrderedJson& value, const std::string& indent, const Layout& layout) {
  if (value.is_object() && !value.empty()) {
    std::string inner = indent + layout.unit;
    std::string out = "{" + layout.eol;
    size_t k = 0;
    for (const auto& [key, item] : value.items()) {
      out += inner + scalar_text(OrderedJson(key)) + ": " + block_text(item, inner, layout);
      out += ++k < value.size() ? "," + layout.eol : layout.eol;
    }
    return out + indent + "}";
  }
  if (value.is_array() && std::any_of(value.begin(), value.end(), is_container)) {
    std::string inner = indent + layout.unit;
    std::string out = "[" + layout.eol;
    for (size_t k = 0; k < value.size(); ++k) {
      out += inner + block_text(value[k], inner, layout);
      out += k + 1 < value.size() ? "," + layout.eol : layout.eol;
    }
    return out + indent + "]";
  }
  return inline_text(value);
}

struct Splice {
  size_t at;
  size_t length;
  std::string text;
};

std::string apply(std::string_view s, std::vector<Splice> splices) {
  std::stable_sort(splices.begin(), splices.end(),
            [](const Splice& a, const Splice& b) { return a.at > b.at; });
  std::string out(s);
  for (const Splice& splice : splices) out.replace(splice.at, splice.length, splice.text);
  return out;
}

// The member named `key` of an object; fails when the name is there twice,
// since then which one counts is the reader's guess.
Result<const Member*> find_member(const Node& object, const std::string& key) {
  const Member* found = nullptr;
  for (const Member& m : object.members) {
    if (m.key != key) continue;
    if (found != nullptr) {
      return Error{" has \"" + key + "\" twice in one object, so I left it alone"};
    }
    found = &m;
  }
  return found;
}

// {"a": {"b": value}} for the keys a, b.
OrderedJson nest(MemberPath keys, const OrderedJson& value) {
  OrderedJson out = value;
  for (size_t k = keys.size(); k-- > 0;) {
    OrderedJson wrapped = OrderedJson::object();
    wrapped[keys[k]] = std::move(out);
    out = std::move(wrapped);
  }
  return out;
}

// The line break to write at `at`: the one already there, if any, since a
// line comment before it must keep ending the same way.
std::string break_at(std::string_view s, size_t at, const Layout& layout) {
  size_t length = break_length(s, at);
  return length > 0 ? std::string(s.substr(at, length)) : layout.eol;
}

// A new member's value on one line. The objects made on the way to it (the
// keys `made`) have a blank inside their braces, { "vesk": {...} }, so that
// they read apart from an empty object that was there before and got the
// member: taking the member out again then knows which of the two to leave.
std::string one_line_text(MemberPath made, const OrderedJson& value) {
  if (made.empty()) return inline_text(value);
  return "{ " + scalar_text(OrderedJson(made.front())) + ": " +
         one_line_text(made.subspan(1), value) + " }";
}

// Adds the member after the last one of `object` (or as its only one), its
// value `value` inside the new objects `made`. Nothing else in the text
// changes: a comment between empty braces stays there, and so does a
// trailing comma.
std::vector<Splice> insert_member(std::string_view s, const Node& object, const std::string& key,
                                  MemberPath made, const OrderedJson& value,
                                  const Layout& layout) {
  const std::string name = scalar_text(OrderedJson(key)) + ": ";
  if (object.members.empty()) {
    size_t inside = object.begin + 1;
    std::string_view between = s.substr(inside, object.end - 1 - inside);
    // Empty braces on one line stay on one line, the member first.
    if (between.find_first_of("\r\n") == kNone) {
      return {{inside, 0, name + one_line_text(made, value)}};
    }
    std::string inner = indent_of_line(s, object.begin) + layout.unit;
    size_t at = past_line_comments(s, inside);
    return {{at, 0,
             break_at(s, at, layout) + inner + name +
                 block_text(nest(made, value), inner, layout)}};
  }
  const Member& last = object.members.back();
  const Node& last_value = value_of(last);
  bool trailing_comma = last.comma != kNone;
  size_t after = trailing_comma ? last.comma + 1 : last_value.end;
  const std::string comma = trailing_comma ? "" : ",";
  const std::string tail = trailing_comma ? "," : "";
  size_t key_line = line_start(s, last.key_begin);
  if (!only_blanks(s.substr(key_line, last.key_begin - key_line))) {
    // Members share lines: the new one follows on the same line.
    return {{after, 0, comma + " " + name + one_line_text(made, value) + tail}};
  }
  // One member a line: a new line after the last member's, past any
  // comment that ends that line; blanks before the line break stay there.
  size_t at = past_line_comments(s, after);
  std::string indent = indent_of_line(s, last.key_begin);
  std::string text = break_at(s, at, layout) + indent + name +
                     block_text(nest(made, value), indent, layout) + tail;
  if (at == after) return {{after, 0, comma + text}};
  return {{after, 0, comma}, {at, 0, text}};
}

// Adds `value` after the last element of `array` (or as its only one),
// laid out as the array is: one element a line, or all on one.
std::vector<Splice> insert_element(std::string_view s, const Node& array, const OrderedJson& value,
                                   const Layout& layout) {
  if (array.elements.empty()) {
    size_t inside = array.begin + 1;
    std::string_view between = s.substr(inside, array.end - 1 - inside);
    if (between.find_first_of("\r\n") == kNone) return {{inside, 0, inline_text(value)}};
    std::string inner = indent_of_line(s, array.begin) + layout.unit;
    size_t at = past_line_comments(s, inside);
    return {{at, 0, break_at(s, at, layout) + inner + block_text(value, inner, layout)}};
  }
  const Node& last = array.elements.back();
  const size_t last_comma = array.commas.back();
  bool trailing_comma = last_comma != kNone;
  size_t after = trailing_comma ? last_comma + 1 : last.end;
  const std::string comma = trailing_comma ? "" : ",";
  const std::string tail = trailing_comma ? "," : "";
  size_t line = line_start(s, last.begin);
  if (!only_blanks(s.substr(line, last.begin - line))) {
    return {{after, 0, comma + " " + inline_text(value) + tail}};
  }
  size_t at = past_line_comments(s, after);
  std::string indent = indent_of_line(s, last.begin);
  std::string text =
      break_at(s, at, layout) + indent + block_text(value, indent, layout) + tail;
  if (at == after) return {{after, 0, comma + text}};
  return {{after, 0, comma}, {at, 0, text}};
}

struct Parsed {
  std::optional<Node> root;  // nullopt: a blank text
};

Result<Parsed> parse(std::string_view text, JsonDialect dialect) {
  Parser parser(text, dialect);
  TRY_ASSIGN(std::optional<Node> root, parser.document());
  if (root && root->kind != Node::Kind::kObject) {
    return Error{" isn't a JSON object, so I left it alone"};
  }
  return Parsed{std::move(root)};
}

// One key of a path found: the object holding it and its member.
struct PathStep {
  const Node* object;
  const Member* member;
};

// The members along `path` as far as they go (through objects only).
Result<std::vector<PathStep>> walk(const Node& root, MemberPath path) {
  std::vector<PathStep> steps;
  const Node* object = &root;
  for (const std::string& key : path) {
    if (object->kind != Node::Kind::kObject) break;
    TRY_ASSIGN(const Member* member, find_member(*object, key));
    if (member == nullptr) break;
    steps.push_back({object, member});
    object = &value_of(*member);
  }
  return steps;
}

// One entry of an object (a member, from its key) or of an array (an
// element), as taking it out sees it.
struct EntrySpan {
  size_t begin;
  size_t end;           // one past its value
  size_t comma;         // its own comma, kNone if none
  size_t comma_before;  // the previous entry's, kNone for the first entry
  size_t open;          // the container's opening brace or bracket
  size_t close;         // one past the container's closing one
  bool last;
};

EntrySpan member_span(const Node& object, size_t index) {
  const Member& m = object.members[index];
  return {m.key_begin,
          value_of(m).end,
          m.comma,
          index > 0 ? object.members[index - 1].comma : kNone,
          object.begin,
          object.end,
          index + 1 == object.members.size()};
}

EntrySpan element_span(const Node& array, size_t index) {
  return {array.elements[index].begin,
          array.elements[index].end,
          array.commas[index],
          index > 0 ? array.commas[index - 1] : kNone,
          array.begin,
          array.end,
          index + 1 == array.elements.size()};
}

// The ways the entry may have been added: each a set of splices that takes
// it out again, with the text around it that an insert writes (a comma, a
// line break, the blanks of a line).
std::vector<std::vector<Splice>> removals_of(std::string_view s, const EntrySpan& entry) {
  const bool first = entry.comma_before == kNone;
  std::vector<size_t> starts{entry.begin};
  size_t line = line_start(s, entry.begin);
  if (line > 0 && only_blanks(s.substr(line, entry.begin - line))) {
    size_t line_break = line - 1;
    if (line_break > 0 && s[line_break] == '\n' && s[line_break - 1] == '\r') --line_break;
    starts.push_back(line_break);
  }
  if (!first) {
    starts.push_back(entry.comma_before);
    starts.push_back(entry.comma_before + 1);
  } else {
    starts.push_back(entry.open + 1);
  }
  std::vector<size_t> ends{entry.end};
  if (entry.comma != kNone) ends.push_back(entry.comma + 1);
  if (entry.last) ends.push_back(entry.close - 1);
  std::vector<std::vector<Splice>> out;
  for (size_t from : starts) {
    for (size_t to : ends) {
      out.push_back({{from, to - from, ""}});
      // The comma an insert put after the entry before the new last one.
      if (!first && entry.last && entry.comma == kNone && from > entry.comma_before) {
        out.push_back({{entry.comma_before, 1, ""}, {from, to - from, ""}});
      }
    }
  }
  return out;
}

// The entry taken out by hand's rules: with its comma, and its line when
// it stood alone on it; comments stay.
std::vector<Splice> removal(std::string_view text, const EntrySpan& entry) {
  size_t start = entry.begin;
  size_t end = entry.end;
  std::vector<Splice> splices;
  bool after_comma_before = false;
  if (entry.comma != kNone) {
    // Its own comma goes with it, and the blanks after that.
    end = entry.comma + 1;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
  } else if (entry.comma_before != kNone) {
    // The last entry: the comma before it goes, with the blanks between
    // them when nothing else stands there.
    size_t comma = entry.comma_before;
    std::string_view between = text.substr(comma + 1, start - comma - 1);
    if (between.find_first_not_of(" \t\r\n") == kNone) {
      start = comma;
      after_comma_before = true;
    } else {
      splices.push_back({comma, 1, ""});
    }
  }
  // An entry alone on its line takes the line with it.
  if (!after_comma_before) {
    size_t first = line_start(text, start);
    size_t eol = end_of_line(text, end);
    if (only_blanks(text.substr(first, start - first)) &&
        only_blanks(text.substr(end, eol - end))) {
      start = first;
      end = eol + break_length(text, eol);
    }
  }
  splices.push_back({start, end - start, ""});
  return splices;
}

// The text as it was before `jsonc_set_member` added the entry at the end
// of `steps`, when some text gives exactly this one back; nullopt when none
// does (an entry written by hand, or changed since). The outermost reading
// wins: what the insert made on the way (the servers object, or the whole
// document of a blank text) goes with the entry.
std::optional<std::string> before_insert(std::string_view text, const Node& root,
                                         const std::vector<PathStep>& steps, MemberPath path,
                                         JsonDialect dialect) {
  const Node& entry = value_of(*steps.back().member);
  const OrderedJson value =
      OrderedJson::parse(text.substr(entry.begin, entry.end - entry.begin), nullptr, false);
  if (value.is_discarded()) return std::nullopt;
  auto gives_back = [&](const std::string& candidate) {
    auto again = jsonc_set_member(candidate, path, value, dialect);
    return again && *again == text;
  };
  // Levels from `outermost` on hold nothing but the way to the entry below them.
  size_t outermost = steps.size() - 1;
  while (outermost > 0 && steps[outermost].object->members.size() == 1) --outermost;
  for (size_t level = outermost; level < steps.size(); ++level) {
    const Node& object = *steps[level].object;
    size_t index = static_cast<size_t>(steps[level].member - object.members.data());
    for (std::vector<Splice>& splices : removals_of(text, member_span(object, index))) {
      std::string candidate = apply(text, std::move(splices));
      if (gives_back(candidate)) return candidate;
    }
  }
  // Last, the whole document: a text that holds a document stays one,
  // since an agent that reads plain JSON can't read a blank file.
  if (outermost == 0 && root.members.size() == 1) {
    std::string before(text.substr(0, root.begin));
    if (gives_back(before)) return before;
    // Or without the line break the insert put after a line comment.
    if (!before.empty() && is_break(before.back())) {
      bool crlf = before.size() >= 2 && before.substr(before.size() - 2) == "\r\n";
      before.resize(before.size() - (crlf ? 2 : 1));
      if (gives_back(before)) return before;
    }
  }
  return std::nullopt;
}

// The array at `path`, every object on the way to it there: nullptr where
// a member is missing, `missing` saying at which depth. Something else in
// the way is refused, never replaced.
Result<const Node*> array_at(const Node& root, MemberPath path, size_t& missing) {
  if (path.empty()) return Error{" isn't a JSON array, so I left it alone"};
  const Node* at = &root;
  for (size_t depth = 0; depth < path.size(); ++depth) {
    TRY_ASSIGN(const Member* member, find_member(*at, path[depth]));
    if (member == nullptr) {
      missing = depth;
      return static_cast<const Node*>(nullptr);
    }
    at = &value_of(*member);
    const bool last = depth + 1 == path.size();
    const Node::Kind wanted = last ? Node::Kind::kArray : Node::Kind::kObject;
    if (at->kind != wanted) {
      return Error{" has \"" + path[depth] + "\" as something other than " +
                   (last ? "an array" : "an object") + ", so I left it alone"};
    }
  }
  return at;
}

}  // namespace

Result<std::optional<Json>> jsonc_member(std::string_view text, MemberPath path,
                                         JsonDialect dialect) {
  TRY_ASSIGN(Parsed parsed, parse(text, dialect));
  if (!parsed.root) return std::optional<Json>();
  const Node* at = &*parsed.root;
  for (const std::string& key : path) {
    if (at->kind != Node::Kind::kObject) return std::optional<Json>();
    TRY_ASSIGN(const Member* member, find_member(*at, key));
    if (member == nullptr) return std::optional<Json>();
    at = &value_of(*member);
  }
  return std::optional<Json>(to_json(*at));
}

Result<std::string> jsonc_set_member(std::string_view text, MemberPath path,
                                     const OrderedJson& value, JsonDialect dialect) {
  TRY_ASSIGN(Parsed parsed, parse(text, dialect));
  Layout layout = layout_of(text);
  if (!parsed.root) {
    // Nothing there yet: a whole new document after whatever blanks and
    // comments, on a line of its own when a line comment ends the text.
    std::string out(text);
    if (text.substr(line_start(text, text.size())).find("//") != kNone) {
      // Not a lone CR: that would end the comment for some readers only.
      out += layout.eol == "\r" ? "\r\n" : layout.eol;
    }
    return out + block_text(nest(path, value), "", layout) + layout.eol;
  }
  const Node* object = &*parsed.root;
  for (size_t depth = 0; depth < path.size(); ++depth) {
    TRY_ASSIGN(const Member* member, find_member(*object, path[depth]));
    MemberPath made = path.subspan(depth + 1);
    if (member == nullptr) {
      return apply(text, insert_member(text, *object, path[depth], made, value, layout));
    }
    const Node& current = value_of(*member);
    if (depth + 1 < path.size() && current.kind == Node::Kind::kObject) {
      object = &current;
      continue;
    }
    // The last key, or something that is no object on the way: replaced.
    std::string indent = indent_of_line(text, member->key_begin);
    size_t key_line = line_start(text, member->key_begin);
    bool own_line = only_blanks(text.substr(key_line, member->key_begin - key_line));
    std::string replacement =
        own_line ? block_text(nest(made, value), indent, layout) : one_line_text(made, value);
    return apply(text, {{current.begin, current.end - current.begin, replacement}});
  }
  return std::string(text);  // an empty path: nothing to set
}

Result<std::optional<std::string>> jsonc_remove_member(std::string_view text, MemberPath path,
                                                       JsonDialect dialect) {
  TRY_ASSIGN(Parsed parsed, parse(text, dialect));
  if (!parsed.root || path.empty()) return std::optional<std::string>();
  TRY_ASSIGN(std::vector<PathStep> steps, walk(*parsed.root, path));
  if (steps.size() < path.size()) return std::optional<std::string>();
  // An entry this editor added comes out as it went in, to the byte.
  if (std::optional<std::string> before = before_insert(text, *parsed.root, steps, path, dialect)) {
    return before;
  }

  const Node* object = steps.back().object;
  size_t index = static_cast<size_t>(steps.back().member - object->members.data());
  return std::optional<std::string>(apply(text, removal(text, member_span(*object, index))));
}

Result<std::string> jsonc_append_element(std::string_view text, MemberPath path,
                                         const OrderedJson& value, JsonDialect dialect) {
  TRY_ASSIGN(Parsed parsed, parse(text, dialect));
  if (!parsed.root) return jsonc_set_member(text, path, OrderedJson::array({value}), dialect);
  size_t missing = 0;
  TRY_ASSIGN(const Node* array, array_at(*parsed.root, path, missing));
  // What is missing is added as setting the new array would add it; all
  // that is there is an object on the way, so nothing gets replaced.
  if (array == nullptr) return jsonc_set_member(text, path, OrderedJson::array({value}), dialect);
  return apply(text, insert_element(text, *array, value, layout_of(text)));
}

Result<std::string> jsonc_remove_element(std::string_view text, MemberPath path, size_t index,
                                         JsonDialect dialect) {
  TRY_ASSIGN(Parsed parsed, parse(text, dialect));
  const std::string name = path.empty() ? std::string() : path.back();
  size_t missing = 0;
  const Node* array = nullptr;
  if (parsed.root) {
    TRY_ASSIGN(array, array_at(*parsed.root, path, missing));
  }
  if (array == nullptr) return Error{" has no \"" + name + "\" array, so I left it alone"};
  if (index >= array->elements.size()) {
    return Error{" has no element " + std::to_string(index + 1) + " in \"" + name +
                 "\", so I left it alone"};
  }
  EntrySpan span = element_span(*array, index);
  // A last element this editor appended comes out as it went in, to the
  // byte; when the element has comments in it, it wasn't ours.
  if (span.last) {
    const OrderedJson value =
        OrderedJson::parse(text.substr(span.begin, span.end - span.begin), nullptr, false);
    if (!value.is_discarded()) {
      for (std::vector<Splice>& splices : removals_of(text, span)) {
        std::string candidate = apply(text, std::move(splices));
        auto again = jsonc_append_element(candidate, path, value, dialect);
        if (again && *again == text) return candidate;
      }
    }
  }
  return apply(text, removal(text, span));
}

}  // namespace vesk::agents::edit
