#include "base/utf8.h"

namespace vesk {

char32_t next_code_point(std::string_view text, size_t& pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacementChar;
  }
  if (pos + len > text.size()) {
    ++pos;
    return kReplacementChar;
  }
  for (size_t i = 1; i < len; ++i) {
    unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return kReplacementChar;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kReplacementChar;
  }
  pos += len;
  return cp;
}

bool valid_utf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t start = pos;
    char32_t cp = next_code_point(text, pos);
    // A genuine U+FFFD takes three bytes; a replacement for bad input one.
    if (cp == kReplacementChar && pos - start != 3) return false;
  }
  return true;
}

std::string decode_lossy(std::string_view bytes) {
  if (valid_utf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 8);
  for (size_t pos = 0; pos < bytes.size();) append_utf8(out, next_code_point(bytes, pos));
  return out;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementChar;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t code_point_count(std::string_view text) {
  size_t count = 0;
  for (size_t pos = 0; pos < text.size(); ++count) next_code_point(text, pos);
  return count;
}

bool is_unicode_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 ||
         cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 ||
         cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

std::vector<std::string_view> split_unicode_words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  size_t word_start = std::string_view::npos;
  while (pos < text.size()) {
    size_t start = pos;
    char32_t cp = next_code_point(text, pos);
    if (is_unicode_space(cp)) {
      if (word_start != std::string_view::npos) {
        words.push_back(text.substr(word_start, start - word_start));
        word_start = std::string_view::npos;
      }
    } else if (word_start == std::string_view::npos) {
      word_start = start;
    }
  }
  if (word_start != std::string_view::npos) words.push_back(text.substr(word_start));
  return words;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else {
      append_utf8(out, u);  // a lone surrogate turns into U+FFFD here
    }
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t cp = next_code_point(text, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace vesk
