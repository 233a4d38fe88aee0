// The conversions between setting texts, numbers and names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velane {

// Blanks, tabs and line feeds anywhere are ignored; the number the text
// begins with is read ("." only); 0 when it does not begin with one.
double LenientNumber(std::u16string_view text);

// The whole text (blanks around allowed) must be a number in the user's
// locale; throws TypeMismatch otherwise (the empty text included).
double StrictNumber(std::u16string_view text);

// StrictNumber rounded half to even; throws Overflow outside -32768..32767.
std::int16_t StrictInteger(std::u16string_view text);

// "-12", "7": decimal, no blanks, no leading zeros.
std::u16string DecimalText(std::int16_t n);

// "00007", "-00007": at least five digits, zero-filled.
std::u16string FiveDigitText(std::int16_t n);

// " 3", "-2", " 2.5": a blank in front of zero and positive numbers.
std::u16string SignedText(double n);

}  // namespace velane
