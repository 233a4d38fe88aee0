// ReplaceAll and ReplaceAllNoCase on any texts, long ones included (the
// input can ask for up to 40,000 characters of padding, past the 16-bit
// positions): the result, or the overflow, is what a plain reading of the
// rules gives.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "diagnostics/failure.h"
#include "display/text_helpers.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken rule: %s\n", what);
    std::abort();
  }
}

// The letters compared without case: ASCII, Latin-1 (but the sign x) and
// the extra letters of Windows-1252.
char16_t Fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  switch (c) {
    case 0x0160:
      return 0x0161;
    case 0x0152:
      return 0x0153;
    case 0x017D:
      return 0x017E;
    case 0x0178:
      return 0x00FF;
    default:
      return c;
  }
}

bool MatchesAt(const std::u16string& text, std::size_t at, const std::u16string& search) {
  for (std::size_t i = 0; i < search.size(); ++i)
    if (Fold(text[at + i]) != Fold(search[i])) return false;
  return true;
}

// The rules step by step: positions from 1, a new text after each
// replacement, the search resuming behind it; nullopt for an overflow.
std::optional<std::u16string> Reference(std::u16string text, const std::u16string& search,
                                        const std::u16string& replacement) {
  if (search.empty()) return text;
  std::size_t start = 1;
  for (;;) {
    std::size_t p = 0;
    for (std::size_t i = start - 1; i + search.size() <= text.size(); ++i)
      if (MatchesAt(text, i, search)) {
        p = i + 1;
        break;
      }
    if (p == 0) return text;
    if (p > 32767) return std::nullopt;
    text = text.substr(0, p - 1) + replacement + text.substr(p - 1 + search.size());
    start = p + replacement.size();
    if (start > 32767) return std::nullopt;
  }
}

std::u16string Units(FuzzedDataProvider& in, std::size_t most) {
  std::u16string s;
  const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, most);
  // Mostly a small alphabet, so that matches are frequent; now and then
  // any unit, letters with case pairs above ASCII included.
  static const char16_t kAlphabet[] = u"aAbB%\u00C0\u00E0\u0160\u0161\u00D7\u00F7";
  for (std::size_t i = 0; i < n && in.remaining_bytes() > 0; ++i) {
    const std::uint8_t b = in.ConsumeIntegral<std::uint8_t>();
    s.push_back(b < 200 ? kAlphabet[b % 11] : in.ConsumeIntegral<char16_t>());
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool noCase = in.ConsumeBool();
  const std::size_t padding =
      in.ConsumeIntegralInRange(0, 3) == 0 ? in.ConsumeIntegralInRange<std::size_t>(0, 40000) : 0;
  const std::u16string search = Units(in, 6);
  const std::u16string replacement = Units(in, 12);
  std::u16string text(padding, u'z');
  text += Units(in, 300);

  std::optional<std::u16string> got;
  try {
    got = noCase ? velane::ReplaceAllNoCase(text, search, replacement)
                 : velane::ReplaceAll(text, search, replacement);
  } catch (const velane::Overflow&) {
    got = std::nullopt;
  }
  const auto want = Reference(text, search, replacement);
  Check(got.has_value() == want.has_value(), "the overflow comes where the rules put it");
  if (got) Check(*got == *want, "the result is the rules' result");
  return 0;
}
