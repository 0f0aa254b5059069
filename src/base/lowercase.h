// Unicode lower-casing of UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// Full Unicode lower-casing: every code point by its lower-case mapping
// (U+0130 becomes "i" and U+0307), and a capital sigma that ends a word
// (after a cased letter, not before one, case-ignorable marks skipped)
// becomes the final small sigma. Bytes that are not well-formed UTF-8 are
// copied unchanged.
std::string unicode_lower(std::string_view text);

}  // namespace vesk
