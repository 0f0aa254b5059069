// UTF-8 helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// The UTF-8 byte-order mark (U+FEFF), which some Windows programs put at the
// start of a file or stream.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// `text` without a byte-order mark at its very start.
inline std::string_view without_byte_order_mark(std::string_view text) {
  return text.substr(0, kByteOrderMark.size()) == kByteOrderMark
             ? text.substr(kByteOrderMark.size())
             : text;
}

// Decodes the code point at `pos` and advances `pos` past it. A byte that
// does not start a well-formed sequence (overlong forms, surrogates and
// values above U+10FFFF included) decodes as U+FFFD and advances by one.
char32_t next_code_point(std::string_view text, size_t& pos);

// True when the text is well-formed UTF-8.
bool valid_utf8(std::string_view text);

// The text as well-formed UTF-8: every byte that does not start a
// well-formed sequence becomes U+FFFD (as next_code_point decodes it).
std::string decode_lossy(std::string_view bytes);

// Appends the UTF-8 encoding of `cp` (a surrogate or a value above U+10FFFF
// is written as U+FFFD).
void append_utf8(std::string& out, char32_t cp);

// The number of code points (ill-formed bytes count one each).
size_t code_point_count(std::string_view text);

// Unicode White_Space.
bool is_unicode_space(char32_t cp);

// Splits text at runs of Unicode white space. The text must be valid UTF-8.
std::vector<std::string_view> split_unicode_words(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);
// UTF-8 to UTF-16; ill-formed bytes become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

}  // namespace vesk
