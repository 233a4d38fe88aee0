// The playlist checker over temporary content roots: what it finds, in the
// player's order, with the player's rules, and that it never writes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "check/playlist_check.h"
#include "config/ansi.h"
#include "display/afficheur.h"
#include "display/slide_rules.h"
#include "program_fixture.h"

namespace velane {
namespace {

namespace fs = std::filesystem;

// "Today" for the schedules: Monday 7 December 2026.
const DayNumber kMonday = DayNumberOf(2026, 12, 7);

// The demo content shipped with the player, beside the tests.
const fs::path kDemo = fs::path(__FILE__).parent_path().parent_path() / "demo";

constexpr char kImageModel[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html\">"
    "</head><body bgcolor=\"#000000\"><img src=\"%FICHIER%\"></body></html>\r\n";
constexpr char kUrlModel[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html\">"
    "</head><body bgcolor=\"#000000\"><iframe src=\"%URL%\"></iframe></body>"
    "</html>\r\n";
constexpr char kTransitions[] = "[0]\r\nhtml=\r\n[1]\r\nhtml=<style></style>\r\n";

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file of the root, with the folders above it.
void Put(const fs::path& root, const std::string& relative, const std::string& bytes) {
  const fs::path path = root / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every entry under a folder with its kind, bytes and modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const auto time = entry.last_write_time().time_since_epoch().count();
    std::string state = std::to_string(time) + "|";
    state += entry.is_regular_file() ? "file|" + ReadBytes(entry.path())
             : entry.is_directory()  ? "dir"
                                     : "other";
    entries[fs::relative(entry.path(), root).string()] = state;
  }
  return entries;
}

class PlaylistCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velane-check-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }

  void Write(const std::string& relative, const std::string& bytes) { Put(root_, relative, bytes); }
  void Playlist(const std::string& text) { Write("VELANE_Afficheur.ini", text); }
  void Folders(std::initializer_list<const char*> names) {
    for (const char* n : names) fs::create_directories(root_ / "flashs" / n);
  }
  // Templates and transitions as the demo has them, without its playlist.
  void Models() {
    Write("modeles/image.html", kImageModel);
    Write("modeles/url.html", kUrlModel);
    Write("modeles/transitions.ini", kTransitions);
  }
  void CopyDemo() { fs::copy(kDemo, root_, fs::copy_options::recursive); }

  CheckReport Check() const { return CheckContentRoot(FromAnsi(root_.string())); }
  CheckReport CheckOn(DayNumber today) const {
    return CheckContentRoot(FromAnsi(root_.string()), today);
  }

  fs::path root_;
};

// The problems as "code section/key" lines, in report order.
std::vector<std::string> Listed(const CheckReport& report) {
  std::vector<std::string> lines;
  for (const CheckProblem& p : report.problems)
    lines.push_back(p.code + " " + (p.section ? ToAnsi(*p.section) : "-") + "/" +
                    (p.key ? ToAnsi(*p.key) : "-"));
  return lines;
}

bool Has(const CheckReport& report, const std::string& line) {
  const auto lines = Listed(report);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The message of the first problem listed as line; "" when there is none.
std::string MessageOf(const CheckReport& report, const std::string& line) {
  const auto lines = Listed(report);
  const auto it = std::find(lines.begin(), lines.end(), line);
  return it == lines.end() ? "" : ToAnsi(report.problems[it - lines.begin()].message);
}

// The severity of the first problem listed as line, by name; "" when none.
std::string SeverityOf(const CheckReport& report, const std::string& line) {
  const auto lines = Listed(report);
  const auto it = std::find(lines.begin(), lines.end(), line);
  return it == lines.end() ? "" : SeverityName(report.problems[it - lines.begin()].severity);
}

std::vector<int> ChainSections(const CheckReport& report) {
  std::vector<int> sections;
  for (const ChainSlide& s : report.chain) sections.push_back(s.section);
  return sections;
}

std::string Dump(const CheckReport& report) { return FormatCheckText(report); }

constexpr char kSysteme[] = "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n";

// A complete slide section: every key the player reads is present.
std::string Slide(int number, const std::string& type, const std::string& own, int next,
                  const std::string& dwell = "5", const std::string& transition = "1") {
  std::string s = "[section " + std::to_string(number) + "]\r\nType=" + type + "\r\n";
  if (type == "image" || type == "html" || type == "url" || type == "video")
    s += type + "=" + own + "\r\n";
  return s + "delais secondes=" + dwell + "\r\nTransition=" + transition +
         "\r\nsection suivante=" + std::to_string(next) + "\r\n";
}

constexpr char kStart[] = "[section 0]\r\nsection suivante=1\r\n";

// ---- the demo -------------------------------------------------------------

TEST_F(PlaylistCheckTest, DemoContentIsCleanAndLoops1To5) {
  CopyDemo();
  const CheckReport report = CheckOn(kMonday);
  EXPECT_TRUE(report.Clean()) << Dump(report);
  ASSERT_EQ(ChainSections(report), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(report.loopsTo, 1);
  const std::u16string types[] = {u"image", u"html", u"url", u"html", u"video"};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(report.chain[i].type, types[i]);
    EXPECT_EQ(report.chain[i].dwellSeconds, 6);  // dwell 5: 5 + 1 ticks
  }
  const std::string text = FormatCheckText(report);
  EXPECT_NE(text.find("No problem found."), std::string::npos) << text;
  EXPECT_NE(text.find("1 -> 2 -> 3 -> 4 -> 5 -> 1"), std::string::npos) << text;
  EXPECT_NE(FormatCheckJson(report).find("\"problems\": []"), std::string::npos);

  // The lunch menu, weekdays from 11:30 to 14:00, among the others.
  const std::string week = FormatWeekText(report);
  EXPECT_NE(week.find("  lun 2026-12-07\n"
                      "    00:00-11:30  sections 1, 2, 3, 5\n"
                      "    11:30-14:00  sections 1, 2, 3, 4, 5\n"
                      "    14:00-24:00  sections 1, 2, 3, 5\n"
                      "  mar 2026-12-08\n"),
            std::string::npos)
      << week;
  EXPECT_NE(week.find("  sam 2026-12-12\n    00:00-24:00  sections 1, 2, 3, 5\n"),
            std::string::npos)
      << week;
}

// ---- schedules --------------------------------------------------------------

constexpr char kPage[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html\"></head>"
    "<body>page</body></html>\r\n";

// Each kind of schedule fault, on a chain whose other slides always play:
// what it is, where (a malformed value with its line), how much it matters.
TEST_F(PlaylistCheckTest, ScheduleFaults) {
  struct Case {
    const char* keys;  // put into section 2, or [Systeme] for the screen-off keys
    bool systeme;
    const char* listed;
    const char* severity;
    const char* words;
  };
  const Case cases[] = {
      {"heures=7-11\r\n", false, "bad-schedule section 2/heures", "error",
       "line 19: \"7-11\" is not a time window"},
      {"jours=lun-vendredi\r\n", false, "bad-schedule section 2/jours", "error",
       "line 19: \"lun-vendredi\" is not a day"},
      {"du=2026-02-30\r\n", false, "bad-schedule section 2/du", "error",
       "\"2026-02-30\" is not a calendar day"},
      {"au=24/12/2026\r\n", false, "bad-schedule section 2/au", "error",
       "the player ignores the key"},
      {"du=2026-12-20\r\nau=2026-12-01\r\n", false, "never-scheduled section 2/-", "warning",
       "\"du\" (2026-12-20) comes after \"au\" (2026-12-01)"},
      {"au=2026-12-06\r\n", false, "never-scheduled section 2/-", "warning",
       "its last day, \"au\" (2026-12-06), is past"},
      {"jours=sam,dim\r\ndu=2026-12-07\r\nau=2026-12-11\r\n", false, "never-scheduled section 2/-",
       "warning", "none of its days"},
      {"ecran eteint=20:00-7h30\r\n", true, "bad-schedule Systeme/ecran eteint", "error",
       "line 5: \"20:00-7h30\" is not a time window"},
      {"jours eteint=dimanche\r\n", true, "bad-schedule Systeme/jours eteint", "error",
       "\"dimanche\" is not a day"},
  };
  Models();
  Folders({"00000", "00001", "00002"});
  Write("flashs/00001/a.html", kPage);
  Write("flashs/00002/b.html", kPage);
  for (const Case& c : cases) {
    const std::string two = Slide(2, "html", "b.html", 1);
    Playlist(std::string(kSysteme) + (c.systeme ? c.keys : "") + kStart +
             Slide(1, "html", "a.html", 2) + two + (c.systeme ? "" : c.keys));
    const CheckReport report = CheckOn(kMonday);
    EXPECT_EQ(Listed(report), std::vector<std::string>{c.listed}) << c.keys << Dump(report);
    EXPECT_EQ(SeverityOf(report, c.listed), c.severity) << c.keys;
    EXPECT_NE(MessageOf(report, c.listed).find(c.words), std::string::npos)
        << c.keys << MessageOf(report, c.listed);
  }
  // The control: a schedule that holds some day is no finding.
  Playlist(std::string(kSysteme) + "ecran eteint=22:00-06:00\r\n" + kStart +
           Slide(1, "html", "a.html", 2) + Slide(2, "html", "b.html", 1) +
           "jours=sam,dim\r\nheures=10:00-12:00\r\ndu=2026-12-07\r\nau=2026-12-13\r\n");
  EXPECT_TRUE(CheckOn(kMonday).Clean()) << Dump(CheckOn(kMonday));
}

// The week at a glance: the bands of each day, the slides in chain order,
// the screen-off hours, and the hours where nothing plays told once a day.
TEST_F(PlaylistCheckTest, WeekShowsBandsSlidesAndScreenOff) {
  Models();
  Folders({"00000", "00001", "00002", "00003"});
  for (const char* page : {"flashs/00001/a.html", "flashs/00002/b.html", "flashs/00003/c.html"})
    Write(page, kPage);
  Playlist(std::string(kSysteme) + "ecran eteint=22:30-07:00\r\njours eteint=dim\r\n" + kStart +
           Slide(1, "html", "a.html", 3) + "heures=07:00-11:00\r\n" +
           Slide(3, "html", "c.html", 2) + "heures=10:00-11:30,18:00-02:00\r\njours=ven-sam\r\n" +
           Slide(2, "html", "b.html", 1) + "heures=11:00-14:00,18:00-22:30\r\njours=lun-ven\r\n");
  const CheckReport report = CheckOn(kMonday);
  const std::vector<WeekDay> week = WeekAhead(report);
  ASSERT_EQ(week.size(), 7u);
  const auto bandsOf = [](const WeekDay& day) {
    std::vector<std::tuple<std::string, std::string, bool, std::vector<std::int16_t>>> out;
    for (const WeekBand& b : day.bands)
      out.emplace_back(ToAnsi(TimeText(b.start)), ToAnsi(TimeText(b.end)), b.screenOff, b.sections);
    return out;
  };
  using Bands = std::vector<std::tuple<std::string, std::string, bool, std::vector<std::int16_t>>>;
  EXPECT_EQ(bandsOf(week[0]), (Bands{{"00:00", "07:00", true, {}},
                                     {"07:00", "11:00", false, {1}},
                                     {"11:00", "14:00", false, {2}},
                                     {"14:00", "18:00", false, {}},
                                     {"18:00", "22:30", false, {2}},
                                     {"22:30", "24:00", true, {}}}));
  // Friday: section 3 in chain order, before 2; Saturday: Friday's night
  // (18:00-02:00) ends inside the screen-off hours.
  EXPECT_EQ(bandsOf(week[4]), (Bands{{"00:00", "07:00", true, {}},
                                     {"07:00", "10:00", false, {1}},
                                     {"10:00", "11:00", false, {1, 3}},
                                     {"11:00", "11:30", false, {3, 2}},
                                     {"11:30", "14:00", false, {2}},
                                     {"14:00", "18:00", false, {}},
                                     {"18:00", "22:30", false, {3, 2}},
                                     {"22:30", "24:00", true, {}}}));
  EXPECT_EQ(bandsOf(week[6]), (Bands{{"00:00", "24:00", true, {}}}));  // Sunday

  EXPECT_EQ(SeverityOf(report, "nothing-plays -/-"), "warning");
  EXPECT_NE(MessageOf(report, "nothing-plays -/-")
                .find("lun 2026-12-07: no slide plays 14:00-18:00 and the screen is not off"),
            std::string::npos)
      << Dump(report);
  std::size_t gaps = 0;
  for (const CheckProblem& p : report.problems) gaps += p.code == "nothing-plays";
  EXPECT_EQ(gaps, 6u);  // every day but Sunday

  const std::string text = FormatWeekText(report);
  EXPECT_NE(text.find("The week from lun 2026-12-07"), std::string::npos) << text;
  EXPECT_NE(text.find("    10:00-11:00  sections 1, 3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    14:00-18:00  nothing plays: black\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  dim 2026-12-13\n    00:00-24:00  screen off\n"), std::string::npos)
      << text;
  const std::string json = FormatWeekJson(report);
  EXPECT_NE(json.find("\"today\": \"2026-12-07\""), std::string::npos) << json;
  EXPECT_NE(json.find("{\"date\": \"2026-12-13\", \"day\": \"dim\", \"bands\": [{\"from\": "
                      "\"00:00\", \"to\": \"24:00\", \"screen_off\": true, \"sections\": []}]}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"from\": \"11:00\", \"to\": \"11:30\", \"screen_off\": false, "
                      "\"sections\": [3, 2]}"),
            std::string::npos)
      << json;
}

// ---- never writes ---------------------------------------------------------

TEST_F(PlaylistCheckTest, LeavesEveryFileAsItWas) {
  // A root the player would write to everywhere: keys missing, sections
  // missing, a chain that creates its own sections.
  CopyDemo();
  Playlist("[section 0]\nsection suivante=5\n[section 5]\nType=image\n");
  Write("flashs/00005/temporaire.html", "old page\r\n");
  const auto before = Snapshot(root_);
  const CheckReport broken = Check();
  EXPECT_FALSE(broken.Clean());
  EXPECT_EQ(Snapshot(root_), before);

  // A root without playlist at all: it is not created.
  fs::remove(root_ / "VELANE_Afficheur.ini");
  const auto empty = Snapshot(root_);
  const CheckReport missing = Check();
  EXPECT_TRUE(Has(missing, "missing-playlist -/-"));
  EXPECT_EQ(Snapshot(root_), empty);
  EXPECT_FALSE(fs::exists(root_ / "VELANE_Afficheur.ini"));
}

// ---- missing and empty keys -----------------------------------------------

TEST_F(PlaylistCheckTest, MissingKeysNameTheDefaultThePlayerWrites) {
  Models();
  Folders({"00000", "00001"});
  Write("flashs/00001/a.png", "png");
  // No [Systeme]; section 1 holds only its type and picture.
  Playlist(std::string(kStart) + "[section 1]\r\nType=image\r\nimage=a.png\r\n");
  const CheckReport report = Check();

  EXPECT_NE(MessageOf(report, "missing-key Systeme/TailleEcranL").find("\"768\""),
            std::string::npos);
  EXPECT_NE(MessageOf(report, "missing-key Systeme/TailleEcranW").find("\"576\""),
            std::string::npos);
  EXPECT_NE(MessageOf(report, "missing-key Systeme/marge").find("\"2\""), std::string::npos);
  EXPECT_TRUE(Has(report, "missing-section Systeme/-"));
  EXPECT_NE(MessageOf(report, "missing-key section 1/section suivante").find("\"0\""),
            std::string::npos);
  EXPECT_NE(MessageOf(report, "missing-key section 1/Transition").find("\"\""), std::string::npos);
  EXPECT_NE(MessageOf(report, "missing-key section 1/delais secondes").find("\"\""),
            std::string::npos);

  // A missing "section suivante" leads to section 0, which is then shown:
  // its own type and dwell now count, and its page is blank.
  EXPECT_EQ(ChainSections(report), (std::vector<int>{1, 0}));
  EXPECT_EQ(report.loopsTo, 1);
  EXPECT_TRUE(Has(report, "missing-key section 0/Type"));
  EXPECT_TRUE(Has(report, "missing-key section 0/delais secondes"));
  EXPECT_FALSE(Has(report, "missing-key section 0/section suivante"));

  // What each missing key means for the screen: the display keys and the
  // transition are filled in by design; a missing type is a blank page; a
  // missing dwell keeps the slide 1 s.
  const std::pair<const char*, const char*> severities[] = {
      {"missing-section Systeme/-", "note"},
      {"missing-key Systeme/TailleEcranL", "note"},
      {"missing-key section 1/Transition", "note"},
      {"missing-key section 1/section suivante", "note"},
      {"missing-key section 1/delais secondes", "warning"},
      {"missing-key section 0/Type", "error"},
  };
  for (const auto& [line, severity] : severities)
    EXPECT_EQ(SeverityOf(report, line), severity) << line;
  EXPECT_TRUE(report.NeedsAttention());
}

TEST_F(PlaylistCheckTest, NotesAloneNeedNoAttention) {
  // A newcomer's first playlist: one correct slide, without the display
  // section nor a transition, which the player fills in.
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kStart) +
           "[section 1]\r\nType=image\r\nimage=a.png\r\ndelais secondes=10"
           "\r\nsection suivante=1\r\n");
  const CheckReport report = Check();
  EXPECT_EQ(report.problems.size(), 5u) << Dump(report);
  EXPECT_EQ(report.Count(Severity::kNote), 5u) << Dump(report);
  EXPECT_FALSE(report.NeedsAttention());
  EXPECT_EQ(report.chain.at(0).dwellSeconds, 11);  // 10 + 1 ticks
  const std::string text = FormatCheckText(report);
  EXPECT_NE(text.find("0 errors, 0 warnings, 5 notes"), std::string::npos) << text;
  EXPECT_NE(text.find("  note [missing-key] section 1, \"Transition\": "), std::string::npos)
      << text;
  EXPECT_NE(text.find("section 1: image, 11 s on screen (delais secondes=10)"), std::string::npos)
      << text;
  const std::string json = FormatCheckJson(report);
  EXPECT_NE(json.find("\"errors\": 0, \"warnings\": 0, \"notes\": 5,"), std::string::npos) << json;
  EXPECT_NE(json.find("{\"severity\": \"note\", \"section\": \"section 1\", "
                      "\"key\": \"Transition\", \"code\": \"missing-key\""),
            std::string::npos)
      << json;
}

TEST_F(PlaylistCheckTest, GeometryErrorSaysWhatTheOperatorWillSee) {
  CopyDemo();
  const std::string playlist = ReadBytes(root_ / "VELANE_Afficheur.ini");
  Playlist("[Systeme]\r\nTailleEcranL=768px\r\n" + playlist.substr(playlist.find("TailleEcranW")));
  const CheckReport report = Check();
  EXPECT_EQ(SeverityOf(report, "bad-geometry Systeme/TailleEcranL"), "error") << Dump(report);
  EXPECT_NE(MessageOf(report, "bad-geometry Systeme/TailleEcranL")
                .find("the slides will show in a 193 x 169 box at the top-left"),
            std::string::npos)
      << Dump(report);
}

TEST_F(PlaylistCheckTest, DwellOfSection0CountsOnlyWhenItIsShown) {
  // At start-up the first tick always advances: section 0's dwell, though
  // read, plays no part, and is not reported.
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 1));
  const CheckReport report = Check();
  EXPECT_TRUE(report.Clean()) << Dump(report);
  EXPECT_EQ(ChainSections(report), (std::vector<int>{1}));
  EXPECT_EQ(report.loopsTo, 1);
}

TEST_F(PlaylistCheckTest, EmptyValuesThatThePlayerOverwrites) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist("[Systeme]\r\nTailleEcranL=\r\nTailleEcranW=576\r\nmarge=2\r\n" + std::string(kStart) +
           "[section 1]\r\nType=image\r\nimage=a.png\r\ndelais secondes=5\r\n"
           "Transition=1\r\nsection suivante=\r\n");
  const CheckReport report = Check();
  // An empty size is replaced by its default: no failure of the load.
  EXPECT_TRUE(Has(report, "empty-value Systeme/TailleEcranL")) << Dump(report);
  EXPECT_FALSE(Has(report, "bad-geometry Systeme/TailleEcranL"));
  // An empty next section becomes 0.
  EXPECT_NE(MessageOf(report, "empty-value section 1/section suivante").find("section 0"),
            std::string::npos);
  EXPECT_EQ(ChainSections(report), (std::vector<int>{1, 0}));
}

TEST_F(PlaylistCheckTest, RepeatedKeysAndLongValues) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 1) +
           "delais secondes=60\r\nTransition=" + std::string(700, '1') + "\r\n");
  const CheckReport report = Check();
  EXPECT_TRUE(Has(report, "duplicate-key section 1/delais secondes")) << Dump(report);
  EXPECT_TRUE(Has(report, "duplicate-key section 1/Transition"));
  // The first line wins: 5, not 60.
  ASSERT_EQ(report.chain.size(), 1u);
  EXPECT_EQ(report.chain[0].dwellSeconds, 6);

  Playlist(std::string(kSysteme) + kStart +
           Slide(1, "image", "a.png", 1, "5", std::string(700, '1')));
  EXPECT_TRUE(Has(Check(), "long-value section 1/Transition"));
}

// ---- types ----------------------------------------------------------------

TEST_F(PlaylistCheckTest, TypeMustBeExactlyOneOfThree) {
  Models();
  Folders({"00001"});
  const struct {
    const char* type;
    const char* hint;  // the near miss named, or "" for none
  } cases[] = {{"Image", "did you mean \"image\""},
               {"URL", "did you mean \"url\""},
               {"htm", "did you mean \"html\""},
               {"diaporama", ""},
               {"", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    Playlist(std::string(kSysteme) + kStart + Slide(1, c.type, "", 1));
    const CheckReport report = Check();
    const std::string message = MessageOf(report, "wrong-type section 1/Type");
    EXPECT_NE(message.find("blank"), std::string::npos) << Dump(report);
    if (*c.hint)
      EXPECT_NE(message.find(c.hint), std::string::npos) << message;
    else
      EXPECT_EQ(message.find("did you mean"), std::string::npos) << message;
    ASSERT_EQ(report.chain.size(), 1u);
    EXPECT_EQ(ToAnsi(report.chain[0].type), c.type);
    // The blank page is named once, by its cause.
    EXPECT_FALSE(Has(report, "blank-page section 1/-"));
  }
}

// ---- files ----------------------------------------------------------------

TEST_F(PlaylistCheckTest, MissingFolderTemplatesAndPages) {
  Write("modeles/transitions.ini", kTransitions);
  Folders({"00001", "00002"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 2) +
           Slide(2, "html", "absent.html", 3) + Slide(3, "url", "http://x/", 1));
  const CheckReport report = Check();
  EXPECT_TRUE(Has(report, "missing-template -/-")) << Dump(report);
  EXPECT_NE(Dump(report).find("modeles/image.html does not exist"), std::string::npos);
  EXPECT_NE(Dump(report).find("modeles/url.html does not exist"), std::string::npos);
  EXPECT_NE(MessageOf(report, "missing-page section 2/html").find("absent.html"),
            std::string::npos);
  EXPECT_NE(MessageOf(report, "missing-folder section 3/-").find("flashs/00003"),
            std::string::npos);
  EXPECT_FALSE(Has(report, "missing-folder section 1/-"));
}

TEST_F(PlaylistCheckTest, TemplateWithoutPlaceholderAndBlankPages) {
  Models();
  Folders({"00001", "00002", "00003"});
  Write("flashs/00001/a.png", "png");
  // The url template lost its placeholder; the image template holds it in
  // lower case, which the player's case-blind search still finds.
  Write("modeles/url.html", "<html><body>no address</body></html>\r\n");
  Write("modeles/image.html", "<html><body><img src=\"%fichier%\"></body></html>");
  Write("flashs/00002/vide.html", "");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 2) +
           Slide(2, "html", "vide.html", 3) + Slide(3, "url", "http://x/", 4) +
           Slide(4, "html", "", 1));
  Folders({"00004"});
  const CheckReport report = Check();
  const std::string placeholder = MessageOf(report, "missing-placeholder -/-");
  EXPECT_NE(placeholder.find("modeles/url.html"), std::string::npos) << Dump(report);
  EXPECT_NE(placeholder.find("%URL%"), std::string::npos);
  EXPECT_EQ(Dump(report).find("image.html holds no"), std::string::npos);
  // An empty page file, an empty "html" value: the screen stays blank.
  EXPECT_NE(MessageOf(report, "blank-page section 2/html").find("vide.html"), std::string::npos);
  EXPECT_NE(MessageOf(report, "empty-value section 4/html").find("blank"), std::string::npos);
}

TEST_F(PlaylistCheckTest, LocalFilesNamedBySlides) {
  Models();
  Write("modeles/video.html", "<html><body><video src=\"%FICHIER%\"></video></body></html>");
  Folders({"00001", "00002", "00003", "00004", "00005", "00006", "00007"});
  // A video is known by how its file begins, not by its name.
  Write("flashs/00003/a.mp4", std::string("\0\0\0\x20"
                                          "ftypisom\0\0\x02\0",
                                          16));
  Write("flashs/00004/b.webm", std::string("\x1A\x45\xDF\xA3\x01\0\0\0\0\0\0\x1F", 12));
  Write("flashs/00005/c.mp4", "<html>not a video</html>");
  Write("flashs/00006/d.webm", "\x1A\x45");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "absent.png", 2) +
           Slide(2, "url", "www.example.com", 3) + Slide(3, "video", "a.mp4", 4) +
           Slide(4, "video", "b.webm", 5) + Slide(5, "video", "c.mp4", 6) +
           Slide(6, "video", "d.webm", 7) + Slide(7, "video", "absent.mp4", 1));
  const CheckReport report = Check();
  EXPECT_NE(MessageOf(report, "missing-file section 1/image").find("flashs/00001/absent.png"),
            std::string::npos)
      << Dump(report);
  EXPECT_NE(MessageOf(report, "missing-file section 2/url").find("http://"), std::string::npos);
  EXPECT_FALSE(Has(report, "not-a-video section 3/video")) << Dump(report);
  EXPECT_FALSE(Has(report, "not-a-video section 4/video"));
  EXPECT_NE(MessageOf(report, "not-a-video section 5/video").find("not an MP4 or WebM"),
            std::string::npos);
  EXPECT_TRUE(Has(report, "not-a-video section 6/video"));  // too short to tell
  EXPECT_TRUE(Has(report, "missing-file section 7/video"));
  EXPECT_FALSE(Has(report, "not-a-video section 7/video"));  // said once, as missing
  EXPECT_EQ(report.chain[2].type, u"video");
}

TEST_F(PlaylistCheckTest, ComposedPageThatCannotBeWritten) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  fs::create_directories(root_ / "flashs/00001/temporaire.html");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 1));
  EXPECT_TRUE(Has(Check(), "unwritable-page section 1/-"));

  // A link in its place: the player writes through no link.
  fs::remove(root_ / "flashs/00001/temporaire.html");
  Write("elsewhere.html", "keep");
  fs::create_symlink(root_ / "elsewhere.html", root_ / "flashs/00001/temporaire.html");
  const CheckReport linked = Check();
  EXPECT_TRUE(Has(linked, "unwritable-page section 1/-")) << Dump(linked);
  EXPECT_NE(MessageOf(linked, "unwritable-page section 1/-").find("is a link"), std::string::npos);
}

// Slide values, templates and slide folders that lead outside the content
// root are errors, told as the player tells them; a ".." that stays inside
// is fine.
TEST_F(PlaylistCheckTest, WhatLeadsOutsideTheContentRoot) {
  Models();
  Folders({"00001", "00002", "00003", "00004"});
  const fs::path outside = root_.string() + "-out";
  fs::create_directories(outside);
  Put(outside, "o.html", "<p>outside</p>");
  Write("flashs/00004/p.html", "<p>inside</p>");
  fs::remove(root_ / "flashs/00003");
  fs::create_directory_symlink(outside, root_ / "flashs/00003");
  const std::string out = "../../../" + root_.filename().string() + "-out/o.html";
  Playlist(std::string(kSysteme) + kStart + Slide(1, "html", out, 2) + Slide(2, "image", out, 3) +
           Slide(3, "html", "o.html", 4) + Slide(4, "html", "../00004/p.html", 1));
  const CheckReport report = Check();
  for (const char* line :
       {"outside-root section 1/html", "outside-root section 2/image", "outside-root section 3/-"})
    EXPECT_TRUE(Has(report, line)) << line << "\n" << Dump(report);
  for (const CheckProblem& p : report.problems) {
    if (p.code == "outside-root") {
      EXPECT_EQ(p.severity, Severity::kError);
    }
  }
  // Control: the ".." that stays inside reads its page.
  EXPECT_FALSE(Has(report, "outside-root section 4/html")) << Dump(report);
  EXPECT_FALSE(Has(report, "missing-page section 4/html")) << Dump(report);
  fs::remove_all(outside);
}

// A playlist the player cannot write keeps its missing keys missing: the
// player goes on with the defaults, and the checker says why.
TEST_F(PlaylistCheckTest, ReadOnlyPlaylist) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 1));
  EXPECT_FALSE(Has(Check(), "read-only-playlist -/-"));
  fs::permissions(root_ / "VELANE_Afficheur.ini",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_TRUE(Has(Check(), "read-only-playlist -/-"));

#ifndef _WIN32
  // A link to a file outside the root is played, never written; one to a
  // file inside is written through.
  const std::string bytes = ReadBytes(root_ / "VELANE_Afficheur.ini");
  const fs::path outside = root_.string() + "-home.ini";
  const fs::path inside = root_ / "playlists" / "hall.ini";
  for (const fs::path& target : {outside, inside}) {
    Put(target.parent_path(), target.filename().string(), bytes);
    fs::remove(root_ / "VELANE_Afficheur.ini");
    fs::create_symlink(target, root_ / "VELANE_Afficheur.ini");
    const CheckReport report = Check();
    EXPECT_EQ(Has(report, "playlist-outside-root -/-"), target == outside) << Dump(report);
    EXPECT_FALSE(Has(report, "read-only-playlist -/-")) << Dump(report);
    EXPECT_FALSE(Has(report, "unreadable-playlist -/-")) << Dump(report);
  }
  fs::remove(outside);
#endif
}

// A chain through every section number: each section is looked up through
// the index, and the report still names each missing folder in chain order.
TEST_F(PlaylistCheckTest, ChainThroughEverySectionNumber) {
  Models();
  std::string text = kSysteme;
  for (int s = 0; s <= 32767; ++s)
    text += "[section " + std::to_string(s) +
            "]\r\ndelais secondes=0\r\n"
            "section suivante=" +
            std::to_string(s + 1) +
            "\r\nType=html\r\n"
            "html=p.html\r\nTransition=0\r\n";
  Playlist(text);
  const CheckReport report = Check();
  ASSERT_EQ(report.chain.size(), 32767u);
  EXPECT_EQ(report.chain.back().section, 32767);
  EXPECT_EQ(report.loopsTo, 32767);  // 32768 is no section number
  EXPECT_TRUE(Has(report, "bad-next section 32767/section suivante"));
  EXPECT_TRUE(Has(report, "missing-folder section 12345/-"));
  EXPECT_FALSE(Has(report, "unreached-section section 0/-"));
}

// ---- transitions ----------------------------------------------------------

TEST_F(PlaylistCheckTest, TransitionWithoutMarkup) {
  Models();
  Folders({"00001", "00002", "00003", "00004", "00005"});
  Write("flashs/00001/a.png", "png");
  Write("modeles/transitions.ini",
        "[0]\r\nhtml=\r\n[1]\r\nhtml=<style></style>\r\n[2.5]\r\nhtml=<i></i>\r\n");
  Write("flashs/00005/nometa.html", "<html><body class=x>page</body></html>\r\n");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 2, "5", "4") +  // no [4]
           Slide(2, "url", "http://x/", 3, "5", "") +                                  // none
           Slide(3, "url", "http://x/", 4, "5", "0") +                                 // none
           Slide(4, "url", "http://x/", 5, "5", "2.5") +                               // [2.5]
           Slide(5, "html", "nometa.html", 1, "5", "1"));
  const CheckReport report = Check();
  EXPECT_NE(MessageOf(report, "missing-transition section 1/Transition").find("transition 4"),
            std::string::npos)
      << Dump(report);
  EXPECT_FALSE(Has(report, "missing-transition section 2/Transition"));
  EXPECT_FALSE(Has(report, "missing-transition section 3/Transition"));
  EXPECT_FALSE(Has(report, "missing-transition section 4/Transition"));
  // The markup goes in front of a meta tag this page does not have.
  EXPECT_TRUE(Has(report, "no-meta-tag section 5/Transition"));
  EXPECT_EQ(report.problems.size(), 2u) << Dump(report);

  fs::remove(root_ / "modeles/transitions.ini");
  EXPECT_NE(MessageOf(Check(), "missing-transition section 1/Transition").find("does not exist"),
            std::string::npos);
}

TEST_F(PlaylistCheckTest, TransitionThatIsNotANumber) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 1, "5", "fondu"));
  EXPECT_TRUE(Has(Check(), "not-a-number section 1/Transition"));
}

// ---- the chain ------------------------------------------------------------

TEST_F(PlaylistCheckTest, NextSectionThatIsNoNumberLoopsOnItself) {
  Models();
  Folders({"00001", "00002"});
  Write("flashs/00001/a.png", "png");
  for (const char* next : {"abc", "40000", "-40000", "1e400"}) {
    SCOPED_TRACE(next);
    Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 2) +
             "[section 2]\r\nType=url\r\nurl=http://x/\r\ndelais secondes=3\r\n"
             "Transition=1\r\nsection suivante=" +
             next + "\r\n");
    const CheckReport report = Check();
    const std::string message = MessageOf(report, "bad-next section 2/section suivante");
    EXPECT_NE(message.find("section 2"), std::string::npos) << Dump(report);
    EXPECT_EQ(ChainSections(report), (std::vector<int>{1, 2}));
    EXPECT_EQ(report.loopsTo, 2);
    EXPECT_EQ(report.problems.size(), 1u) << Dump(report);
  }
}

TEST_F(PlaylistCheckTest, FractionalNextSectionRoundsHalfToEven) {
  Models();
  Folders({"00001", "00002"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kSysteme) + "[section 0]\r\nsection suivante=1.5\r\n" +
           "[section 2]\r\nType=url\r\nurl=http://x/\r\ndelais secondes=1\r\n"
           "Transition=1\r\nsection suivante=2.5\r\n");
  const CheckReport report = Check();
  EXPECT_TRUE(report.Clean()) << Dump(report);
  EXPECT_EQ(ChainSections(report), (std::vector<int>{2}));
  EXPECT_EQ(report.loopsTo, 2);
}

TEST_F(PlaylistCheckTest, DwellSecondsAsTheScreenShowsThem) {
  Models();
  const struct {
    const char* dwell;
    double seconds;
  } cases[] = {{"5", 6},   {"0", 1},  {"", 1},      {"-3", 1},
               {"1.5", 2}, {"3s", 4}, {" 1 0", 11}, {"abc", 1}};
  std::string playlist = std::string(kSysteme) + kStart;
  int n = 1;
  for (const auto& c : cases) {
    const std::string folder = "0000" + std::to_string(n);
    fs::create_directories(root_ / "flashs" / folder);
    playlist += Slide(n, "url", "http://x/", n + 1 > 8 ? 1 : n + 1, c.dwell);
    ++n;
  }
  Playlist(playlist);
  const CheckReport report = Check();
  ASSERT_EQ(report.chain.size(), 8u) << Dump(report);
  for (std::size_t i = 0; i < 8; ++i)
    EXPECT_EQ(report.chain[i].dwellSeconds, cases[i].seconds) << cases[i].dwell;
  // Below 1 s (0, empty, negative) and a text that is no number are
  // probably not what was meant; the rest is the rule.
  EXPECT_EQ(Listed(report), (std::vector<std::string>{"short-dwell section 2/delais secondes",
                                                      "short-dwell section 3/delais secondes",
                                                      "short-dwell section 4/delais secondes",
                                                      "not-a-number section 8/delais secondes"}));
  EXPECT_EQ(report.Count(Severity::kWarning), 4u);
}

TEST_F(PlaylistCheckTest, ProblemsComeInTheOrderThePlayerMeetsThem) {
  Models();
  Folders({"00001", "00003"});
  // The file lists section 1 first, but the chain shows 3 first.
  Playlist(
      "[Systeme]\r\nTailleEcranL=big\r\nTailleEcranW=576\r\nmarge=2\r\n"
      "[section 0]\r\nsection suivante=3\r\n" +
      Slide(1, "Html", "", 3) + Slide(3, "url", "http://x/", 1, "5", "9") +
      "[section 7]\r\nType=image\r\n");
  const CheckReport report = Check();
  EXPECT_EQ(Listed(report), (std::vector<std::string>{
                                "bad-geometry Systeme/TailleEcranL",
                                "missing-transition section 3/Transition",
                                "wrong-type section 1/Type",
                                "unreached-section section 7/-",
                            }))
      << Dump(report);
}

// ---- the playlist's layout ------------------------------------------------

TEST_F(PlaylistCheckTest, SectionsNeverReachedRepeatedOrUnknown) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist("stray=1\r\n" + std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 1) +
           "[section 4]\r\nType=url\r\n"
           "[ SECTION 1 ]\r\nType=html\r\n"
           "[section 05]\r\nType=url\r\n"
           "[Systme]\r\nmarge=4\r\n");
  const CheckReport report = Check();
  EXPECT_EQ(Listed(report), (std::vector<std::string>{
                                "stray-keys -/-",
                                "unreached-section section 4/-",
                                "duplicate-section SECTION 1/-",
                                "unknown-section section 05/-",
                                "unknown-section Systme/-",
                            }))
      << Dump(report);
  EXPECT_NE(MessageOf(report, "unknown-section section 05/-").find("[section 5]"),
            std::string::npos);
}

TEST_F(PlaylistCheckTest, ChainToASectionThatDoesNotExist) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 6));
  const CheckReport report = Check();
  EXPECT_TRUE(Has(report, "missing-section section 6/-")) << Dump(report);
  EXPECT_TRUE(Has(report, "missing-folder section 6/-"));
  // Its default "section suivante" leads to 0, and 0 back to 1.
  EXPECT_EQ(ChainSections(report), (std::vector<int>{1, 6, 0}));
  EXPECT_EQ(report.loopsTo, 1);
}

// ---- display geometry -----------------------------------------------------

TEST_F(PlaylistCheckTest, GeometryThatStopsTheDisplayWindowsLoad) {
  Models();
  Folders({"00001"});
  Write("flashs/00001/a.png", "png");
  const std::string slides = std::string(kStart) + Slide(1, "image", "a.png", 1);
  const struct {
    const char* width;
    const char* marge;
    const char* line;  // the problem listed, "" for none
  } cases[] = {{"768px", "2", "bad-geometry Systeme/TailleEcranL"},
               {"1e400", "2", "bad-geometry Systeme/TailleEcranL"},
               {"1e12", "2", "bad-geometry Systeme/-"},
               {"0", "0", "bad-geometry Systeme/-"},
               {" 1024 ", "abc", "not-a-number Systeme/marge"},
               {"1024", "-2", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    Playlist("[Systeme]\r\nTailleEcranL=" + std::string(c.width) +
             "\r\nTailleEcranW=576\r\nmarge=" + c.marge + "\r\n" + slides);
    const CheckReport report = Check();
    if (*c.line)
      EXPECT_EQ(Listed(report), (std::vector<std::string>{c.line})) << Dump(report);
    else
      EXPECT_TRUE(report.Clean()) << Dump(report);
  }
}

// ---- pages beyond 16-bit positions ----------------------------------------

TEST_F(PlaylistCheckTest, ReplacementsBeyondCharacter32767AreSkipped) {
  Models();
  Folders({"00001", "00002", "00003", "00004"});
  Write("flashs/00001/a.png", "png");
  const std::string filler(40000, 'x');
  // The placeholder lies beyond 32767: the replacement fails, the page
  // stays blank.
  Write("modeles/image.html",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"x\"></head>"
        "<body class=a>" +
            filler + "<img src=\"%FICHIER%\"></body></html>");
  // A long page whose meta tag, or whose body tag, comes too late.
  // (Its body tag has no attributes: the player leaves it alone.)
  Write("flashs/00002/meta.html", "<html><head>" + filler +
                                      "<meta http-equiv=\"Content-Type\" "
                                      "content=\"x\"></head><body></body></html>");
  Write("flashs/00003/body.html",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"x\"></head>" + filler +
            "<body class=a></body></html>");
  // Long, but every occurrence early: handled.
  Write("flashs/00004/early.html",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"x\"></head>"
        "<body class=a>" +
            filler + "</body></html>");
  Playlist(std::string(kSysteme) + kStart + Slide(1, "image", "a.png", 2) +
           Slide(2, "html", "meta.html", 3) + Slide(3, "html", "body.html", 4) +
           Slide(4, "html", "early.html", 1));
  const CheckReport report = Check();
  EXPECT_EQ(Listed(report), (std::vector<std::string>{
                                "replacement-skipped section 1/image",
                                "replacement-skipped section 2/Transition",
                                "replacement-skipped section 3/-",
                            }))
      << Dump(report);
  EXPECT_NE(MessageOf(report, "replacement-skipped section 1/image").find("blank"),
            std::string::npos);
}

// ---- the checker and the player agree -----------------------------------

// Templates and transitions as the demo has them, without its playlist.
void PutModels(const fs::path& root) {
  Put(root, "modeles/image.html", kImageModel);
  Put(root, "modeles/url.html", kUrlModel);
  Put(root, "modeles/transitions.ini", kTransitions);
}

void PutFolders(const fs::path& root, std::initializer_list<const char*> names) {
  for (const char* n : names) fs::create_directories(root / "flashs" / n);
}

// Bytes of every value, NULs and lone CRs included, the same at every run.
std::string Garbage(unsigned seed, std::size_t size) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = char(random() & 0xff);
  return bytes;
}

// A sound chain around the case's slide 1: 0 -> 1 -> 9 -> 1.
std::string AroundSlide1(const std::string& slide1) {
  return "[section 0]\r\nsection suivante=1\r\n[section 1]\r\ndelais secondes=1\r\n"
         "section suivante=9\r\n" +
         slide1 +
         "[section 9]\r\ndelais secondes=1\r\nsection suivante=1\r\nType=url\r\n"
         "url=about:blank\r\n";
}

struct RootCase {
  const char* name;
  void (*fill)(const fs::path& root);
};
void PrintTo(const RootCase& root, std::ostream* out) { *out << root.name; }

const RootCase kRootCases[] = {
    {"demo", [](const fs::path& root) { fs::copy(kDemo, root, fs::copy_options::recursive); }},
    {"no_playlist",
     [](const fs::path& root) {
       PutModels(root);
       PutFolders(root, {"00000"});
     }},
    {"broken_chain",
     [](const fs::path& root) {
       // Rounded, negative, mistyped, empty and missing pages, a missing
       // folder and a next section that is no number.
       PutModels(root);
       PutFolders(root, {"00001", "00002", "-00002", "00003"});
       Put(root, "VELANE_Afficheur.ini",
           "[section 0]\r\nsection suivante=1\r\n"
           "[section 1]\r\ndelais secondes=2\r\nsection suivante=2.5\r\n"
           "Type=image\r\nimage=a.jpg\r\nTransition=1\r\n"
           "[SECTION 2]\r\ndelais secondes=abc\r\nsection suivante=-2\r\n"
           "Type=Image\r\n"
           "[section -2]\r\ndelais secondes=1.5\r\nsection suivante=3\r\n"
           "Type=html\r\nhtml=\r\n"
           "[section 3]\r\ndelais secondes=-1e400\r\nsection suivante=4\r\n"
           "Type=html\r\nhtml=missing.html\r\n"
           "[section 4]\r\nType=url\r\nurl=http://x\r\n"
           "section suivante=quarante\r\n");
     }},
    {"repeated_keys_and_sections",
     [](const fs::path& root) {
       PutModels(root);
       PutFolders(root, {"00000", "00005", "00006"});
       Put(root, "flashs/00005/p.html", "<body class=x>own</body>");
       Put(root, "VELANE_Afficheur.ini",
           "[section 0]\r\nsection suivante=5\r\nsection suivante=6\r\n"
           "[section 5]\r\nType=html\r\nType=image\r\nhtml=p.html\r\n"
           "delais secondes=3s\r\nsection suivante=6\r\n"
           "[section 5]\r\nType=url\r\nsection suivante=7\r\n"
           "[section 6]\r\n  Type = \"image\" \r\nimage=" +
               std::string(102400, 'x') + "\r\nsection suivante=0\r\n");
     }},
    {"odd_line_ends_and_nuls",
     [](const fs::path& root) {
       PutModels(root);
       PutFolders(root, {"00001", "00009"});
       // A byte-order mark, lone CRs, tabs, and NULs in key and header lines.
       static constexpr char kText[] =
           "\xef\xbb\xbf[Systeme]\rTailleEcranL=640\r\t[section 0]\t\r"
           "section suivante=1\0ignored\r[section 1]\rdelais secondes=1\r"
           "Type=image\rimage=a\0b.jpg\rsection suivante=9\r[sec\0tion 9]\r"
           "[section 9]\0]\rdelais secondes=1\rsection suivante=1\r";
       Put(root, "VELANE_Afficheur.ini", std::string(kText, sizeof kText - 1));
     }},
    {"garbage_around_the_chain",
     [](const fs::path& root) {
       PutModels(root);
       PutFolders(root, {"00001", "00009"});
       Put(root, "VELANE_Afficheur.ini",
           Garbage(11, 32768) + "\r\n" + AroundSlide1("Type=image\r\nimage=a.jpg\r\n") +
               Garbage(13, 32768));
     }},
    {"templates_missing_or_beyond_32767",
     [](const fs::path& root) {
       PutFolders(root, {"00001", "00009"});
       Put(root, "modeles/image.html", std::string(40000, ' ') + "<img src=\"%FICHIER%\">");
       Put(root, "VELANE_Afficheur.ini", AroundSlide1("Type=image\r\nimage=a.jpg\r\n"));
     }},
};

class CheckerAgreesWithPlayer : public testing_support::ProgramFixture,
                                public ::testing::WithParamInterface<RootCase> {};

// Slide by slide, what the checker reads from an untouched content root is
// what the player then shows: the same chain in the same order, each slide
// as long, from the same composed page, of the same type, blank or not.
TEST_P(CheckerAgreesWithPlayer, OnEverySlide) {
  GetParam().fill(root.path());
  const std::u16string rootText = FromAnsi(root.path().string());
  // At an hour when every slide of the demo plays, its lunch menu included.
  fakes.clock.now = {2026, 12, 7, 12, 0, 0};
  const CheckReport report = CheckContentRoot(rootText, kMonday);
  std::vector<ChainSlide> expected = report.chain;
  const auto back = std::find_if(expected.begin(), expected.end(),
                                 [&](auto& s) { return s.section == report.loopsTo; });
  ASSERT_NE(back, expected.end()) << Dump(report);
  expected.push_back(*back);  // the chain comes round once

  Afficheur& display = program.GetAfficheur();
  const std::vector<std::u16string>& navigations = Webcam().navigations;
  double ticksExpected = 1;  // the first tick always advances
  for (const ChainSlide& slide : expected) {
    const std::u16string section = SectionName(slide.section);
    SCOPED_TRACE(ToAnsi(section));
    const std::size_t before = navigations.size();
    int ticks = 0;
    while (navigations.size() == before && ticks < 100) {
      display.Timer1_Timer();
      ++ticks;
    }
    ASSERT_EQ(navigations.size(), before + 1);
    EXPECT_EQ(ticks, ticksExpected);
    ticksExpected = slide.dwellSeconds;
    EXPECT_EQ(display.sequencer.currentSection, slide.section);
    const std::u16string page = ComposedPagePath(rootText, slide.section);
    EXPECT_EQ(navigations.back(), page);
    EXPECT_EQ(settings.ReadSetting(section, u"Type", u"", u"", 1), slide.type);
    if (fs::is_regular_file(ToAnsi(page)))
      EXPECT_EQ(ReadBytes(ToAnsi(page)) == "\r\n", slide.blank);
    else
      EXPECT_TRUE(Has(report, "missing-folder " + ToAnsi(section) + "/-"));
  }
}

INSTANTIATE_TEST_SUITE_P(Roots, CheckerAgreesWithPlayer, ::testing::ValuesIn(kRootCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- output ---------------------------------------------------------------

TEST(PlaylistCheckFormat, JsonEscapesAndEncodesAsUtf8) {
  CheckReport report;
  report.root = FromAnsi("/tmp/caf\xE9");                               // Windows-1252 e acute
  report.playlist = FromAnsi("/tmp/caf\xC3\xA9/VELANE_Afficheur.ini");  // UTF-8
  report.chain = {{-2, u"Image", 1e300, u"1e300", false, {}}};
  report.loopsTo = -2;
  report.problems = {
      {std::nullopt, std::nullopt, "missing-playlist", FromAnsi("a \"quoted\" back\\slash\ttab")}};
  const std::string json = FormatCheckJson(report);
  EXPECT_NE(json.find("\"root\": \"/tmp/caf\xC3\xA9\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"playlist\": \"/tmp/caf\xC3\xA9/"), std::string::npos);
  EXPECT_NE(json.find("{\"section\": -2, \"type\": \"Image\", "
                      "\"dwell_seconds\": 1e+300, \"delais_secondes\": \"1e300\"}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"loops_to\": -2"), std::string::npos);
  EXPECT_NE(json.find("{\"severity\": \"error\", \"section\": null, "
                      "\"key\": null, \"code\": "
                      "\"missing-playlist\", \"message\": "
                      "\"a \\\"quoted\\\" back\\\\slash\\u0009tab\"}"),
            std::string::npos)
      << json;
}

TEST(PlaylistCheckFormat, TextNamesSeverityPlaceCodeAndLoop) {
  CheckReport report;
  report.root = u"/r";
  report.playlist = u"/r/VELANE_Afficheur.ini";
  report.chain = {{1, u"image", 6, u"5", false, {}}, {2, u"", 1, u"", false, {}}};
  report.loopsTo = 2;
  report.problems = {
      {u"section 2", u"Type", "wrong-type", u"empty", Severity::kError},
      {u"section 9", std::nullopt, "unreached-section", u"never", Severity::kWarning},
      {u"Systeme", u"marge", "missing-key", u"added", Severity::kNote}};
  const std::string text = FormatCheckText(report);
  EXPECT_NE(text.find("  section 1: image, 6 s on screen (delais secondes=5)\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("  section 2: no type, 1 s on screen (delais secondes=)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("(2 -> 2)"), std::string::npos) << text;
  EXPECT_NE(text.find("1 error, 1 warning, 1 note, "), std::string::npos) << text;
  EXPECT_NE(text.find("  error [wrong-type] section 2, \"Type\": empty\n"
                      "  warning [unreached-section] section 9: never\n"
                      "  note [missing-key] Systeme, \"marge\": added\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(report.NeedsAttention());
  report.problems.resize(1);
  report.problems[0].severity = Severity::kNote;
  EXPECT_FALSE(report.NeedsAttention());
  EXPECT_NE(FormatCheckText(report).find("Only notes"), std::string::npos);
}

}  // namespace
}  // namespace velane
