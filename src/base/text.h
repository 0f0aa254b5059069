// Small text helpers shared by the subsystems.
#pragma once

#include <string_view>

namespace vesk {

// `text` without the ASCII white space (space, tab, CR, LF, VT, FF) at either
// end.
std::string_view trim(std::string_view text);

// True when `text` is empty or holds only Unicode white space. Ill-formed
// UTF-8 is not white space.
bool blank(std::string_view text);

}  // namespace vesk
