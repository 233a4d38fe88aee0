// One simulated day of a running player: 86,400 slide ticks and 8,640,000
// cursor-watch ticks over the fakes and a real content folder, with the
// mouse moved now and then. Nothing may pile up: no file handle, no trace
// text beyond its limits, no key written twice, no drift of the cursor
// display count. Leaks are the sanitizer build's to find (scripts/test runs
// this under AddressSanitizer with leak detection).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "diagnostics/principal.h"
#include "display/afficheur.h"
#include "program_fixture.h"
#include "windows/designs.h"

namespace velane {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

constexpr int kSecondsPerDay = 24 * 60 * 60;
constexpr int kCursorTicksPerSecond = 1000 / kSourisbougeIntervalMs;

std::size_t OpenFileHandles() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// A chain of every slide type, with dwell values that exercise the
// lenient parse and a section whose keys the player writes back itself.
struct Slide {
  int section;
  int ticksShown;  // integer part of the dwell plus one
};
const std::vector<Slide> kLoop = {{1, 5}, {2, 10}, {3, 3}, {4, 1}, {5, 31}};

class Soak : public testing_support::ProgramFixture {
 protected:
  void SetUp() override {
    const fs::path r = root.path();
    WriteBytes(PlaylistFile(),
               "[Systeme]\r\nTailleEcranL=1024\r\nTailleEcranW=768\r\nmarge=0\r\n"
               "[section 0]\r\nsection suivante=1\r\n"
               "[section 1]\r\ndelais secondes=4\r\nsection suivante=2\r\n"
               "Type=image\r\nimage=photo.jpg\r\nTransition=1\r\n"
               "[section 2]\r\ndelais secondes=9s\r\nsection suivante=3\r\n"
               "Type=url\r\nurl=http://example.test/?q=%FICHIER%\r\nTransition=2\r\n"
               "[section 3]\r\ndelais secondes=2.5\r\nsection suivante=4\r\n"
               "Type=html\r\nhtml=page.html\r\n"
               // No dwell and no transition: written back at every tick.
               "[section 4]\r\nsection suivante=5\r\nType=image\r\nimage=\r\n"
               "[section 5]\r\ndelais secondes=30\r\nsection suivante=1\r\n"
               "Type=Image\r\n");
    fs::create_directories(r / "modeles");
    std::string image =
        "<html><head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html\">\r\n"
        "</head>\r\n<body bgcolor=\"#000000\">\r\n";
    for (int i = 0; i < 60; ++i) image += "<div class=\"frame\"><img src=\"%FICHIER%\"></div>\r\n";
    WriteBytes(r / "modeles" / "image.html", image + "</body></html>\r\n");
    WriteBytes(r / "modeles" / "url.html",
               "<html><body class=x><iframe src=\"%URL%\"></iframe></body></html>\r\n");
    WriteBytes(
        r / "modeles" / "transitions.ini",
        "[1]\r\nhtml=<meta http-equiv=\"Page-Enter\" content=\"blendTrans(Duration=1)\">\r\n"
        "[2]\r\nhtml=<meta http-equiv=\"Page-Exit\" content=\"revealTrans(Transition=3)\">\r\n");
    for (const char* folder : {"00001", "00002", "00003", "00004", "00005"})
      fs::create_directories(r / "flashs" / folder);
    WriteBytes(r / "flashs" / "00003" / "page.html",
               "<html>\r\n<BODY style=\"color:white\">\r\nbonjour\r\n</BODY>\r\n</html>\r\n");
    StartWith(u"RUNTIME");
  }

  void SlideTick() { fakes.toolkit.Fire(kTimer1IntervalMs); }
  void CursorTick() { fakes.toolkit.Fire(kSourisbougeIntervalMs); }
  std::u16string Trace() { return program.GetPrincipal().DEBUGGER1().Text(); }
  std::u16string PagePath(int section) {
    char folder[8];
    std::snprintf(folder, sizeof folder, "%05d", section);
    return FromAnsi((root.path() / "flashs" / folder / "temporaire.html").string());
  }
};

// The navigations a day of ticks must produce: the first tick shows
// section 1, then the loop runs with each slide's own number of ticks.
std::vector<int> ExpectedSections(int ticks) {
  std::vector<int> shown;
  int t = 0;
  for (std::size_t i = 0; t < ticks; i = (i + 1) % kLoop.size()) {
    shown.push_back(kLoop[i].section);
    t += kLoop[i].ticksShown;
  }
  return shown;
}

TEST_F(Soak, OneDayOfTicksLeavesNothingBehind) {
  const std::size_t handlesAtStart = OpenFileHandles();
  const int countAtStart = fakes.cursor.count;
  fakes::FakeControl& webcam = Webcam();
  // The longest pending trace line: the longest slide's dots after a cut
  // to the limit (one "." per tick after the first).
  const std::size_t longestDots = 31;
  std::size_t longestTrace = 0;
  std::string playlistAfterFirstLoop;

  int bursts = 0;  // movements after the cursor had gone
  for (int second = 0; second < kSecondsPerDay; ++second) {
    // The visitor's hand: every ten minutes the mouse moves for a second,
    // a pixel every other tick (so the idle count keeps restarting);
    // every hour it is nudged for three ticks.
    const bool longMove = second % 600 == 300;
    const bool shortMove = second % 3600 == 1800;
    bursts += longMove || shortMove;
    for (int t = 0; t < kCursorTicksPerSecond; ++t) {
      if ((longMove && t % 2 == 0) || (shortMove && t < 3)) fakes.cursor.x += 1;
      CursorTick();
    }
    SlideTick();
    longestTrace = std::max(longestTrace, Trace().size());
    if (second == 100) playlistAfterFirstLoop = ReadBytes(PlaylistFile());

    // Sampled checks, cheap enough for every ten minutes.
    if (second % 600 == 599) {
      ASSERT_LE(fakes.cursor.count, 0) << "second " << second;
      ASSERT_GE(fakes.cursor.count, -1) << "second " << second;
      ASSERT_EQ(OpenFileHandles(), handlesAtStart) << "second " << second;
    }
  }

  // The slides came in the order and at the pace of their dwell values.
  const std::vector<int> expected = ExpectedSections(kSecondsPerDay);
  ASSERT_EQ(webcam.navigations.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(webcam.navigations[i], PagePath(expected[i])) << "slide " << i;

  // The trace never grew beyond its limit plus one pending line of dots.
  EXPECT_LE(longestTrace, kTraceLimit + longestDots);
  // The playlist filled itself during the first loop and never grew after.
  EXPECT_EQ(ReadBytes(PlaylistFile()), playlistAfterFirstLoop);
  // No failure was reported: nothing went into the trace log.
  EXPECT_FALSE(fs::exists(root.path() / "debugger.log"));
  EXPECT_EQ(OpenFileHandles(), handlesAtStart);

  // The mouse was still at the end of the day: the cursor is hidden once;
  // one more movement brings it back to where it started.
  EXPECT_EQ(fakes.cursor.count, countAtStart - 1);
  ASSERT_NE(QuitterWindow(), nullptr);
  EXPECT_FALSE(QuitterWindow()->IsVisible());
  fakes.cursor.x += 1;
  CursorTick();
  EXPECT_EQ(fakes.cursor.count, countAtStart);
  EXPECT_TRUE(QuitterWindow()->IsVisible());
  // Each movement showed the cursor once and the stillness after it hid it
  // once, strictly in turn: hide, show, hide ... show.
  const std::vector<bool>& calls = fakes.cursor.calls;
  EXPECT_EQ(calls.size(), 2u * bursts + 2);
  for (std::size_t i = 0; i < calls.size(); ++i)
    ASSERT_EQ(calls[i], i % 2 == 1) << "ShowCursor call " << i;
}

}  // namespace
}  // namespace velane
