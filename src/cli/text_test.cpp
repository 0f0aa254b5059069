#include "cli/text.h"

#include <gtest/gtest.h>

namespace vesk::cli {
namespace {

TEST(QuoteWord, EscapesLikeADebugString) {
  const std::pair<std::string, std::string> rows[] = {
      {"Status", "\"Status\""},
      {"", "\"\""},
      {"a\\b", "\"a\\\\b\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"t\tr\rn\n", "\"t\\tr\\rn\\n\""},
      {std::string("z\0z", 3), "\"z\\0z\""},
      {"\x01\x1b\x7f", "\"\\u{1}\\u{1b}\\u{7f}\""},
      {"\xC2\x85", "\"\\u{85}\""},                  // C1 control
      {"a\xE2\x80\x8B" "b", "\"a\\u{200b}b\""},     // zero-width space
      {"\xEF\xBB\xBF", "\"\\u{feff}\""},
      {"caf\xC3\xA9 \xE2\x9C\x93", "\"caf\xC3\xA9 \xE2\x9C\x93\""},  // printable stays
      {"it's", "\"it's\""},
      {"\xFF", "\"\xEF\xBF\xBD\""},                 // ill-formed byte: U+FFFD
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(quote_word(in), out);
}

TEST(PadRight, CountsCodePoints) {
  EXPECT_EQ(pad_right("ab", 4), "ab  ");
  EXPECT_EQ(pad_right("a\xE2\x80\xA6", 4), "a\xE2\x80\xA6  ");  // "…" is one
  EXPECT_EQ(pad_right("abcdef", 4), "abcdef");
}

}  // namespace
}  // namespace vesk::cli
