// The number parses and the number texts on any input: the lenient parse is
// always finite, the strict ones fail only with their own failures, and the
// texts the player writes read back as the numbers they came from.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/ansi.h"
#include "config/conversions.h"
#include "diagnostics/failure.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken rule: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velane;
  FuzzedDataProvider in(data, size);
  const std::u16string separator = in.ConsumeBool() ? u"." : u",";
  const double x = in.ConsumeFloatingPoint<double>();
  const std::int16_t n = in.ConsumeIntegral<std::int16_t>();
  const std::u16string text = FromAnsi(in.ConsumeRemainingBytesAsString());

  Check(std::isfinite(LenientNumber(text)), "the lenient parse is finite");
  try {
    const double strict = StrictNumber(text, separator);
    Check(std::isfinite(strict), "a strict number is finite");
    // A number the strict parse accepts reads the same leniently, when it
    // is written with the "." separator.
    if (separator == u"." && text.find(u'\n') == std::u16string::npos)
      Check(LenientNumber(text) == strict, "both parses agree on a plain number");
  } catch (const TypeMismatch&) {
  } catch (const Overflow&) {
  }
  try {
    const std::int16_t i = StrictInteger(text);
    (void)i;
  } catch (const TypeMismatch&) {
  } catch (const Overflow&) {
  }

  // The texts the player builds read back as their numbers.
  Check(StrictNumber(DecimalText(n), u".") == n, "decimal text reads back");
  Check(StrictNumber(FiveDigitText(n), u".") == n, "five-digit text reads back");
  Check(FiveDigitText(n).size() >= 5, "five digits at least");
  if (std::isfinite(x)) {
    const std::u16string signedText = SignedText(x);
    Check(signedText[0] == u' ' || signedText[0] == u'-', "a sign or a blank in front");
    Check(signedText.find_first_of(u"eE") == std::u16string::npos, "never an exponent");
    const double back = LenientNumber(signedText);
    Check(back == x || (x == 0 && back == 0), "signed text reads back");
  }
  return 0;
}
