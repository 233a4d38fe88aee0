#include "display/text_helpers.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/failure.h"

namespace velane {
namespace {

// Positions are 16-bit signed integers: the last one that can be held.
constexpr std::size_t kLastPosition = 32767;

// Lower case of one UTF-16 unit for case-blind matching. Covers the letters
// the player's texts are written in: ASCII, Latin-1 and the extra letters of
// Windows-1252 (Š Œ Ž Ÿ). Every other unit, including × and ß, stays as it
// is. The fold is one unit to one unit, so a match has the length of the
// search text.
char16_t FoldCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // À..Þ but ×
  switch (c) {
    case 0x0160:
      return 0x0161;  // Š
    case 0x0152:
      return 0x0153;  // Œ
    case 0x017D:
      return 0x017E;  // Ž
    case 0x0178:
      return 0x00FF;  // Ÿ
    default:
      return c;
  }
}

// Failure table of the folded search text (Knuth-Morris-Pratt): with it the
// text is scanned once, whatever the search text looks like.
std::vector<std::size_t> PrefixTable(const std::u16string& pattern) {
  std::vector<std::size_t> table(pattern.size(), 0);
  std::size_t k = 0;
  for (std::size_t i = 1; i < pattern.size(); ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = table[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    table[i] = k;
  }
  return table;
}

void ThrowOverflow() { throw Overflow("Overflow"); }

}  // namespace

// The rules rewrite the text at each occurrence and resume the search right
// behind the replacement. The same result is built here in one pass: the
// output so far is the rewritten text up to the resume point, so an
// occurrence found at index j of the original text (j >= i, the first
// unread index) lies at position out.size() + (j - i) + 1 of the rewritten
// text, and the resume position is out.size() + 1 once the replacement is in.
// This keeps long pages with many placeholders linear.
std::u16string ReplaceAll(std::u16string text, std::u16string search, std::u16string replacement) {
  if (search.empty() || text.size() < search.size()) return text;

  std::u16string folded;
  folded.reserve(search.size());
  for (char16_t c : search) folded.push_back(FoldCase(c));
  const std::vector<std::size_t> table = PrefixTable(folded);
  const std::size_t m = folded.size();

  std::u16string out;
  std::size_t i = 0;  // first character of text not yet copied to out
  std::size_t k = 0;  // characters of the search text matched so far
  bool replaced = false;
  for (std::size_t j = 0; j < text.size(); ++j) {
    const char16_t c = FoldCase(text[j]);
    while (k > 0 && c != folded[k]) k = table[k - 1];
    if (c == folded[k]) ++k;
    if (k < m) continue;

    const std::size_t start = j + 1 - m;  // occurrence in the original text
    if (out.size() + (start - i) + 1 > kLastPosition) ThrowOverflow();
    if (!replaced) {
      out.reserve(text.size());
      replaced = true;
    }
    out.append(text, i, start - i);
    out += replacement;
    i = j + 1;
    k = 0;  // the matched text is consumed: no overlapping occurrence
    if (out.size() + 1 > kLastPosition) ThrowOverflow();
  }
  if (!replaced) return text;
  out.append(text, i, std::u16string::npos);
  return out;
}

std::u16string ReplaceAllNoCase(std::u16string text, std::u16string search,
                                std::u16string replacement) {
  return ReplaceAll(std::move(text), std::move(search), std::move(replacement));
}

}  // namespace velane
