// The screen's status: its JSON from a known state and back, the rules the
// fleet view applies (silent, restarting over and over, safe names), what
// the player writes tick by tick over the fakes, and the fleet read back
// from a status folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "check/fleet_status.h"
#include "config/ansi.h"
#include "diagnostics/screen_status.h"
#include "display/afficheur.h"
#include "program_fixture.h"

namespace velane {
namespace {

namespace fs = std::filesystem;
using platform::LocalTime;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

ScreenStatus KnownStatus() {
  ScreenStatus s;
  s.screen = "hall-1";
  s.version = "1.0.2";
  s.startedAt = {2026, 12, 7, 8, 0, 0};
  s.starts = {{2026, 12, 6, 8, 0, 0}, {2026, 12, 7, 8, 0, 0}};
  s.slide = StatusSlide{3, "image", "caf\xc3\xa9 \"1\".png", {2026, 12, 7, 14, 3, 5}};
  s.nextSection = -2;
  s.lastTick = LocalTime{2026, 12, 7, 14, 3, 9};
  s.problems = {{"missing-page", "section 4, \"html\"", "flashs/00004/a.html does not exist"}};
  s.memoryKb = 301234;
  s.cpuPercent = 0.125;
  return s;
}

TEST(ScreenStatusJson, EveryFieldFromAKnownStateAndBack) {
  const ScreenStatus s = KnownStatus();
  EXPECT_EQ(FormatStatusJson(s),
            "{\n"
            "  \"format\": 1,\n"
            "  \"screen\": \"hall-1\",\n"
            "  \"version\": \"1.0.2\",\n"
            "  \"started_at\": \"2026-12-07T08:00:00\",\n"
            "  \"starts\": [\"2026-12-06T08:00:00\", \"2026-12-07T08:00:00\"],\n"
            "  \"slide\": {\"section\": 3, \"type\": \"image\", \"value\": \"caf\xc3\xa9 "
            "\\\"1\\\".png\", \"since\": \"2026-12-07T14:03:05\"},\n"
            "  \"next_section\": -2,\n"
            "  \"last_tick\": \"2026-12-07T14:03:09\",\n"
            "  \"schedule\": null,\n"
            "  \"problems\": [\n"
            "    {\"code\": \"missing-page\", \"place\": \"section 4, \\\"html\\\"\", "
            "\"message\": \"flashs/00004/a.html does not exist\"}\n"
            "  ],\n"
            "  \"sandboxed\": null,\n"
            "  \"memory_kb\": 301234,\n"
            "  \"cpu_percent\": 0.12\n"
            "}\n");

  const auto back = ParseStatusJson(FormatStatusJson(s));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->screen, s.screen);
  EXPECT_EQ(TimeText(back->startedAt), "2026-12-07T08:00:00");
  ASSERT_EQ(back->starts.size(), 2u);
  ASSERT_TRUE(back->slide);
  EXPECT_EQ(back->slide->section, 3);
  EXPECT_EQ(back->slide->value, s.slide->value);
  EXPECT_EQ(TimeText(back->slide->since), "2026-12-07T14:03:05");
  EXPECT_EQ(back->nextSection, -2);
  EXPECT_EQ(back->problems, s.problems);
  EXPECT_FALSE(back->sandboxed);
  EXPECT_EQ(back->memoryKb, 301234u);

  // Before the first slide, and with the schedule and sandbox known.
  ScreenStatus early;
  early.screen = "x";
  early.schedule = "screen off";
  early.sandboxed = true;
  const std::string json = FormatStatusJson(early);
  EXPECT_NE(json.find("\"slide\": null,"), std::string::npos);
  EXPECT_NE(json.find("\"schedule\": \"screen off\","), std::string::npos);
  EXPECT_NE(json.find("\"sandboxed\": true,"), std::string::npos);
  EXPECT_NE(json.find("\"cpu_percent\": null\n"), std::string::npos);
  EXPECT_EQ(ParseStatusJson(json)->schedule, "screen off");

  // Text of the playlist that is not UTF-8 is read as Windows-1252.
  EXPECT_EQ(StatusText(u"caf\u00e9"), "caf\xc3\xa9");
  EXPECT_EQ(StatusText(FromAnsi("caf\xc3\xa9")), "caf\xc3\xa9");
}

TEST(ScreenStatusJson, WhatIsNoStatusIsRefusedWithoutHarm) {
  for (const char* text :
       {"", "{", "[]", "null", "{\"format\": 1}", "{\"format\": 2, \"screen\": \"a\"}",
        "{\"format\": 1, \"screen\": 5}", "{\"format\": 1, \"screen\": \"a\",}",
        "{\"format\": 1, \"screen\": \"a\\q\"}", "{\"format\": 1, \"screen\": \"a\"} x",
        "{\"format\": 1, \"screen\": \"\x01\"}"}) {
    EXPECT_FALSE(ParseStatusJson(text)) << text;
  }
  EXPECT_FALSE(ParseStatusJson(std::string(5000, '[') + std::string(5000, ']')));
  // Fields of the wrong kind are left out, not trusted.
  const auto odd = ParseStatusJson(
      "{\"format\": 1, \"screen\": \"a\", \"slide\": 3, \"next_section\": 70000, "
      "\"problems\": [1, {\"code\": \"x\"}], \"memory_kb\": -5, \"last_tick\": \"noon\"}");
  ASSERT_TRUE(odd);
  EXPECT_FALSE(odd->slide);
  EXPECT_FALSE(odd->nextSection);
  EXPECT_EQ(odd->problems.size(), 1u);
  EXPECT_FALSE(odd->memoryKb);
  EXPECT_FALSE(odd->lastTick);
}

TEST(ScreenStatusRules, SilentRestartingAndNames) {
  EXPECT_FALSE(IsSilent(0));
  EXPECT_FALSE(IsSilent(180));
  EXPECT_TRUE(IsSilent(181));

  struct Case {
    std::vector<LocalTime> starts;
    LocalTime lastTick;
    bool restarting;
  };
  const LocalTime t{2026, 12, 31, 23, 55, 0};
  const Case cases[] = {
      {{t}, t, false},
      {{{2026, 12, 31, 23, 50, 0}, {2026, 12, 31, 23, 53, 0}, t}, t, true},
      // across midnight and a year
      {{{2026, 12, 31, 23, 58, 0}, {2026, 12, 31, 23, 59, 0}, {2027, 1, 1, 0, 1, 0}},
       {2027, 1, 1, 0, 2, 0},
       true},
      // three starts, but spread over more than ten minutes
      {{{2026, 12, 31, 23, 40, 0}, {2026, 12, 31, 23, 53, 0}, t}, t, false},
      // restarted three times once, then ran for an hour
      {{{2026, 12, 31, 23, 50, 0}, {2026, 12, 31, 23, 53, 0}, t}, {2027, 1, 1, 0, 55, 0}, false},
  };
  for (const Case& c : cases) {
    ScreenStatus s;
    s.starts = c.starts;
    s.lastTick = c.lastTick;
    EXPECT_EQ(IsRestartingOverAndOver(s), c.restarting) << TimeText(c.lastTick);
  }
  // The starts kept: the last five, none from the future of this clock.
  std::vector<LocalTime> starts;
  for (int m = 0; m < 7; ++m) starts = StartsAfter(starts, {2026, 12, 7, 8, m, 0});
  ASSERT_EQ(starts.size(), kStartsKept);
  EXPECT_EQ(TimeText(starts.front()), "2026-12-07T08:02:00");
  starts = StartsAfter(starts, {2026, 12, 7, 8, 3, 30});  // the clock was set back
  EXPECT_EQ(starts.size(), 3u);

  EXPECT_EQ(SafeScreenName("hall-1.ecran_2"), "hall-1.ecran_2");
  EXPECT_EQ(SafeScreenName("../../etc/passwd"), "_._.._etc_passwd");
  EXPECT_EQ(SafeScreenName(".hidden"), "_hidden");
  EXPECT_EQ(SafeScreenName("caf\xc3\xa9 1/2"), "caf___1_2");
  EXPECT_EQ(SafeScreenName(""), "screen");
  EXPECT_EQ(SafeScreenName("///"), "screen");
  EXPECT_EQ(SafeScreenName(std::string(100, 'a')).size(), 64u);
}

// --- What the player writes ---------------------------------------------------

class StatusWriteTest : public testing_support::ProgramFixture {
 protected:
  StatusWriteTest() {
    WriteBytes(PlaylistFile(),
               "[section 0]\r\nsection suivante=1\r\n"
               "[section 1]\r\nType=url\r\nurl=http://example.org/\r\ndelais secondes=2\r\n"
               "section suivante=2\r\n"
               "[section 2]\r\nType=imgae\r\ndelais secondes=0\r\nsection suivante=1\r\n");
    fs::create_directories(root.path() / "flashs" / "00001");
    fs::create_directories(root.path() / "flashs" / "00002");
    fs::create_directories(root.path() / "modeles");
    WriteBytes(root.path() / "modeles" / "url.html", "<iframe src=\"%URL%\"></iframe>");
    fakes.process.usage = {123456, 10.0, 1000.0};
  }
  void Tick() { program.GetAfficheur().Timer1_Timer(); }
  fs::path Etat() const { return root.path() / "etat"; }
  std::optional<ScreenStatus> Written() {
    return ParseStatusJson(ReadBytes(Etat() / "ecran-hall.json"));
  }
  std::vector<fakes::FakeControl::Snapshot>& Snapshots() { return Webcam().snapshots; }
};

TEST_F(StatusWriteTest, FollowsTheSlidesAndAsksForTheirPictures) {
  fakes.clock.now = {2026, 12, 7, 14, 0, 1};
  Tick();
  auto s = Written();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->screen, "ecran-hall");  // the machine's name
  EXPECT_EQ(TimeText(s->startedAt), "2026-12-07T14:00:01");
  EXPECT_EQ(s->slide->section, 1);
  EXPECT_EQ(s->slide->type, "url");
  EXPECT_EQ(s->slide->value, "http://example.org/");
  EXPECT_EQ(TimeText(s->slide->since), "2026-12-07T14:00:01");
  EXPECT_EQ(s->nextSection, 2);
  EXPECT_TRUE(s->problems.empty());
  EXPECT_EQ(s->memoryKb, 123456u);
  EXPECT_FALSE(s->cpuPercent);  // no minute measured yet
  EXPECT_FALSE(s->schedule);
  EXPECT_FALSE(s->sandboxed);
  EXPECT_TRUE(Snapshots().empty());  // the page is still loading

  // A second after it is shown: its picture, once.
  fakes.clock.now.second = 2;
  Tick();
  ASSERT_EQ(Snapshots().size(), 1u);
  EXPECT_EQ(Snapshots()[0].path, FromAnsi((Etat() / "ecran-hall.png").string()));
  EXPECT_EQ(Snapshots()[0].maxWidth, 480);
  fakes.clock.now.second = 3;
  Tick();
  EXPECT_EQ(Snapshots().size(), 1u);

  // The advance to the mistyped slide: the status names it and its
  // problem in the checker's words.
  fakes.clock.now.second = 4;
  Tick();
  s = Written();
  EXPECT_EQ(s->slide->section, 2);
  EXPECT_EQ(s->slide->type, "imgae");
  EXPECT_EQ(TimeText(s->slide->since), "2026-12-07T14:00:04");
  ASSERT_EQ(s->problems.size(), 1u);
  EXPECT_EQ(s->problems[0].code, "wrong-type");
  EXPECT_EQ(s->problems[0].place, "section 2, \"Type\"");
  EXPECT_NE(s->problems[0].message.find("did you mean \"image\"?"), std::string::npos);

  // A minute on: the usage of the last minute.
  fakes.process.usage = {200000, 10.6, 1060.0};
  for (int i = 0; i < 60; ++i) Tick();
  s = Written();
  EXPECT_EQ(s->memoryKb, 200000u);
  ASSERT_TRUE(s->cpuPercent);
  EXPECT_NEAR(*s->cpuPercent, 1.0, 0.01);
}

// Whether the page process runs in a sandbox, as the browser control
// tells it: yes, no, or not known (null).
TEST_F(StatusWriteTest, SaysWhetherThePageProcessIsSandboxed) {
  const struct {
    std::optional<bool> sandboxed;
    const char* json;
  } cases[] = {{true, "\"sandboxed\": true,"},
               {false, "\"sandboxed\": false,"},
               {std::nullopt, "\"sandboxed\": null,"}};
  Tick();  // the display window, and its browser control, now exist
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    Webcam().sandboxed = c.sandboxed;
    for (int i = 0; i < 60; ++i) Tick();  // a status at least once a minute
    const std::string json = ReadBytes(Etat() / "ecran-hall.json");
    EXPECT_NE(json.find(c.json), std::string::npos) << json;
    const auto s = ParseStatusJson(json);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sandboxed, c.sandboxed);
  }
}

TEST_F(StatusWriteTest, KeepsItsStartsAndAFolderThatCannotBeWrittenIsToldOnce) {
  // The starts of the status file found at start are kept.
  fs::create_directories(Etat());
  ScreenStatus before;
  before.screen = "ecran-hall";
  before.starts = {{2026, 12, 7, 13, 55, 0}, {2026, 12, 7, 13, 58, 0}};
  WriteBytes(Etat() / "ecran-hall.json", FormatStatusJson(before));
  Tick();
  auto s = Written();
  ASSERT_TRUE(s);
  ASSERT_EQ(s->starts.size(), 3u);
  EXPECT_TRUE(IsRestartingOverAndOver(*s));

  // A folder in the JSON's place: told once, and the slides go on.
  fs::remove(Etat() / "ecran-hall.json");
  fs::create_directories(Etat() / "ecran-hall.json");
  testing::internal::CaptureStderr();
  for (int i = 0; i < 8; ++i) Tick();
  const std::string err = testing::internal::GetCapturedStderr();
  std::size_t told = 0;
  for (std::size_t at = 0; (at = err.find("cannot be written (is its folder", at)) != err.npos;
       ++at)
    ++told;
  EXPECT_EQ(told, 1u);
  EXPECT_GE(Webcam().navigations.size(), 4u);
}

// --- The fleet read back ------------------------------------------------------

TEST(FleetStatus, ExitStatusFromTheScreensAndTheirFilesTimes) {
  testing_support::TempFolder folder;
  const auto now = std::chrono::system_clock::now();
  const long long nowSeconds =
      std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  const auto put = [&](const std::string& name, const std::string& json, int ageSeconds) {
    const fs::path path = folder.path() / (name + ".json");
    WriteBytes(path, json);
    fs::last_write_time(path,
                        std::chrono::file_clock::from_sys(now - std::chrono::seconds(ageSeconds)));
  };
  ScreenStatus well = KnownStatus();
  well.problems.clear();
  put("a", FormatStatusJson(well), 10);
  EXPECT_EQ(ReadFleet(folder.path().string(), nowSeconds).ExitStatus(), 0);
  put("b", FormatStatusJson(KnownStatus()), 20);  // a content problem
  EXPECT_EQ(ReadFleet(folder.path().string(), nowSeconds).ExitStatus(), 1);
  put("c", FormatStatusJson(well), 181);  // silent
  FleetReport report = ReadFleet(folder.path().string(), nowSeconds);
  EXPECT_EQ(report.ExitStatus(), 2);
  ASSERT_EQ(report.screens.size(), 3u);
  EXPECT_FALSE(report.screens[1].silent);
  EXPECT_TRUE(report.screens[2].silent);
  const std::string text = FormatFleetText(report);
  EXPECT_NE(text.find("hall-1  SILENT section 3 (image caf\xc3\xa9 \"1\".png) since 14:03:05; "
                      "written 3 min ago"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("      [missing-page] section 4, \"html\": flashs/00004/a.html"),
            std::string::npos);
  const std::string page = FormatFleetPage(report, "now");
  EXPECT_NE(page.find("<div class=\"card silent\">"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_NE(page.find("caf\xc3\xa9 &quot;1&quot;.png"), std::string::npos);

  // A file that is no status: a warning, never a crash.
  testing_support::TempFolder other;
  WriteBytes(other.path() / "x.json", "{\"format\": 1");
  fs::last_write_time(other.path() / "x.json", std::chrono::file_clock::from_sys(now));
  EXPECT_EQ(ReadFleet(other.path().string(), nowSeconds).ExitStatus(), 1);
  EXPECT_EQ(ReadFleet((other.path() / "none").string(), nowSeconds).ExitStatus(), 1);
  EXPECT_EQ(AgeText(59), "59 s");
  EXPECT_EQ(AgeText(3 * 3600 + 600), "3 h 10 min");
}

}  // namespace
}  // namespace velane
