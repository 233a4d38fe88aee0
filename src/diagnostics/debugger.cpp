#include "diagnostics/debugger.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "config/ansi.h"
#include "diagnostics/failure.h"
#include "display/text_helpers.h"

namespace velane {
namespace {

constexpr char kLogName[] = "debugger.log";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The trace keeps its first kTraceLimit UTF-16 units, exactly. The cut may
// leave half of a surrogate pair at the end; the text is only ever shown,
// so that costs at most one odd character at the bottom of the label.
std::u16string CutToLimit(std::u16string text) {
  if (text.size() > kTraceLimit) text.resize(kTraceLimit);
  return text;
}

// "dd/mm/yyyy hh:nn:ss : texte" and CR LF, in the code page.
std::string LogLine(const platform::LocalTime& t, const std::u16string& texte) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d : ", t.day,
                t.month, t.year, t.hour, t.minute, t.second);
  return stamp + ToAnsi(texte) + "\r\n";
}

}  // namespace

DEBUGGER::DEBUGGER(platform::Control& host, platform::Control& traceur,
                   platform::Clock& clock)
    : host_(host), traceur_(traceur), clock_(clock) {}

// Each step may fail on its own and is then skipped: the trace text is
// updated even when the log cannot be written, and nothing is reported.
void DEBUGGER::add(std::u16string texte, bool logger) {
  Step([&] { traceur_.SetText(CutToLimit(texte + u"\r\n" + traceur_.Text())); });
  if (!logger) return;

  // Opened, written and closed within the call: no handle outlives it.
  File log;
  Step([&] {
    log.reset(std::fopen(kLogName, "ab"));
    if (!log) throw Failure("cannot open the trace log");
  });
  Step([&] {
    if (!log) throw Failure("the trace log is not open");
    const std::string line = LogLine(clock_.Now(), texte);
    if (std::fwrite(line.data(), 1, line.size(), log.get()) != line.size())
      throw Failure("cannot write the trace log");
  });
  Step([&] { log.reset(); });
}

void DEBUGGER::ADDandWAIT(std::u16string texte) {
  const std::u16string old = traceur_.Text();
  traceur_.SetText(CutToLimit(texte + kTraceMarker + u"\r\n" + old));
}

// Not cut: a long run of values grows the trace until the next entry cuts
// it. An Overflow from the replacement leaves the trace text as it was.
void DEBUGGER::ADDvalueWAIT(std::u16string texte) {
  const std::u16string old = traceur_.Text();
  traceur_.SetText(ReplaceAll(old, std::u16string(1, kTraceMarker), texte));
}

void DEBUGGER::ADDtextAvanced(std::u16string texte) {
  const std::u16string old = traceur_.Text();
  traceur_.SetText(CutToLimit(texte + old));
}

void DEBUGGER::UserControl_Resize() {
  const platform::PixelRect inner = host_.Placement();
  traceur_.Place({0, 0, std::max(0, inner.width), std::max(0, inner.height)});
}

std::u16string DEBUGGER::Text() const { return traceur_.Text(); }

}  // namespace velane
