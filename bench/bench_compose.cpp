// What composing one page costs: a 30,000-character page with 200
// placeholders, content-type meta tags and body tags goes through the three
// replacements an advance makes, and the file reading that comes before.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "config/ansi.h"
#include "diagnostics/debugger.h"
#include "display/outils.h"
#include "display/text_helpers.h"
#include "fakes/fake_platform.h"
#include "windows/designs.h"

namespace velane {
namespace {

constexpr char16_t kMeta[] = u"<meta http-equiv=\"Content-Type\"";

// About 30,000 characters of lines of about 60: the placeholder, in both
// letter cases, on 200 of them; four meta tags; three body tags (one in
// upper case, one without attributes).
std::u16string LargePage() {
  std::u16string page = u"<html>\r\n<head>\r\n";
  for (int i = 0; i < 4; ++i)
    page += std::u16string(kMeta) + u" content=\"text/html; charset=windows-1252\">\r\n";
  page += u"</head>\r\n<body bgcolor=\"#000000\">\r\n<BODY class=x>\r\n<body>\r\n";
  int placeholders = 0;
  for (int line = 0; page.size() < 29900; ++line) {
    if (placeholders < 200 && line % 2 == 0) {
      page += placeholders % 2 ? u"<img src=\"%fichier%\" alt=\"\">  <!-- pad -->\r\n"
                               : u"<img src=\"%FICHIER%\" alt=\"\">  <!-- pad -->\r\n";
      ++placeholders;
    } else {
      page += u"<p class=\"caption\">Lorem ipsum dolor sit amet</p>\r\n";
    }
  }
  page += u"</body>\r\n</html>\r\n";
  return page;
}

// The replacements of an advance, in their order.
std::u16string Compose(std::u16string page) {
  page = ReplaceAll(std::move(page), u"%FICHIER%", u"photo.jpg");
  page = ReplaceAll(std::move(page), kMeta,
                    u"<meta http-equiv=\"Page-Enter\" content=\"blendTrans(Duration=1)\">" +
                        std::u16string(kMeta));
  return ReplaceAllNoCase(std::move(page), u"<body ", u"<body scroll=NO ");
}

void BM_ComposeLargePage(benchmark::State& state) {
  const std::u16string page = LargePage();
  if (Compose(page).size() < page.size()) state.SkipWithError("the composition lost text");
  for (auto _ : state) {
    std::u16string composed = Compose(page);
    benchmark::DoNotOptimize(composed);
  }
  state.counters["page_chars"] = static_cast<double>(page.size());
}
BENCHMARK(BM_ComposeLargePage)->Unit(benchmark::kMicrosecond);

// The same page read from disk line by line, the message loop given its
// turn before each line (here a loop with nothing to do).
void BM_ReadWholeFileLargePage(benchmark::State& state) {
  char path[] = "/tmp/velane-bench-page-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("cannot create a temporary file");
    return;
  }
  const std::string bytes = ToAnsi(LargePage());
  const bool written =
      ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  fakes::FakePump pump;
  const std::u16string name = FromAnsi(path);
  if (!written) state.SkipWithError("cannot write the page");
  for (auto _ : state) {
    std::u16string text = ReadWholeFile(name, pump);
    benchmark::DoNotOptimize(text);
  }
  ::unlink(path);
}
BENCHMARK(BM_ReadWholeFileLargePage)->Unit(benchmark::kMicrosecond);

// One second of a slide in the trace: a dot at the pending marker of a
// full trace.
void BM_TraceDot(benchmark::State& state) {
  fakes::FakeClock clock;
  ControlDesign design;
  fakes::FakeControl host(design);
  fakes::FakeControl traceur(design);
  DEBUGGER trace(host, traceur, clock);
  const std::u16string dot{u'.', kTraceMarker};
  std::int64_t ticks = 0;
  for (auto _ : state) {
    if (ticks++ % 600 == 0) {
      state.PauseTiming();
      trace.ADDvalueWAIT(u"");
      trace.ADDandWAIT(u"section : 12" + std::u16string(900, u'.'));
      state.ResumeTiming();
    }
    trace.ADDvalueWAIT(dot);
  }
}
BENCHMARK(BM_TraceDot);

}  // namespace
}  // namespace velane
