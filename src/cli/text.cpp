#include "cli/text.h"

#include <cstdio>

#include "base/utf8.h"

namespace vesk::cli {

namespace {

// Characters that would not show as themselves: controls, format and
// invisible separators, surrogates, private use and non-characters.
bool needs_hex_escape(char32_t cp) {
  if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
  if (cp == 0xAD || cp == 0x34F || cp == 0x61C || cp == 0x180E) return true;
  if ((cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
      (cp >= 0x2060 && cp <= 0x206F))
    return true;
  if (cp == 0xFEFF || (cp >= 0xFFF0 && cp <= 0xFFFB)) return true;
  if ((cp >= 0xE000 && cp <= 0xF8FF) || cp >= 0xF0000) return true;
  if ((cp & 0xFFFE) == 0xFFFE || (cp >= 0xFDD0 && cp <= 0xFDEF)) return true;
  if (cp >= 0xE0000 && cp <= 0xE0FFF) return true;  // tags, variation selectors
  return false;
}

}  // namespace

std::string quote_word(std::string_view word) {
  std::string out = "\"";
  for (size_t pos = 0; pos < word.size();) {
    char32_t cp = next_code_point(word, pos);
    switch (cp) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case 0: out += "\\0"; break;
      default:
        if (needs_hex_escape(cp)) {
          char buf[16];
          std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(cp));
          out += buf;
        } else {
          append_utf8(out, cp);
        }
    }
  }
  out += '"';
  return out;
}

std::string pad_right(std::string_view text, size_t width) {
  std::string out(text);
  size_t count = code_point_count(text);
  if (count < width) out.append(width - count, ' ');
  return out;
}

}  // namespace vesk::cli
