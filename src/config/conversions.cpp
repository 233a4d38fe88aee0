#include "config/conversions.h"

#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <optional>
#include <system_error>

#include "config/ansi.h"
#include "diagnostics/failure.h"

namespace velane {
namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A number gathered as ASCII ("-12.5e3", "." as separator), with what is
// needed to tell an overflow from an underflow when it does not fit.
struct Gathered {
  std::string ascii;
  bool negative = false;
  // Decimal exponent of its first significant digit before the written
  // exponent: 2 for "123.4", -3 for "0.0012"; 0 when every digit is 0.
  long leadingPower = 0;
  bool allZero = true;
  long exponent = 0;  // the written exponent, saturated
};

// Tracks the digits of the mantissa as they are gathered.
class MantissaCounter {
 public:
  void Integer(char16_t d) {
    if (d != u'0' || !allZero_) {
      if (allZero_) power_ = -1;
      allZero_ = false;
      ++power_;
    }
  }
  void Fraction(char16_t d) {
    ++fractionZeros_;
    if (allZero_ && d != u'0') {
      allZero_ = false;
      power_ = -fractionZeros_;
    }
  }
  void Into(Gathered& g) const {
    g.allZero = allZero_;
    g.leadingPower = allZero_ ? 0 : power_;
  }

 private:
  bool allZero_ = true;
  long power_ = 0;
  long fractionZeros_ = 0;
};

enum class Range { kFits, kTooLarge, kTooSmall };

// The double of a gathered number. Values beyond the double range report
// which side they fell off.
double ToDouble(const Gathered& g, Range& range) {
  double value = 0;
  const char* first = g.ascii.data();
  const char* last = first + g.ascii.size();
  const auto [ptr, ec] = std::from_chars(first, last, value);
  range = Range::kFits;
  if (ec == std::errc::result_out_of_range) {
    const long power = g.leadingPower + g.exponent;
    range = !g.allZero && power > 0 ? Range::kTooLarge : Range::kTooSmall;
    return range == Range::kTooLarge ? (g.negative ? -DBL_MAX : DBL_MAX)
                                     : (g.negative ? -0.0 : 0.0);
  }
  if (ec != std::errc() || ptr != last) return 0;
  return value;
}

// Reads an exponent ("e", optional sign, at least one digit) at i through
// next/at; returns false, leaving i alone, when there is none.
template <class At, class Next>
bool GatherExponent(std::size_t& i, At at, Next next, Gathered& g) {
  std::size_t j = i;
  if (at(j) != u'e' && at(j) != u'E') return false;
  j = next(j);
  bool negative = false;
  if (at(j) == u'+' || at(j) == u'-') {
    negative = at(j) == u'-';
    j = next(j);
  }
  if (!IsDigit(at(j))) return false;
  std::string digits;
  long exponent = 0;
  for (; IsDigit(at(j)); j = next(j)) {
    digits.push_back(char(at(j)));
    if (exponent < 100000000) exponent = exponent * 10 + (at(j) - u'0');
  }
  g.exponent = negative ? -exponent : exponent;
  g.ascii += negative ? "e-" : "e";
  g.ascii += digits;
  i = j;
  return true;
}

std::string Quoted(std::u16string_view text) { return "\"" + ToAnsi(text) + "\""; }

bool IsOuterBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The lenient parse; nothing when the text does not begin with a number.
std::optional<double> LenientParse(std::u16string_view text) {
  // Blanks, tabs and line feeds do not count anywhere: "1 0" reads as 10.
  auto skip = [&](std::size_t i) {
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n')) ++i;
    return i;
  };
  auto at = [&](std::size_t i) { return i < text.size() ? text[i] : u'\0'; };
  auto next = [&](std::size_t i) { return skip(i + 1); };

  Gathered g;
  MantissaCounter mantissa;
  std::size_t i = skip(0);
  if (at(i) == u'+' || at(i) == u'-') {
    g.negative = at(i) == u'-';
    if (g.negative) g.ascii.push_back('-');
    i = next(i);
  }
  std::size_t digits = 0;
  for (; IsDigit(at(i)); i = next(i), ++digits) {
    g.ascii.push_back(char(at(i)));
    mantissa.Integer(at(i));
  }
  if (at(i) == u'.') {
    g.ascii.push_back('.');
    for (i = next(i); IsDigit(at(i)); i = next(i), ++digits) {
      g.ascii.push_back(char(at(i)));
      mantissa.Fraction(at(i));
    }
  }
  if (digits == 0) return std::nullopt;
  mantissa.Into(g);
  GatherExponent(i, at, next, g);
  Range range;
  return ToDouble(g, range);
}

}  // namespace

double LenientNumber(std::u16string_view text) { return LenientParse(text).value_or(0); }

bool BeginsWithNumber(std::u16string_view text) { return LenientParse(text).has_value(); }

std::u16string LocaleDecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  return conventions && conventions->decimal_point && *conventions->decimal_point
             ? FromAnsi(conventions->decimal_point)
             : u".";
}

double StrictNumber(std::u16string_view text) {
  return StrictNumber(text, LocaleDecimalSeparator());
}

double StrictNumber(std::u16string_view text, std::u16string_view separator) {
  std::u16string_view t = text;
  while (!t.empty() && IsOuterBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsOuterBlank(t.back())) t.remove_suffix(1);

  auto at = [&](std::size_t i) { return i < t.size() ? t[i] : u'\0'; };
  auto next = [](std::size_t i) { return i + 1; };

  Gathered g;
  MantissaCounter mantissa;
  std::size_t i = 0;
  if (at(i) == u'+' || at(i) == u'-') {
    g.negative = at(i) == u'-';
    if (g.negative) g.ascii.push_back('-');
    ++i;
  }
  std::size_t digits = 0;
  for (; IsDigit(at(i)); ++i, ++digits) {
    g.ascii.push_back(char(at(i)));
    mantissa.Integer(at(i));
  }
  if (!separator.empty() && t.substr(i).starts_with(separator)) {
    g.ascii.push_back('.');
    for (i += separator.size(); IsDigit(at(i)); ++i, ++digits) {
      g.ascii.push_back(char(at(i)));
      mantissa.Fraction(at(i));
    }
  }
  mantissa.Into(g);
  if (digits > 0 && i < t.size()) GatherExponent(i, at, next, g);
  if (digits == 0 || i != t.size())
    throw TypeMismatch("Type mismatch: " + Quoted(text) + " is not a number");

  Range range;
  const double value = ToDouble(g, range);
  if (range == Range::kTooLarge)
    throw Overflow("Overflow: " + Quoted(text) + " is too large a number");
  return value;
}

std::int16_t StrictInteger(std::u16string_view text) {
  const double x = StrictNumber(text);
  // Halves go to the even neighbour: 2.5 gives 2, 3.5 gives 4.
  double r = std::floor(x);
  const double fraction = x - r;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
  if (!(r >= -32768.0 && r <= 32767.0))
    throw Overflow("Overflow: " + Quoted(text) + " is outside -32768 to 32767");
  return static_cast<std::int16_t>(r);
}

std::u16string DecimalText(std::int16_t n) { return FromAnsi(std::to_string(n)); }

std::u16string FiveDigitText(std::int16_t n) {
  char buffer[16];
  const int magnitude = n < 0 ? -int(n) : int(n);
  std::snprintf(buffer, sizeof buffer, "%s%05d", n < 0 ? "-" : "", magnitude);
  return FromAnsi(buffer);
}

std::u16string SignedText(double n) {
  if (n == 0) return u" 0";  // -0 included
  // Shortest digits that read back as the same double, never an exponent:
  // a few hundred characters at worst.
  char buffer[512];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(n), std::chars_format::fixed);
  std::string digits = ec == std::errc() ? std::string(buffer, end) : "0";
  return FromAnsi((std::signbit(n) ? "-" : " ") + digits);
}

}  // namespace velane
