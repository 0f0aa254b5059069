#include "base/utf8.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(Utf8, Validation) {
  const std::pair<std::string, bool> rows[] = {
      {"", true},
      {"plain", true},
      {"\xC2\xB7 \xE2\x89\x88 \xF0\x9F\x98\x80", true},
      {"\xEF\xBF\xBD", true},           // a real U+FFFD
      {"\xC0\xAF", false},              // overlong
      {"\xED\xA0\x80", false},          // surrogate
      {"\xF4\x90\x80\x80", false},      // above U+10FFFF
      {"\xE2\x89", false},              // cut short
      {"\x80", false},
  };
  for (const auto& [text, valid] : rows) EXPECT_EQ(valid_utf8(text), valid) << text;
}

TEST(Utf8, DecodeLossyReplacesEachIllFormedByte) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},
      {"C:\\Tools\\v\xC3\xA9sk.exe", "C:\\Tools\\v\xC3\xA9sk.exe"},
      {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},                       // a real U+FFFD stays
      {"a\xFF" "b\xC3", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // overlong: two bytes
      {"\xE2\x89!", "\xEF\xBF\xBD\xEF\xBF\xBD!"},                // cut short
  };
  for (const auto& [bytes, text] : rows) EXPECT_EQ(decode_lossy(bytes), text) << bytes;
}

TEST(Utf8, Utf16RoundTripAndLoneSurrogates) {
  EXPECT_EQ(utf16_to_utf8(u"a\u00b7\u2026"), "a\xC2\xB7\xE2\x80\xA6");
  EXPECT_EQ(utf16_to_utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  const char16_t lone_high[] = {u'x', 0xD800, u'y', 0};
  EXPECT_EQ(utf16_to_utf8(lone_high), "x\xEF\xBF\xBDy");
  const char16_t lone_low[] = {0xDC00, 0};
  EXPECT_EQ(utf16_to_utf8(lone_low), "\xEF\xBF\xBD");
  EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80\xFF"), (std::u16string{0xD83D, 0xDE00, 0xFFFD}));
}

}  // namespace
}  // namespace vesk
