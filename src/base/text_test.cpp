#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

namespace vesk {
namespace {

TEST(Text, Trim) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},
      {" \t\r\n\v\f", ""},
      {"  Discharging\n", "Discharging"},
      {"\tError: no task\r\n", "Error: no task"},
      {"a b", "a b"},
      {"\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0"},  // no-break space is not ASCII space
  };
  for (const auto& [text, trimmed] : rows) EXPECT_EQ(trim(text), trimmed) << text;
}

TEST(Text, Blank) {
  const std::pair<std::string, bool> rows[] = {
      {"", true},
      {" \t\r\n", true},
      {"\xC2\xA0\xE3\x80\x80\xE2\x80\xA8", true},  // no-break, ideographic, line separator
      {" x ", false},
      {"\xE2\x80\x8B", false},  // zero-width space is not White_Space
      {" \xFF ", false},        // ill-formed
  };
  for (const auto& [text, is_blank] : rows) EXPECT_EQ(blank(text), is_blank) << text;
}

TEST(Text, JoinWords) {
  constexpr std::string_view kThree[] = {"a", "b c", ""};
  EXPECT_EQ(join_words(kThree, " | "), "a | b c | ");
  EXPECT_EQ(join_words(std::span(kThree, 1), " | "), "a");
  EXPECT_EQ(join_words({}, " "), "");
}

}  // namespace
}  // namespace vesk
