#include "config/conversions.h"
#include <string>
// PLACEHOLDER: replaced by the conversions.
namespace velane {
double LenientNumber(std::u16string_view) { return 0; }
double StrictNumber(std::u16string_view t) {
  std::string s(t.begin(), t.end());
  return std::stod(s);
}
std::int16_t StrictInteger(std::u16string_view t) {
  return static_cast<std::int16_t>(StrictNumber(t));
}
std::u16string DecimalText(std::int16_t n) {
  auto s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}
std::u16string FiveDigitText(std::int16_t n) { return DecimalText(n); }
std::u16string SignedText(double) { return u" 0"; }
}  // namespace velane
