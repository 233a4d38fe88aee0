// The conversions between setting texts, numbers and names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velane {

// Blanks, tabs and line feeds anywhere are ignored; the number the text
// begins with is read ("." only); 0 when it does not begin with one.
// Always finite: beyond the double range it gives -DBL_MAX or DBL_MAX (a
// dwell of 1e400 seconds simply means "for ever"), below it 0.
double LenientNumber(std::u16string_view text);
// Whether the lenient parse finds a number there, rather than giving 0 for
// a text that is none.
bool BeginsWithNumber(std::u16string_view text);

// The whole text (blanks around allowed) must be a number in the user's
// locale; throws TypeMismatch otherwise (the empty text included), and
// Overflow for a number beyond the double range.
double StrictNumber(std::u16string_view text);
// The same with a given decimal separator instead of the locale's.
double StrictNumber(std::u16string_view text, std::u16string_view decimalSeparator);
// The decimal separator of the user's locale ("." when it names none).
std::u16string LocaleDecimalSeparator();

// StrictNumber rounded half to even; throws Overflow outside -32768..32767.
std::int16_t StrictInteger(std::u16string_view text);

// "-12", "7": decimal, no blanks, no leading zeros.
std::u16string DecimalText(std::int16_t n);

// "00007", "-00007": at least five digits, zero-filled.
std::u16string FiveDigitText(std::int16_t n);

// " 3", "-2", " 2.5", " 0.5": a blank in front of zero and positive
// numbers, "-" in front of negative ones; "." as separator, the shortest
// digits that read back as the same double, never an exponent.
std::u16string SignedText(double n);

}  // namespace velane
