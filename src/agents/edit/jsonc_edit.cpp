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
};

const Node& value_of(const Member& m) { return m.value.front(); }

class Parser {
 public:
  Parser(std::string_view text, JsonDialect dialect)
      : s_(text),
        comments_(dialect != JsonDialect::kStrict),
        trailing_commas_(dialect == JsonDialect::kJsonc) {}

  // The document's top value; nullopt for a blank text. Fails with the
  // phrase that follows the file's name.
  Result<std::optional<Node>> document() {
    if (!valid_utf8(s_)) return Error{" isn't UTF-8 text, so I left it alone"};
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") i_ = 3;
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
    size_t line = 1, column = 1;
    for (size_t k = 0; k < error_at_ && k < s_.size(); ++k) {
      if (s_[k] == '\n') {
        ++line;
        column = 1;
      } else if ((static_cast<unsigned char>(s_[k]) & 0xC0) != 0x80) {
        ++column;
      }
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
          size_t eol = s_.find('\n', i_);
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
  bool comments_;
  bool trailing_commas_;
  size_t i_ = 0;
  std::string reason_;
  size_t error_at_ = 0;
  bool comment_ = false;
  bool trailing_comma_ = false;
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

Layout layout_of(std::string_view s) {
  Layout layout;
  size_t lf = s.find('\n');
  if (lf != kNone && lf > 0 && s[lf - 1] == '\r') layout.eol = "\r\n";
  // The first indented line that holds something shows one level.
  size_t at = 0;
  while (at < s.size()) {
    size_t end = s.find('\n', at);
    if (end == kNone) end = s.size();
    std::string_view line = s.substr(at, end - at);
    size_t lead = line.find_first_not_of(" \t");
    if (lead != kNone && lead > 0 && line[lead] != '\r') {
      layout.unit = line[0] == '\t' ? std::string("\t") : std::string(line.substr(0, lead));
      if (layout.unit.find('\t') != kNone) layout.unit = "\t";
      break;
    }
    at = end + 1;
  }
  return layout;
}

size_t line_start(std::string_view s, size_t pos) {
  size_t lf = pos == 0 ? kNone : s.rfind('\n', pos - 1);
  return lf == kNone ? 0 : lf + 1;
}

// The blanks that start the line holding `pos`.
std::string indent_of_line(std::string_view s, size_t pos) {
  size_t start = line_start(s, pos);
  size_t end = start;
  while (end < s.size() && (s[end] == ' ' || s[end] == '\t')) ++end;
  return std::string(s.substr(start, end - start));
}

bool only_blanks(std::string_view s) { return s.find_first_not_of(" \t") == kNone; }

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

// Adds the member after the last one of `object` (or as its only one).
std::vector<Splice> insert_member(std::string_view s, const Node& object, const std::string& key,
                                  const OrderedJson& value, const Layout& layout) {
  const std::string name = scalar_text(OrderedJson(key)) + ": ";
  if (object.members.empty() && s.find('\n') == kNone) {
    // A text on one line stays on one line.
    return {{object.begin + 1, object.end - 2 - object.begin, name + inline_text(value)}};
  }
  if (object.members.empty()) {
    std::string outer = indent_of_line(s, object.begin);
    std::string inner = outer + layout.unit;
    size_t inside = object.begin + 1;
    size_t inside_length = object.end - 1 - inside;
    std::string_view between = s.substr(inside, inside_length);
    std::string member = layout.eol + inner + name + block_text(value, inner, layout);
    if (between.find('\n') != kNone) return {{inside, 0, member}};
    if (only_blanks(between)) return {{inside, inside_length, member + layout.eol + outer}};
    return {{inside, 0, member}, {object.end - 1, 0, layout.eol + outer}};
  }
  const Member& last = object.members.back();
  const Node& last_value = value_of(last);
  bool trailing_comma = last.comma != kNone;
  size_t after = trailing_comma ? last.comma + 1 : last_value.end;
  const std::string comma = trailing_comma ? "" : ",";
  if (!only_blanks(s.substr(line_start(s, last.key_begin), last.key_begin -
                                                               line_start(s, last.key_begin)))) {
    // Members share lines: the new one follows on the same line.
    return {{after, 0, comma + " " + name + inline_text(value) + (trailing_comma ? "," : "")}};
  }
  // One member a line: a new line after the last member's, past any
  // comment that ends that line.
  size_t at = after;
  for (;;) {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
    if (s.substr(at, 2) == "//") {
      size_t lf = s.find('\n', at);
      at = lf == kNone ? s.size() : lf;
      if (at > after && s[at - 1] == '\r') --at;
      break;
    }
    if (s.substr(at, 2) == "/*") {
      size_t close = s.find("*/", at + 2);
      if (close != kNone && s.substr(at, close - at).find('\n') == kNone) {
        at = close + 2;
        continue;
      }
    }
    break;
  }
  // Blanks before the line break stay where they were.
  if (at < s.size() && s[at] != '\n' && s[at] != '\r') at = after;
  std::string indent = indent_of_line(s, last.key_begin);
  std::string text = layout.eol + indent + name + block_text(value, indent, layout) +
                     (trailing_comma ? "," : "");
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
    // comments, on a line of its own.
    std::string out(text);
    if (!out.empty() && out.back() != '\n') out += layout.eol;
    return out + block_text(nest(path, value), "", layout) + layout.eol;
  }
  const Node* object = &*parsed.root;
  for (size_t depth = 0; depth < path.size(); ++depth) {
    TRY_ASSIGN(const Member* member, find_member(*object, path[depth]));
    OrderedJson rest = nest(path.subspan(depth + 1), value);
    if (member == nullptr) return apply(text, insert_member(text, *object, path[depth], rest, layout));
    const Node& current = value_of(*member);
    if (depth + 1 < path.size() && current.kind == Node::Kind::kObject) {
      object = &current;
      continue;
    }
    // The last key, or something that is no object on the way: replaced.
    std::string indent = indent_of_line(text, member->key_begin);
    bool own_line = only_blanks(text.substr(line_start(text, member->key_begin),
                                            member->key_begin - line_start(text, member->key_begin)));
    std::string replacement = own_line ? block_text(rest, indent, layout) : inline_text(rest);
    return apply(text, {{current.begin, current.end - current.begin, replacement}});
  }
  return std::string(text);  // an empty path: nothing to set
}

Result<std::optional<std::string>> jsonc_remove_member(std::string_view text, MemberPath path,
                                                       JsonDialect dialect) {
  TRY_ASSIGN(Parsed parsed, parse(text, dialect));
  if (!parsed.root || path.empty()) return std::optional<std::string>();
  const Node* object = &*parsed.root;
  for (size_t depth = 0; depth + 1 < path.size(); ++depth) {
    TRY_ASSIGN(const Member* member, find_member(*object, path[depth]));
    if (member == nullptr || value_of(*member).kind != Node::Kind::kObject) {
      return std::optional<std::string>();
    }
    object = &value_of(*member);
  }
  TRY_ASSIGN(const Member* member, find_member(*object, path.back()));
  if (member == nullptr) return std::optional<std::string>();

  size_t index = static_cast<size_t>(member - object->members.data());
  size_t start = member->key_begin;
  size_t end = value_of(*member).end;
  std::vector<Splice> splices;
  bool after_comma_before = false;
  if (member->comma != kNone) {
    // Its own comma goes with it, and the blanks after that.
    end = member->comma + 1;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
  } else if (index > 0) {
    // The last member: the comma before it goes, with the blanks between
    // them when nothing else stands there.
    size_t comma = object->members[index - 1].comma;
    std::string_view between = text.substr(comma + 1, start - comma - 1);
    if (between.find_first_not_of(" \t\r\n") == kNone) {
      start = comma;
      after_comma_before = true;
    } else {
      splices.push_back({comma, 1, ""});
    }
  }
  // A member alone on its line takes the line with it.
  if (!after_comma_before) {
    size_t first = line_start(text, start);
    size_t eol = text.find('\n', end);
    std::string_view rest = text.substr(end, (eol == kNone ? text.size() : eol) - end);
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    if (only_blanks(text.substr(first, start - first)) && only_blanks(rest)) {
      start = first;
      end = eol == kNone ? text.size() : eol + 1;
    }
  }
  splices.push_back({start, end - start, ""});
  return std::optional<std::string>(apply(text, std::move(splices)));
}

}  // namespace vesk::agents::edit
