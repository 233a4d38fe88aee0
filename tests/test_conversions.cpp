// Conversions between setting texts, numbers and names.
#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <string>

#include "config/ansi.h"
#include "config/conversions.h"
#include "diagnostics/failure.h"

namespace velane {
namespace {

TEST(LenientNumber, ReadsTheNumberTheTextBeginsWith) {
  EXPECT_EQ(LenientNumber(u"10"), 10);
  EXPECT_EQ(LenientNumber(u"10s"), 10);
  EXPECT_EQ(LenientNumber(u"1.5"), 1.5);
  EXPECT_EQ(LenientNumber(u"-2.25xyz"), -2.25);
  EXPECT_EQ(LenientNumber(u"+7"), 7);
  EXPECT_EQ(LenientNumber(u".5"), 0.5);
  EXPECT_EQ(LenientNumber(u"-.5"), -0.5);
  EXPECT_EQ(LenientNumber(u"3."), 3);
  EXPECT_EQ(LenientNumber(u"1.2.3"), 1.2);
  EXPECT_EQ(LenientNumber(u"007"), 7);
}

TEST(LenientNumber, BlanksTabsAndLineFeedsAnywhereAreIgnored) {
  EXPECT_EQ(LenientNumber(u" 1 0"), 10);
  EXPECT_EQ(LenientNumber(u"\t- 1\n2 . 5"), -12.5);
  EXPECT_EQ(LenientNumber(u"1 e 3"), 1000);
  // A carriage return is no blank: it stops the number.
  EXPECT_EQ(LenientNumber(u"1\r2"), 1);
}

TEST(LenientNumber, NoNumberGivesZero) {
  EXPECT_EQ(LenientNumber(u""), 0);
  EXPECT_EQ(LenientNumber(u"abc"), 0);
  EXPECT_EQ(LenientNumber(u"s10"), 0);
  EXPECT_EQ(LenientNumber(u"."), 0);
  EXPECT_EQ(LenientNumber(u"-"), 0);
  EXPECT_EQ(LenientNumber(u"+-1"), 0);
  EXPECT_EQ(LenientNumber(u"   "), 0);
}

TEST(LenientNumber, DotIsTheOnlySeparatorWhateverTheLocale) { EXPECT_EQ(LenientNumber(u"1,5"), 1); }

TEST(LenientNumber, ExponentOnlyWhenDigitsFollow) {
  EXPECT_EQ(LenientNumber(u"1e3"), 1000);
  EXPECT_EQ(LenientNumber(u"2E-2"), 0.02);
  EXPECT_EQ(LenientNumber(u"1.5e+1s"), 15);
  EXPECT_EQ(LenientNumber(u"1e"), 1);
  EXPECT_EQ(LenientNumber(u"1e+"), 1);
  EXPECT_EQ(LenientNumber(u"1e-x"), 1);
  EXPECT_EQ(LenientNumber(u"4ever"), 4);
}

TEST(LenientNumber, BeyondTheDoubleRangeStaysFinite) {
  EXPECT_EQ(LenientNumber(u"1e400"), DBL_MAX);
  EXPECT_EQ(LenientNumber(u"-1e400"), -DBL_MAX);
  EXPECT_EQ(LenientNumber(u"1e99999999999999999999"), DBL_MAX);
  EXPECT_EQ(LenientNumber(std::u16string(400, u'9')), DBL_MAX);
  EXPECT_EQ(LenientNumber(u"1e-400"), 0);
  EXPECT_EQ(LenientNumber(u"0e99999"), 0);
  EXPECT_EQ(LenientNumber(u"0.00001e-99999"), 0);
  EXPECT_TRUE(std::isfinite(LenientNumber(u"123456789e400")));
}

TEST(StrictNumber, WholeTextWithBlanksAround) {
  EXPECT_EQ(StrictNumber(u"768"), 768);
  EXPECT_EQ(StrictNumber(u"  768 \t"), 768);
  EXPECT_EQ(StrictNumber(u"-2.5"), -2.5);
  EXPECT_EQ(StrictNumber(u"+1e3"), 1000);
  EXPECT_EQ(StrictNumber(u".5"), 0.5);
}

TEST(StrictNumber, AnythingElseIsATypeMismatch) {
  for (const char16_t* text : {u"", u"   ", u"768px", u"abc", u"7 68", u"1e", u"-", u".", u"0x10",
                               u"inf", u"nan", u"1,5,", u"--1", u"1e3.5"}) {
    EXPECT_THROW(StrictNumber(text), TypeMismatch) << ToAnsi(text);
  }
}

TEST(StrictNumber, MismatchNamesTheText) {
  try {
    StrictNumber(u"768px");
    FAIL();
  } catch (const TypeMismatch& e) {
    EXPECT_NE(std::string(e.what()).find("\"768px\""), std::string::npos);
  }
}

TEST(StrictNumber, TooLargeIsAnOverflow) {
  EXPECT_THROW(StrictNumber(u"1e400"), Overflow);
  EXPECT_EQ(StrictNumber(u"1e-400"), 0);
}

TEST(StrictNumber, DecimalSeparatorIsTheOneGiven) {
  EXPECT_EQ(StrictNumber(u" 2,5 ", u","), 2.5);
  EXPECT_EQ(StrictNumber(u"-,5e1", u","), -5);
  EXPECT_THROW(StrictNumber(u"2.5", u","), TypeMismatch);
  EXPECT_THROW(StrictNumber(u"2,", u",,"), TypeMismatch);
  EXPECT_EQ(StrictNumber(u"2,,5", u",,"), 2.5);
  EXPECT_EQ(StrictNumber(u"2.5", u"."), 2.5);
}

TEST(StrictNumber, UsesTheLocaleDecimalSeparator) {
  // Only when a locale with a decimal comma is installed.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  bool comma = false;
  for (const char* name : {"fr_FR.UTF-8", "fr_FR.utf8", "de_DE.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      comma = true;
      break;
    }
  }
  if (comma) {
    EXPECT_EQ(StrictNumber(u"2,5"), 2.5);
    EXPECT_THROW(StrictNumber(u"2.5"), TypeMismatch);
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(StrictNumber(u"2.5"), 2.5);
  EXPECT_THROW(StrictNumber(u"2,5"), TypeMismatch);
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
}

TEST(StrictInteger, RoundsHalvesToEven) {
  EXPECT_EQ(StrictInteger(u" 7 "), 7);
  EXPECT_EQ(StrictInteger(u"2.5"), 2);
  EXPECT_EQ(StrictInteger(u"3.5"), 4);
  EXPECT_EQ(StrictInteger(u"-2.5"), -2);
  EXPECT_EQ(StrictInteger(u"-3.5"), -4);
  EXPECT_EQ(StrictInteger(u"2.51"), 3);
  EXPECT_EQ(StrictInteger(u"-0.4"), 0);
}

TEST(StrictInteger, RangeIs16Bits) {
  EXPECT_EQ(StrictInteger(u"32767"), 32767);
  EXPECT_EQ(StrictInteger(u"-32768"), -32768);
  EXPECT_EQ(StrictInteger(u"-32768.5"), -32768);      // to even: stays in range
  EXPECT_THROW(StrictInteger(u"32767.5"), Overflow);  // to even: 32768
  EXPECT_THROW(StrictInteger(u"40000"), Overflow);
  EXPECT_THROW(StrictInteger(u"-32769"), Overflow);
  EXPECT_THROW(StrictInteger(u"1e400"), Overflow);
  EXPECT_THROW(StrictInteger(u"abc"), TypeMismatch);
  EXPECT_THROW(StrictInteger(u""), TypeMismatch);
}

TEST(NumberText, Decimal) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(7), u"7");
  EXPECT_EQ(DecimalText(-12), u"-12");
  EXPECT_EQ(DecimalText(32767), u"32767");
  EXPECT_EQ(DecimalText(-32768), u"-32768");
}

TEST(NumberText, FiveDigits) {
  EXPECT_EQ(FiveDigitText(0), u"00000");
  EXPECT_EQ(FiveDigitText(7), u"00007");
  EXPECT_EQ(FiveDigitText(12345), u"12345");
  EXPECT_EQ(FiveDigitText(32767), u"32767");
  EXPECT_EQ(FiveDigitText(-7), u"-00007");
  EXPECT_EQ(FiveDigitText(-32768), u"-32768");
}

TEST(NumberText, Signed) {
  EXPECT_EQ(SignedText(0), u" 0");
  EXPECT_EQ(SignedText(-0.0), u" 0");
  EXPECT_EQ(SignedText(3), u" 3");
  EXPECT_EQ(SignedText(-2), u"-2");
  EXPECT_EQ(SignedText(2.5), u" 2.5");
  EXPECT_EQ(SignedText(0.1), u" 0.1");
  EXPECT_EQ(SignedText(-1234567), u"-1234567");
  EXPECT_EQ(SignedText(1e20), u" 100000000000000000000");
  // Whatever the lenient parse gives has a text form.
  EXPECT_EQ(SignedText(LenientNumber(u"1e400")).size(), 310u);
}

TEST(NumberText, SignedIgnoresTheLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
  EXPECT_EQ(SignedText(2.5), u" 2.5");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace velane
