// Small text helpers of the front end.
#pragma once

#include <string>
#include <string_view>

namespace vesk::cli {

// The word in double quotes, with backslash, double quote, tab, carriage
// return, line feed and NUL escaped by a backslash and other control or
// invisible characters written as \u{hex}: "Status", "a\tb", "\u{7f}".
std::string quote_word(std::string_view word);

// `text` followed by spaces up to `width` code points.
std::string pad_right(std::string_view text, size_t width);

}  // namespace vesk::cli
