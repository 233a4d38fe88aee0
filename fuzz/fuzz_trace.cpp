// The trace operations in any order with any texts: the trace never grows
// beyond its limits, every operation gives what the rules say, and only the
// value operation may fail (with an overflow, the trace left as it was).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "config/ansi.h"
#include "diagnostics/debugger.h"
#include "diagnostics/failure.h"
#include "fakes/fake_platform.h"
#include "windows/designs.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken rule: %s\n", what);
    std::abort();
  }
}

// Every marker replaced, left to right, with the 16-bit position limits.
std::optional<std::u16string> ReplaceMarkers(const std::u16string& text,
                                             const std::u16string& value) {
  std::u16string out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(velane::kTraceMarker, from);
    if (at == std::u16string::npos) break;
    if (out.size() + (at - from) + 1 > 32767) return std::nullopt;
    out.append(text, from, at - from);
    out += value;
    if (out.size() + 1 > 32767) return std::nullopt;
    from = at + 1;
  }
  return out + text.substr(from);
}

std::u16string Cut(std::u16string s) {
  if (s.size() > velane::kTraceLimit) s.resize(velane::kTraceLimit);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velane;
  FuzzedDataProvider in(data, size);
  fakes::FakeClock clock;
  ControlDesign design;
  fakes::FakeControl host(design);
  fakes::FakeControl traceur(design);
  traceur.text = u"VELANE Tarvin 2004 - debugger";
  DEBUGGER trace(host, traceur, clock);
  std::u16string model = traceur.text;

  while (in.remaining_bytes() > 0) {
    int op = in.ConsumeIntegralInRange(0, 4);
    // Texts with markers in them now and then; a long run of dots too.
    std::u16string texte = FromAnsi(in.ConsumeRandomLengthString(64));
    if (in.ConsumeBool()) texte.push_back(kTraceMarker);
    if (op == 4) {
      // A long slide at once: thousands of dots at the pending marker,
      // enough to carry it past the 16-bit positions.
      texte = std::u16string(in.ConsumeIntegralInRange(0, 40000), u'.');
      texte.push_back(kTraceMarker);
      op = 2;
    }
    switch (op) {
      case 0:
        trace.add(texte);
        model = Cut(texte + u"\r\n" + model);
        break;
      case 1:
        trace.ADDandWAIT(texte);
        model = Cut(texte + kTraceMarker + u"\r\n" + model);
        break;
      case 2: {
        const std::optional<std::u16string> next = ReplaceMarkers(model, texte);
        try {
          trace.ADDvalueWAIT(texte);
          Check(next.has_value(), "a value is refused where the rules refuse it");
          model = *next;
        } catch (const Overflow&) {
          Check(!next.has_value(), "a value is taken where the rules take it");
        }
        break;
      }
      case 3:
        trace.ADDtextAvanced(texte);
        model = Cut(texte + model);
        break;
    }
    Check(trace.Text() == model, "the trace is what the rules make it");
    if (op != 2) Check(model.size() <= kTraceLimit, "the trace is cut to its limit");
  }
  return 0;
}
