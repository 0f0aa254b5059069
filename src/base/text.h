// Small text helpers shared by the subsystems.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vesk {

// `text` without the ASCII white space (space, tab, CR, LF, VT, FF) at either
// end.
std::string_view trim(std::string_view text);

// True when `text` is empty or holds only Unicode white space. Ill-formed
// UTF-8 is not white space.
bool blank(std::string_view text);

// The words with `separator` between each two: ("a", "b"), " | " -> "a | b".
std::string join_words(std::span<const std::string_view> words, std::string_view separator);

}  // namespace vesk
