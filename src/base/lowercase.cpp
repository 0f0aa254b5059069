#include "base/lowercase.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/utf8.h"

namespace vesk {
namespace {

struct LowerRange {
  char32_t first, last;
  int32_t delta;
  uint32_t stride;
};
struct CodeRange {
  char32_t first, last;
};

#include "base/lowercase_table.inc"

template <size_t N>
bool in_ranges(const CodeRange (&ranges)[N], char32_t cp) {
  auto it = std::upper_bound(std::begin(ranges), std::end(ranges), cp,
                             [](char32_t c, const CodeRange& r) { return c < r.first; });
  if (it == std::begin(ranges)) return false;
  --it;
  return cp <= it->last;
}

char32_t simple_lower(char32_t cp) {
  auto it = std::upper_bound(std::begin(kLowerRanges), std::end(kLowerRanges), cp,
                             [](char32_t c, const LowerRange& r) { return c < r.first; });
  if (it == std::begin(kLowerRanges)) return cp;
  --it;
  if (cp > it->last || (cp - it->first) % it->stride != 0) return cp;
  return static_cast<char32_t>(static_cast<int64_t>(cp) + it->delta);
}

bool cased(char32_t cp) { return in_ranges(kCasedRanges, cp); }
bool case_ignorable(char32_t cp) { return in_ranges(kCaseIgnorableRanges, cp); }

constexpr char32_t kCapitalSigma = 0x03A3;
constexpr char32_t kInvalid = 0xFFFFFFFF;  // a byte that is not UTF-8

// The text's code points; a byte that starts no well-formed sequence is
// kept apart (kInvalid) so that it can be copied back as it was.
struct Decoded {
  char32_t cp;
  size_t begin, end;
};

std::vector<Decoded> decode(std::string_view text) {
  std::vector<Decoded> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t begin = pos;
    char32_t cp = next_code_point(text, pos);
    if (cp == kReplacementChar && text.substr(begin, pos - begin) != "\xEF\xBF\xBD") {
      cp = kInvalid;
    }
    out.push_back({cp, begin, pos});
  }
  return out;
}

// The final-sigma condition at index i.
bool ends_word(const std::vector<Decoded>& cps, size_t i) {
  size_t j = i;
  bool before = false;
  while (j > 0) {
    --j;
    if (!case_ignorable(cps[j].cp)) {
      before = cased(cps[j].cp);
      break;
    }
  }
  if (!before) return false;
  for (size_t k = i + 1; k < cps.size(); ++k) {
    if (!case_ignorable(cps[k].cp)) return !cased(cps[k].cp);
  }
  return true;
}

}  // namespace

std::string unicode_lower(std::string_view text) {
  std::vector<Decoded> cps = decode(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < cps.size(); ++i) {
    char32_t cp = cps[i].cp;
    if (cp == kInvalid) {
      out.append(text.substr(cps[i].begin, cps[i].end - cps[i].begin));
    } else if (cp == 0x0130) {
      append_utf8(out, U'i');
      append_utf8(out, 0x0307);
    } else if (cp == kCapitalSigma) {
      append_utf8(out, ends_word(cps, i) ? 0x03C2 : 0x03C3);
    } else {
      append_utf8(out, simple_lower(cp));
    }
  }
  return out;
}

}  // namespace vesk
