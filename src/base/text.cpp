#include "base/text.h"

#include "base/utf8.h"

namespace vesk {

std::string_view trim(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

bool blank(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    if (!is_unicode_space(next_code_point(text, pos))) return false;
  }
  return true;
}

std::string join_words(std::span<const std::string_view> words, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += separator;
    out += words[i];
  }
  return out;
}

}  // namespace vesk
