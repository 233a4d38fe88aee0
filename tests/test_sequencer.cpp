// The slide sequencer driven tick by tick over the fake platform, with the
// real settings store and INI engine on a temporary content root.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/ansi.h"
#include "diagnostics/content_problems.h"
#include "diagnostics/principal.h"
#include "display/afficheur.h"
#include "display/schedule.h"
#include "display/slide_rules.h"
#include "program_fixture.h"

namespace velane {
namespace {

namespace fs = std::filesystem;
using fakes::FakeControl;

const std::u16string kMarker(1, kTraceMarker);
const std::u16string kTraceCaption = u"VELANE Tarvin 2004 - debugger";
constexpr char kMeta[] = "<meta http-equiv=\"Content-Type\"";

using testing_support::ReadBytes;

class SequencerTest : public testing_support::ProgramFixture {
 protected:
  void Playlist(const std::string& text) { Content("VELANE_Afficheur.ini", text); }
  void Content(const std::string& relative, const std::string& bytes) {
    WriteBytes(root.path() / relative, bytes);
  }
  // With the folders above the file.
  static void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    testing_support::WriteBytes(path, bytes);
  }
  // Slide folders exist for every section shown unless a test says not.
  void SlideFolders(std::initializer_list<const char*> names) {
    for (const char* n : names) fs::create_directories(root.path() / "flashs" / n);
  }

  // Hand edit of one key while the player runs.
  void Edit(const std::u16string& section, const std::u16string& key, const std::u16string& value) {
    settings.ReadSetting(section, key, value, u"", 0);
  }
  // Whether the playlist holds the key at all (absent keys give the
  // default, which no real value equals).
  bool HasKey(const std::string& section, const std::string& key) {
    std::string out;
    ini.GetPrivateProfileStringA(section.c_str(), key.c_str(), "\x01", out, 590,
                                 PlaylistFile().string().c_str());
    return out != "\x01";
  }

  Afficheur& Display() { return program.GetAfficheur(); }
  void Tick() { Display().Timer1_Timer(); }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Tick();
  }
  FakeControl& Webcam() {
    Display();
    return ProgramFixture::Webcam();
  }
  const std::vector<std::u16string>& Navigations() { return Webcam().navigations; }
  std::u16string LastNavigation() {
    return Navigations().empty() ? u"(none)" : Navigations().back();
  }
  std::u16string Trace() { return program.GetPrincipal().DEBUGGER1().Text(); }

  fs::path PageFile(const std::string& folder) const {
    return root.path() / "flashs" / folder / "temporaire.html";
  }
  std::u16string PagePath(const std::string& folder) const {
    return FromAnsi(PageFile(folder).string());
  }
  std::string PageBytes(const std::string& folder) const { return ReadBytes(PageFile(folder)); }
};

// --- Start and the section chain -------------------------------------------

TEST_F(SequencerTest, FirstTickAdvancesFromSectionZeroWhateverItsDwell) {
  Playlist(
      "[section 0]\r\ndelais secondes=100\r\nsection suivante=5\r\n"
      "[section 5]\r\ndelais secondes=3\r\nsection suivante=0\r\n");
  SlideFolders({"00005"});
  EXPECT_FALSE(Webcam().visible);  // hidden by the load until the first tick

  Tick();

  EXPECT_TRUE(Webcam().visible);
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00005")});
  EXPECT_EQ(Display().sequencer.currentSection, 5);
  EXPECT_EQ(Display().sequencer.secondsCounter, 1);
  EXPECT_EQ(PageBytes("00005"), "\r\n");
}

TEST_F(SequencerTest, EmptyPlaylistLoopsOnSectionZero) {
  SlideFolders({"00000"});
  Tick();
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00000")});
  EXPECT_EQ(PageBytes("00000"), "\r\n");
  // Empty dwell: one tick per showing, so every tick advances to 0 again.
  Ticks(2);
  EXPECT_EQ(Navigations().size(), 3u);
  EXPECT_EQ(Display().sequencer.currentSection, 0);
  EXPECT_EQ(Trace().substr(0, 13), u"section : 0" + kMarker + u"\r");
}

TEST_F(SequencerTest, ChainThatLoopsBackNeverShowsSectionZeroAgain) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nsection suivante=2\r\n"
      "[section 2]\r\nsection suivante=1\r\n");
  SlideFolders({"00000", "00001", "00002"});
  Ticks(6);
  std::vector<std::u16string> expected;
  for (int i = 0; i < 3; ++i) {
    expected.push_back(PagePath("00001"));
    expected.push_back(PagePath("00002"));
  }
  EXPECT_EQ(Navigations(), expected);
  EXPECT_FALSE(fs::exists(PageFile("00000")));
}

TEST_F(SequencerTest, SectionTwelveUsesFiveDigitFolderAndDecimalTrace) {
  Playlist("[section 0]\r\nsection suivante=12\r\n");
  SlideFolders({"00012"});
  Tick();
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00012")});
  EXPECT_EQ(PageBytes("00012"), "\r\n");
  EXPECT_EQ(Trace(), u"section : 12" + kMarker + u"\r\n" + kTraceCaption);
  EXPECT_TRUE(HasKey("section 12", "Type"));
}

TEST_F(SequencerTest, NegativeSectionUsesSignedFolderAndSectionName) {
  Playlist(
      "[section 0]\r\nsection suivante=-7\r\n"
      "[section -7]\r\nType=url\r\nurl=http://example.test/\r\n");
  Content("modeles/url.html", "<a href=\"%URL%\">");
  SlideFolders({"-00007"});
  Tick();
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("-00007")});
  EXPECT_EQ(PageBytes("-00007"), "<a href=\"http://example.test/\">\r\n\r\n");
  EXPECT_EQ(Trace().substr(0, 12), u"section : -7");
}

// --- Dwell time -----------------------------------------------------------

// Section 1 shows for how many ticks before the chain moves on to 2.
class DwellTest : public SequencerTest,
                  public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(DwellTest, SectionStaysIntegerPartPlusOneTicks) {
  auto [dwell, expectedTicks] = GetParam();
  Playlist(std::string("[section 0]\r\nsection suivante=1\r\n"
                       "[section 1]\r\nsection suivante=2\r\n"
                       "delais secondes=") +
           dwell + "\r\n[section 2]\r\ndelais secondes=100\r\n");
  SlideFolders({"00001", "00002"});
  Tick();  // shows 1
  int shown = 1;
  while (Navigations().size() < 2 && shown < 20) {
    Tick();
    if (Navigations().size() < 2) ++shown;
  }
  EXPECT_EQ(shown, expectedTicks) << "dwell '" << dwell << "'";
  EXPECT_EQ(LastNavigation(), PagePath("00002"));
}

INSTANTIATE_TEST_SUITE_P(Values, DwellTest,
                         ::testing::Values(std::pair{"3", 4}, std::pair{"3s", 4},
                                           std::pair{"1.5", 2}, std::pair{"", 1},
                                           std::pair{"-2", 1}, std::pair{"0", 1},
                                           std::pair{"abc", 1}, std::pair{" 1 0", 11}));

TEST_F(SequencerTest, DwellEditedDuringTheSlideTakesEffectAtOnce) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\ndelais secondes=10\r\nsection suivante=2\r\n"
      "[section 2]\r\ndelais secondes=1\r\nsection suivante=1\r\n");
  SlideFolders({"00001", "00002"});
  Ticks(3);  // section 1, counter now 3
  ASSERT_EQ(Navigations().size(), 1u);
  Edit(u"section 1", u"delais secondes", u"2");  // shorter: 2 < 3
  Tick();
  ASSERT_EQ(Navigations().size(), 2u);
  EXPECT_EQ(LastNavigation(), PagePath("00002"));

  Edit(u"section 2", u"delais secondes", u"4");  // longer, from 1 to 4
  Ticks(4);
  EXPECT_EQ(Navigations().size(), 2u);
  Tick();
  EXPECT_EQ(LastNavigation(), PagePath("00001"));
}

// --- "section suivante" conversions ---------------------------------------

TEST_F(SequencerTest, NextSectionThatIsNoNumberShowsTheSameSectionAgain) {
  for (const char* next : {"abc", "40000", "-40000", "2x"}) {
    SCOPED_TRACE(next);
    Display().sequencer = SequencerState{};
    Webcam().navigations.clear();
    Playlist(std::string("[section 0]\r\nsection suivante=1\r\n"
                         "[section 1]\r\ndelais secondes=1\r\nsection suivante=") +
             next + "\r\n");
    SlideFolders({"00001"});
    Ticks(5);  // 1 shown at tick 1, again at tick 3 and tick 5
    EXPECT_EQ(Navigations(), std::vector<std::u16string>(3, PagePath("00001")));
    EXPECT_EQ(Display().sequencer.currentSection, 1);
  }
}

TEST_F(SequencerTest, FractionalNextSectionRoundsHalfToEven) {
  Playlist(
      "[section 0]\r\nsection suivante=2.5\r\n"
      "[section 2]\r\nsection suivante=3.5\r\n"
      "[section 4]\r\nsection suivante= 7 \r\n");
  SlideFolders({"00002", "00004", "00007"});
  Ticks(3);
  EXPECT_EQ(Navigations(),
            (std::vector<std::u16string>{PagePath("00002"), PagePath("00004"), PagePath("00007")}));
}

// --- Composition by type --------------------------------------------------

TEST_F(SequencerTest, ImageSlideFillsEveryPlaceholderAnyCaseOnce) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=image\r\nimage=a%FICHIER%b\r\n");
  Content("modeles/image.html",
          "<html>\r\n<img src=\"%FICHIER%\">\r\n<p>%fichier%|%FICHIER%</p>\r\n"
          "</html>");
  SlideFolders({"00001"});
  Tick();
  EXPECT_EQ(PageBytes("00001"),
            "<html>\r\n<img src=\"a%FICHIER%b\">\r\n"
            "<p>a%FICHIER%b|a%FICHIER%b</p>\r\n</html>\r\n\r\n");
}

TEST_F(SequencerTest, ImageValueIsPutInEveryPlace) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=image\r\nimage=photo.jpg\r\n");
  Content("modeles/image.html", "<img src=\"%FICHIER%\"><i>%FICHIER%</i>\n");
  SlideFolders({"00001"});
  Tick();
  // A lone LF is part of the line: only the line end is CR LF.
  EXPECT_EQ(PageBytes("00001"), "<img src=\"photo.jpg\"><i>photo.jpg</i>\n\r\n\r\n");
}

TEST_F(SequencerTest, UrlSlideFillsEveryPlaceholderAnyCaseOnce) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=http://x/?q=%URL%\r\n");
  Content("modeles/url.html", "<iframe src=\"%URL%\"></iframe>\r\n<!-- %url% -->\r\n");
  SlideFolders({"00001"});
  Tick();
  EXPECT_EQ(PageBytes("00001"),
            "<iframe src=\"http://x/?q=%URL%\"></iframe>\r\n"
            "<!-- http://x/?q=%URL% -->\r\n\r\n");
}

TEST_F(SequencerTest, VideoSlideFillsItsOwnTemplate) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=video\r\nvideo=clip.mp4\r\nimage=x\r\n");
  Content("modeles/image.html", "<img src=\"%FICHIER%\">");
  Content("modeles/video.html", "<video src=\"%FICHIER%\" muted loop autoplay></video>");
  SlideFolders({"00001"});
  Tick();
  EXPECT_EQ(PageBytes("00001"), "<video src=\"clip.mp4\" muted loop autoplay></video>\r\n\r\n");
}

TEST_F(SequencerTest, HtmlSlideIsCopiedFromItsFolderWithNothingReplaced) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=html\r\nhtml=page.html\r\nimage=x\r\n");
  Content("flashs/00001/page.html", "<p>%FICHIER% %URL%</p>\r\n<p>caf\xE9</p>");
  Tick();
  EXPECT_EQ(PageBytes("00001"), "<p>%FICHIER% %URL%</p>\r\n<p>caf\xE9</p>\r\n\r\n");
}

// --- What a slide may lead to -----------------------------------------------

#ifndef _WIN32
TEST(ContentRootTest, PathsLeadInsideTheRootOnlyAfterDotsAndLinksAreFollowed) {
  testing_support::TempFolder top;
  const fs::path root = top.path() / "root";
  fs::create_directories(root / "flashs" / "00001");
  fs::create_directories(root / "commun");
  fs::create_directories(top.path() / "elsewhere");
  testing_support::WriteBytes(top.path() / "elsewhere" / "secret.html", "x");
  testing_support::WriteBytes(root / "commun" / "logo.svg", "x");
  fs::create_symlink(top.path() / "elsewhere" / "secret.html",
                     root / "flashs" / "00001" / "out.html");
  fs::create_symlink(root / "commun" / "logo.svg", root / "flashs" / "00001" / "in.svg");
  fs::create_symlink(top.path() / "elsewhere", root / "flashs" / "00002");
  fs::create_symlink(root, top.path() / "root-link");
  const std::u16string r = FromAnsi(root.string());
  const std::u16string slide = r + u"/flashs/00001/";
  struct Case {
    std::u16string path;
    bool inside;
  } cases[] = {
      {slide + u"page.html", true},                          // plain, not there yet
      {slide + u"./page.html", true},                        // "." dropped
      {slide + u"../../commun/logo.svg", true},              // ".." inside the root
      {slide + u"../../../elsewhere/secret.html", false},    // ".." out of it
      {slide + u"../../../root/flashs/00001/x.html", true},  // out and back in
      {slide + u"../../../../../../../../etc/passwd", false},
      {u"/etc/passwd", false},                    // a full path elsewhere
      {r + u"/../root-other/x", false},           // a sibling sharing the prefix
      {slide + u"out.html", false},               // a link leading out
      {slide + u"in.svg", true},                  // a link staying in
      {r + u"/flashs/00002/secret.html", false},  // a linked slide folder
      {r + u"/flashs/00002/missing.html", false},
      {r, true},
      {FromAnsi((top.path() / "root-link" / "flashs").string()), true},  // the root by a link
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToAnsi(c.path));
    EXPECT_EQ(LeadsInsideRoot(r, c.path), c.inside);
    // The root named by a link leads to the same places.
    EXPECT_EQ(LeadsInsideRoot(FromAnsi((top.path() / "root-link").string()), c.path), c.inside);
  }
  EXPECT_FALSE(LeadsInsideRoot(u"", slide + u"page.html"));
}
#endif

TEST(ContentRootTest, TemplateValuesNameLocalFilesOrAddresses) {
  const std::u16string r = std::u16string(1, kPathSeparator) + u"r";
  const std::u16string absolute = std::u16string(1, kPathSeparator) + u"passwd";
  struct Case {
    std::u16string value;
    std::optional<std::u16string> file;
  } cases[] = {
      {u"photo.jpg", SlideFilePath(r, 3, u"photo.jpg")},
      {u"../../x.svg?v=2#top", SlideFilePath(r, 3, u"../../x.svg")},
      {absolute, absolute},
      {u"http://example.org/a.png", std::nullopt},
      {u"file:///etc/passwd", std::nullopt},  // left to the browser control's own rule
      {u"", std::nullopt},
      {u"?q", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToAnsi(c.value));
    EXPECT_EQ(LocalFileOfValue(r, 3, c.value), c.file);
  }
}

TEST_F(SequencerTest, ValuesLeadingOutOfTheRootGiveBlankSlidesAndAreTold) {
  Content("modeles/image.html", "<img src=\"%FICHIER%\">\r\n");
  WriteBytes(root.path().parent_path() / (root.path().filename().string() + "-secret.html"),
             "SECRET");
  const std::string out = "../../../" + root.path().filename().string() + "-secret.html";
  struct Case {
    std::string slide;
    std::string page;  // composed
  } cases[] = {
      {"Type=html\r\nhtml=" + out, "\r\n"},
      {"Type=image\r\nimage=" + out, "\r\n"},
      {"Type=image\r\nimage=/etc/passwd", "\r\n"},
      // Control: a ".." that stays inside composes as before.
      {"Type=image\r\nimage=../00001/a.svg", "<img src=\"../00001/a.svg\">\r\n\r\n"},
  };
  SlideFolders({"00001"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slide);
    Playlist("[section 0]\r\nsection suivante=1\r\n[section 1]\r\n" + c.slide + "\r\n");
    Display().sequencer = SequencerState{};
    fakes.clock.now.minute += 1;
    ::testing::internal::CaptureStderr();
    Tick();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(PageBytes("00001"), c.page);
    EXPECT_EQ(err.find("[outside-root] section 1") != std::string::npos, c.page == "\r\n") << err;
    EXPECT_EQ(err.find("SECRET"), std::string::npos);
  }
}

#ifndef _WIN32
TEST_F(SequencerTest, LinkedSlideFolderLeadingOutGetsNoPageAndIsNotShown) {
  const fs::path outside = root.path().parent_path() / (root.path().filename().string() + "-out");
  fs::create_directories(outside);
  fs::create_directories(root.path() / "flashs");
  fs::create_directory_symlink(outside, root.path() / "flashs" / "00001");
  Playlist("[section 0]\r\nsection suivante=1\r\n[section 1]\r\nType=html\r\nhtml=p.html\r\n");
  ::testing::internal::CaptureStderr();
  Tick();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(fs::exists(outside / "temporaire.html"));
  EXPECT_TRUE(Navigations().empty());
  EXPECT_NE(err.find("[outside-root] section 1:"), std::string::npos) << err;
  fs::remove_all(outside);
}
#endif

TEST_F(SequencerTest, ValuesAreAttributeTextInTheirTemplate) {
  Content("modeles/url.html", "<iframe src=\"%URL%\"></iframe>\r\n");
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=http://x/?a=1&b='2'\" onload=\"<script>\r\n");
  SlideFolders({"00001"});
  Tick();
  EXPECT_EQ(PageBytes("00001"),
            "<iframe src=\"http://x/?a=1&amp;b=&#39;2&#39;&quot; onload=&quot;&lt;script&gt;\">"
            "</iframe>\r\n\r\n");
}

TEST_F(SequencerTest, HtmlSlideWithEmptyNameGivesABlankPage) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=html\r\nhtml=\r\n");
  SlideFolders({"00001"});
  Tick();
  EXPECT_EQ(PageBytes("00001"), "\r\n");
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00001")});
}

TEST_F(SequencerTest, UnknownOrWronglyCasedTypeGivesABlankPage) {
  Content("modeles/image.html", "<img src=\"%FICHIER%\">\r\n");
  for (const char* type : {"Image", "Video", "IMAGE", "images"}) {
    SCOPED_TRACE(type);
    Playlist(std::string("[section 0]\r\nsection suivante=1\r\n"
                         "[section 1]\r\nType=") +
             type + "\r\n");
    SlideFolders({"00001"});
    WriteBytes(PageFile("00001"), "older page");
    Display().sequencer = SequencerState{};
    Tick();
    EXPECT_EQ(PageBytes("00001"), "\r\n");
    EXPECT_EQ(LastNavigation(), PagePath("00001"));
    // The image key of a recognised type is never asked for.
    EXPECT_FALSE(HasKey("section 1", "image"));
  }
}

// --- What keeps a slide from the screen is told -------------------------

// Lines on stderr that carry the text.
int LinesWith(const std::string& err, const std::string& text) {
  int n = 0;
  std::size_t start = 0;
  while (start < err.size()) {
    std::size_t end = err.find('\n', start);
    if (end == std::string::npos) end = err.size();
    if (err.substr(start, end - start).find(text) != std::string::npos) ++n;
    start = end + 1;
  }
  return n;
}

// A wrong type, a missing template, a missing slide folder and a playlist
// that cannot be written (closed, or a link out of the root): each told once, in the checker's
// words, however often the chain meets it; again when it changes or comes back after it was put
// right. The slides still go on.
TEST_F(SequencerTest, ProblemsAreToldOnceEachAndAgainWhenTheyChange) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=Image\r\nsection suivante=2\r\ndelais secondes=0\r\n"
      "[section 2]\r\nType=url\r\nurl=x\r\nsection suivante=1\r\n"
      "delais secondes=0\r\n");
  SlideFolders({"00001"});  // none for section 2; no url template
  auto ticks = [&](int n) {
    ::testing::internal::CaptureStderr();
    Ticks(n);
    return ::testing::internal::GetCapturedStderr();
  };

  std::string err = ticks(20);
  EXPECT_EQ(LinesWith(err, "[wrong-type] section 1, \"Type\": \"Type\" is \"Image\""), 1) << err;
  EXPECT_EQ(LinesWith(err, "did you mean \"image\"?"), 1) << err;
  EXPECT_EQ(LinesWith(err, "[missing-template] " + (root.path() / "modeles" / "url.html").string() +
                               " does not exist: every \"url\" slide will be blank"),
            1)
      << err;
  EXPECT_EQ(LinesWith(err, "[missing-folder] section 2: " +
                               (root.path() / "flashs" / "00002").string() + " does not exist"),
            1)
      << err;
  EXPECT_EQ(LinesWith(err, "VELANE_Afficheur: "), 3) << err;
  EXPECT_EQ(LastNavigation(), PagePath("00002"));  // the chain went on

  // Changed, put right, come back: told again, once each.
  fakes.clock.now.minute += 1;
  Edit(u"section 1", u"Type", u"imgae");
  err = ticks(2);
  SlideFolders({"00002"});
  err += ticks(4);
  fs::remove_all(root.path() / "flashs" / "00002");
  err += ticks(20);
  EXPECT_EQ(LinesWith(err, "[wrong-type] section 1, \"Type\": \"Type\" is \"imgae\""), 1) << err;
  EXPECT_EQ(LinesWith(err, "[missing-folder] section 2"), 1) << err;
  EXPECT_EQ(LinesWith(err, "VELANE_Afficheur: "), 2) << err;

#ifndef _WIN32
  // A playlist the player cannot fill in (no write permission, which our
  // INI engine refuses even to root).
  fakes.clock.now.minute += 1;
  fs::permissions(PlaylistFile(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  err = ticks(20);
  EXPECT_EQ(
      LinesWith(err, "[read-only-playlist] " + PlaylistFile().string() + " cannot be written"), 1)
      << err;
  EXPECT_EQ(LinesWith(err, "VELANE_Afficheur: "), 1) << err;

  // A playlist that is a link to a file outside the content root (as the
  // player's engine is kept to it): played from there, never written, and
  // told once, not at every tick.
  ini.ConfineWritesTo(root.path().string());
  const std::string missingKeys =
      "[section 0]\r\nsection suivante=1\r\n[section 1]\r\nType=url\r\nurl=x\r\n"
      "section suivante=1\r\n";
  testing_support::TempFolder home{"velane-home"};
  const fs::path outside = home.path() / "own.ini";
  WriteBytes(outside, missingKeys);
  fs::remove(PlaylistFile());
  fs::create_symlink(outside, PlaylistFile());
  fakes.clock.now.minute += 1;
  const std::size_t shown = Navigations().size();
  err = ticks(20);
  EXPECT_EQ(ReadBytes(outside), missingKeys);
  EXPECT_EQ(LinesWith(err, "[playlist-outside-root] " + PlaylistFile().string() +
                               " leads outside the content root"),
            1)
      << err;
  EXPECT_EQ(LinesWith(err, "[read-only-playlist]"), 0) << err;
  EXPECT_GT(Navigations().size(), shown);  // the slides go on

  // Control: a link to a file inside the root is written through.
  const fs::path inside = root.path() / "playlists" / "hall.ini";
  fs::create_directories(inside.parent_path());
  WriteBytes(inside, missingKeys);
  fs::remove(PlaylistFile());
  fs::create_symlink(inside, PlaylistFile());
  err = ticks(20);
  EXPECT_NE(ReadBytes(inside), missingKeys);
  EXPECT_NE(ReadBytes(inside).find("delais secondes="), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(PlaylistFile()));
  EXPECT_EQ(LinesWith(err, "[playlist-outside-root]"), 0) << err;
  EXPECT_EQ(ReadBytes(outside), missingKeys);
#endif
}

// However many problems come at once, a few lines a minute; the rest are
// told in the minutes after.
TEST(ProblemReportsTest, AFewLinesAMinuteTheRestLater) {
  ProblemReports reports;
  platform::LocalTime now{2026, 12, 7, 14, 3, 5};
  std::vector<std::string> told;
  auto report = [&](int i) {
    if (auto line = reports.Report("s" + std::to_string(i), "p" + std::to_string(i), now))
      told.push_back(*line);
  };
  for (int i = 0; i < 7; ++i) report(i);
  ASSERT_EQ(told.size(), std::size_t(ProblemReports::kLinesPerMinute) + 1);
  EXPECT_EQ(told[3], "p3");
  EXPECT_NE(told.back().find("afficheur-check lists them all"), std::string::npos);

  told.clear();
  now.minute += 1;
  for (int i = 0; i < 7; ++i) report(i);
  EXPECT_EQ(told, (std::vector<std::string>{"p4", "p5", "p6"}));
}

// --- Transition markup, meta and body tags --------------------------------

class TransitionTest : public SequencerTest {
 protected:
  void SetUpSlide(const std::string& transitionLine, const std::string& page) {
    Playlist(
        "[section 0]\r\nsection suivante=1\r\n"
        "[section 1]\r\nType=html\r\nhtml=p.html\r\n" +
        transitionLine);
    Content("flashs/00001/p.html", page);
    Content("modeles/transitions.ini",
            "[0]\r\nhtml=<T0>\r\n[3]\r\nhtml=<T3>\r\n[5]\r\nautre=x\r\n");
  }
};

TEST_F(TransitionTest, TransitionNumberSelectsItsSection) {
  SetUpSlide("Transition=3\r\n", std::string(kMeta) + " content=\"a\">");
  const std::string before = ReadBytes(root.path() / "modeles/transitions.ini");
  Tick();
  EXPECT_EQ(PageBytes("00001"), std::string("<T3>") + kMeta + " content=\"a\">\r\n\r\n");
  // Read only: the transitions file is never written.
  EXPECT_EQ(ReadBytes(root.path() / "modeles/transitions.ini"), before);
}

TEST_F(TransitionTest, LenientTransitionNumber) {
  SetUpSlide("Transition=3 s\r\n", kMeta);
  Tick();
  EXPECT_EQ(PageBytes("00001"), std::string("<T3>") + kMeta + "\r\n\r\n");
}

TEST_F(TransitionTest, AbsentTransitionIsCreatedEmptyAndUsesZero) {
  SetUpSlide("", kMeta);
  Tick();
  EXPECT_EQ(PageBytes("00001"), std::string("<T0>") + kMeta + "\r\n\r\n");
  EXPECT_TRUE(HasKey("section 1", "Transition"));
}

TEST_F(TransitionTest, MissingSectionOrKeyGivesNoMarkup) {
  for (const char* n : {"7", "5"}) {
    SCOPED_TRACE(n);
    SetUpSlide(std::string("Transition=") + n + "\r\n", kMeta);
    Display().sequencer = SequencerState{};
    Tick();
    EXPECT_EQ(PageBytes("00001"), std::string(kMeta) + "\r\n\r\n");
  }
}

TEST_F(TransitionTest, MarkupGoesBeforeEveryMetaTagExactlyOnce) {
  SetUpSlide("Transition=3\r\n", std::string("<head>") + kMeta +
                                     "><META HTTP-EQUIV=\"content-type\">\r\n"
                                     "</head>");
  Tick();
  EXPECT_EQ(PageBytes("00001"),
            std::string("<head><T3>") + kMeta + "><T3>" + kMeta + ">\r\n</head>\r\n\r\n");
}

TEST_F(TransitionTest, PageWithoutMetaTagGetsNoMarkup) {
  SetUpSlide("Transition=3\r\n", "<p>plain</p>");
  Tick();
  EXPECT_EQ(PageBytes("00001"), "<p>plain</p>\r\n\r\n");
}

TEST_F(TransitionTest, BodyTagsWithAttributesLoseScrollBars) {
  SetUpSlide("", "<BODY bgcolor=black>\r\n<body>\r\n<Body\tx>\r\n<body id=2>");
  Tick();
  EXPECT_EQ(PageBytes("00001"),
            "<body scroll=NO bgcolor=black>\r\n<body>\r\n<Body\tx>\r\n"
            "<body scroll=NO id=2>\r\n\r\n");
}

TEST_F(TransitionTest, ReplacementBeyondSixteenBitPositionsIsSkipped) {
  // The meta tag lies beyond 32767: no markup; the body tag near the start
  // is still rewritten.
  SetUpSlide("Transition=3\r\n", "<body class=a>" + std::string(40000, 'x') + kMeta);
  Tick();
  EXPECT_EQ(PageBytes("00001"),
            "<body scroll=NO class=a>" + std::string(40000, 'x') + kMeta + "\r\n\r\n");
}

TEST_F(SequencerTest, PlaceholderBeyondSixteenBitPositionsLeavesPageEmpty) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=image\r\nimage=photo.jpg\r\n");
  Content("modeles/image.html", std::string(40000, 'x') + "%FICHIER%");
  SlideFolders({"00001"});
  Tick();
  EXPECT_EQ(PageBytes("00001"), "\r\n");
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00001")});
}

// --- Writing the composed page --------------------------------------------

TEST_F(SequencerTest, MissingSlideFolderIsNotCreatedButStillNavigated) {
  Playlist(
      "[section 0]\r\nsection suivante=4\r\n"
      "[section 4]\r\nsection suivante=0\r\n");
  Tick();
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00004")});
  EXPECT_FALSE(fs::exists(root.path() / "flashs"));
  // The trace still reports the slide and the next tick goes on.
  EXPECT_EQ(Trace().substr(0, 11), u"section : 4");
  Tick();
  EXPECT_EQ(LastNavigation(), PagePath("00000"));
  EXPECT_FALSE(fs::exists(root.path() / "flashs"));
}

TEST_F(SequencerTest, ComposedPageReplacesTheOlderOneWhole) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=u\r\n");
  Content("modeles/url.html", "%URL%");
  WriteBytes(PageFile("00001"), std::string(5000, 'o'));
  Tick();
  EXPECT_EQ(PageBytes("00001"), "u\r\n\r\n");
}

#ifndef _WIN32  // links and pipes as Linux has them
// Only a plain composed page is replaced: a link pointing out of the slide
// folder is not followed and a pipe (which would block) is not opened; the
// slide is still navigated to and the chain goes on.
TEST_F(SequencerTest, ComposedPageThatIsNoPlainFileIsNotWritten) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=u\r\nsection suivante=2\r\n"
      "[section 2]\r\nType=url\r\nurl=v\r\nsection suivante=1\r\n");
  Content("modeles/url.html", "%URL%");
  Content("outside.txt", "keep");
  SlideFolders({"00001", "00002"});
  fs::create_symlink(root.path() / "outside.txt", PageFile("00001"));
  ASSERT_EQ(::mkfifo(PageFile("00002").c_str(), 0600), 0);
  Tick();
  EXPECT_EQ(ReadBytes(root.path() / "outside.txt"), "keep");
  EXPECT_EQ(LastNavigation(), PagePath("00001"));
  Tick();  // would block for ever on the pipe
  EXPECT_EQ(LastNavigation(), PagePath("00002"));
  EXPECT_TRUE(fs::is_fifo(PageFile("00002")));
  Tick();
  EXPECT_EQ(LastNavigation(), PagePath("00001"));
}
#endif

// --- Settings file and trace --------------------------------------------

TEST_F(SequencerTest, FreshSettingsFileFillsInTheOrderKeysAreRead) {
  SlideFolders({"00000"});
  Ticks(2);
  EXPECT_EQ(ReadBytes(PlaylistFile()),
            "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n"
            "[section 0]\r\ndelais secondes=\r\nsection suivante=0\r\n"
            "Type=\r\nTransition=\r\n");
}

TEST_F(SequencerTest, KeysOfTheSectionArrivedAtAreCreatedInReadOrder) {
  Playlist(
      "[section 0]\r\ndelais secondes=0\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=image\r\n");
  Content("modeles/image.html", "%FICHIER%");
  SlideFolders({"00001"});
  Tick();
  const std::string afterFirst = ReadBytes(PlaylistFile());
  Tick();
  EXPECT_EQ(afterFirst,
            "[section 0]\r\ndelais secondes=0\r\nsection suivante=1\r\n"
            "[section 1]\r\nType=image\r\nimage=\r\nTransition=\r\n"
            "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n");
  // "delais secondes" of a section comes at the tick after it is shown.
  EXPECT_EQ(ReadBytes(PlaylistFile()),
            "[section 0]\r\ndelais secondes=0\r\nsection suivante=1\r\n"
            "Type=\r\nTransition=\r\n"
            "[section 1]\r\nType=image\r\nimage=\r\nTransition=\r\n"
            "delais secondes=\r\nsection suivante=0\r\n"
            "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n");
}

TEST_F(SequencerTest, TraceShowsOneLinePerSlideAndOneDotPerTick) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\ndelais secondes=2\r\nsection suivante=2\r\n"
      "[section 2]\r\ndelais secondes=5\r\nsection suivante=1\r\n");
  SlideFolders({"00001", "00002"});
  Tick();
  EXPECT_EQ(Trace(), u"section : 1" + kMarker + u"\r\n" + kTraceCaption);
  Ticks(2);
  EXPECT_EQ(Trace(), u"section : 1.." + kMarker + u"\r\n" + kTraceCaption);
  Ticks(2);
  EXPECT_EQ(Trace(), u"section : 2." + kMarker + u"\r\nsection : 1..\r\n" + kTraceCaption);
}

// --- Ticks arriving in the middle of a tick -------------------------------

TEST_F(SequencerTest, TickArrivingWhileAPageIsReadIsSuppressed) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=image\r\nimage=p.jpg\r\nsection suivante=2\r\n"
      "[section 2]\r\nsection suivante=1\r\n");
  Content("modeles/image.html", "<html>\r\n%FICHIER%\r\n</html>\r\n");
  SlideFolders({"00001", "00002"});
  Display();
  int nested = 0;
  fakes.pump.hook = [&] {
    // Timer1 (and the idle reboot check); bounded, so that a missing guard
    // shows as a failure rather than endless recursion.
    if (++nested <= 5) fakes.toolkit.Fire(1000);
  };
  Tick();
  EXPECT_GT(nested, 0);
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00001")});
  EXPECT_EQ(Display().sequencer.currentSection, 1);
  EXPECT_EQ(Display().sequencer.secondsCounter, 1);
  EXPECT_EQ(Trace(), u"section : 1" + kMarker + u"\r\n" + kTraceCaption);
  EXPECT_EQ(PageBytes("00001"), "<html>\r\np.jpg\r\n</html>\r\n\r\n");

  // Once the tick is over, the next one runs normally.
  fakes.pump.hook = nullptr;
  Tick();
  EXPECT_EQ(LastNavigation(), PagePath("00002"));
}

// --- Schedules --------------------------------------------------------------

platform::LocalTime At(int year, int month, int day, int hour, int minute, int second = 0) {
  return {year, month, day, hour, minute, second};
}

// Monday 2026-12-07 to Sunday 2026-12-13.
TEST(ScheduleRules, WhenASlideHolds) {
  struct Case {
    const char16_t* days;
    const char16_t* hours;
    const char16_t* first;
    const char16_t* last;
    platform::LocalTime at;
    bool holds;
  };
  const Case cases[] = {
      {u"", u"", u"", u"", At(2026, 12, 7, 3, 0), true},  // no key: always
      {u"lun-ven", u"", u"", u"", At(2026, 12, 11, 23, 59), true},
      {u"lun-ven", u"", u"", u"", At(2026, 12, 12, 0, 0), false},
      {u"sam,dim", u"", u"", u"", At(2026, 12, 13, 12, 0), true},
      {u" Sam , DIM ", u"", u"", u"", At(2026, 12, 9, 12, 0), false},
      {u"ven-lun", u"", u"", u"", At(2026, 12, 7, 12, 0), true},  // wraps round the week
      {u"ven-lun", u"", u"", u"", At(2026, 12, 8, 12, 0), false},
      {u"dim-dim", u"", u"", u"", At(2026, 12, 13, 12, 0), true},
      {u"", u"07:00-11:00", u"", u"", At(2026, 12, 7, 7, 0), true},  // start included
      {u"", u"07:00-11:00", u"", u"", At(2026, 12, 7, 10, 59, 59), true},
      {u"", u"07:00-11:00", u"", u"", At(2026, 12, 7, 11, 0), false},  // end excluded
      {u"", u"07:00-11:00", u"", u"", At(2026, 12, 7, 6, 59, 59), false},
      {u"", u"11:30-14:00,18:00-22:30", u"", u"", At(2026, 12, 7, 15, 0), false},
      {u"", u"11:30-14:00,18:00-22:30", u"", u"", At(2026, 12, 7, 22, 29), true},
      {u"", u"17:00-24:00", u"", u"", At(2026, 12, 7, 23, 59, 59), true},
      {u"", u"17:00-00:00", u"", u"", At(2026, 12, 7, 0, 0), false},
      // Over midnight: the night belongs to the day it starts on.
      {u"", u"22:00-02:00", u"", u"", At(2026, 12, 7, 1, 59), true},
      {u"", u"22:00-02:00", u"", u"", At(2026, 12, 7, 2, 0), false},
      {u"ven", u"22:00-02:00", u"", u"", At(2026, 12, 12, 1, 0), true},   // Friday night
      {u"ven", u"22:00-02:00", u"", u"", At(2026, 12, 11, 1, 0), false},  // Thursday night
      {u"ven", u"22:00-02:00", u"", u"", At(2026, 12, 11, 22, 0), true},
      {u"", u"22:00-02:00", u"", u"2026-12-10", At(2026, 12, 11, 1, 0), true},
      {u"", u"22:00-02:00", u"2026-12-11", u"", At(2026, 12, 11, 1, 0), false},
      // Dates: first and last day included, either one alone.
      {u"", u"", u"2026-12-01", u"2026-12-24", At(2026, 12, 24, 23, 59), true},
      {u"", u"", u"2026-12-01", u"2026-12-24", At(2026, 12, 25, 0, 0), false},
      {u"", u"", u"2026-12-01", u"", At(2026, 11, 30, 23, 59), false},
      {u"", u"", u"", u"2026-12-24", At(2027, 1, 1, 0, 0), false},
      {u"", u"", u"2024-02-29", u"", At(2024, 2, 29, 0, 0), true},  // a leap day
      {u"lun", u"08:00-09:00", u"2026-12-08", u"", At(2026, 12, 14, 8, 30), true},
      {u"lun", u"08:00-09:00", u"2026-12-08", u"", At(2026, 12, 7, 8, 30), false},
  };
  for (const Case& c : cases) {
    std::vector<ScheduleError> errors;
    const Schedule schedule = ParseSchedule({c.days, c.hours, c.first, c.last}, errors);
    const std::string what =
        ToAnsi(std::u16string(c.days) + u" | " + c.hours + u" | " + c.first + u" | " + c.last) +
        " at " + std::to_string(c.at.day) + " " + std::to_string(c.at.hour) + ":" +
        std::to_string(c.at.minute);
    EXPECT_TRUE(errors.empty()) << what;
    EXPECT_EQ(schedule.Holds(c.at), c.holds) << what;
  }

  // In the keys' own words again, for the preview's labels.
  const std::pair<ScheduleValues, const char16_t*> texts[] = {
      {{u"", u"", u"", u""}, u""},
      {{u"lun-ven", u"11:30-14:00", u"", u""}, u"lun-ven, 11:30-14:00"},
      {{u"sam,dim", u"", u"", u""}, u"sam,dim"},
      {{u"ven-lun", u"", u"", u""}, u"ven-lun"},  // wraps round the week
      {{u"lun,mer,ven-dim", u"", u"", u""}, u"mer,ven-lun"},
      {{u"mar", u"22:00-02:00,17:00-24:00", u"", u""}, u"mar, 22:00-02:00,17:00-24:00"},
      {{u"lun-dim", u"", u"2026-12-01", u"2026-12-24"}, u"du 2026-12-01, au 2026-12-24"},
  };
  for (const auto& [values, text] : texts) {
    std::vector<ScheduleError> errors;
    EXPECT_EQ(ToAnsi(ScheduleText(ParseSchedule(values, errors))), ToAnsi(text));
  }

  // The screen-off hours: every day in the windows, whole days named.
  std::vector<ScheduleError> errors;
  const ScreenOff off = ParseScreenOff(u"20:00-07:30,12:00-12:15", u"dim", errors);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(off.Holds(At(2026, 12, 8, 7, 29)));
  EXPECT_FALSE(off.Holds(At(2026, 12, 8, 7, 30)));
  EXPECT_TRUE(off.Holds(At(2026, 12, 8, 12, 10)));
  EXPECT_TRUE(off.Holds(At(2026, 12, 13, 15, 0)));  // Sunday
  EXPECT_FALSE(off.Holds(At(2026, 12, 12, 19, 59, 59)));
  EXPECT_FALSE(ParseScreenOff(u"", u"", errors).Any());
}

// Each bad value is told for its own key, with the value; the keys that
// parse still count.
TEST(ScheduleRules, MalformedValuesAreToldAndIgnored) {
  struct Case {
    ScheduleValues values;
    std::u16string_view key;
  };
  const Case cases[] = {
      {{u"lundi", u"", u"", u""}, u"jours"},
      {{u"lun-", u"", u"", u""}, u"jours"},
      {{u"lun,,mar", u"", u"", u""}, u"jours"},
      {{u"", u"7-11", u"", u""}, u"heures"},
      {{u"", u"07:00-25:00", u"", u""}, u"heures"},
      {{u"", u"24:00-02:00", u"", u""}, u"heures"},  // 24:00 only ends a window
      {{u"", u"07:60-08:00", u"", u""}, u"heures"},
      {{u"", u"07:00-07:00", u"", u""}, u"heures"},
      {{u"", u"07:00-11:00;12:00-13:00", u"", u""}, u"heures"},
      {{u"", u"07:00 - 11:00,", u"", u""}, u"heures"},
      {{u"", u"", u"2026-02-30", u""}, u"du"},
      {{u"", u"", u"26-12-01", u""}, u"du"},
      {{u"", u"", u"", u"2026-13-01"}, u"au"},
      {{u"", u"", u"", u"demain"}, u"au"},
  };
  for (const Case& c : cases) {
    std::vector<ScheduleError> errors;
    const Schedule schedule = ParseSchedule(c.values, errors);
    ASSERT_EQ(errors.size(), 1u) << ToAnsi(c.key);
    EXPECT_EQ(errors[0].key, c.key);
    EXPECT_FALSE(errors[0].message.empty());
    EXPECT_TRUE(schedule.Always()) << ToAnsi(c.key);  // counts as absent
  }
  std::vector<ScheduleError> errors;
  const Schedule partly = ParseSchedule({u"sam", u"08:00-", u"", u""}, errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].message.find(u"\"08:00-\""), std::u16string::npos);
  EXPECT_FALSE(partly.Holds(At(2026, 12, 7, 12, 0)));  // "sam" still counts
  errors.clear();
  ParseScreenOff(u"soir", u"dimanche", errors);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].key, u"ecran eteint");
  EXPECT_EQ(errors[1].key, u"jours eteint");
}

// The clock's changes in Europe/Paris, as the local clock shows them, a
// tick a minute: spring (29 March 2026) jumps from 01:59 to 03:00, autumn
// (25 October 2026) goes back from 02:59 to 02:00. A window neither starts
// twice nor never.
TEST(ScheduleRules, SummerTimeChangesNeitherSkipNorDoubleAStart) {
  struct Case {
    const char* what;
    bool autumn;
    const char16_t* hours;
    int starts;
  };
  const Case cases[] = {
      {"spring, window from the skipped hour", false, u"02:30-04:00", 1},
      {"spring, window after it", false, u"03:30-04:00", 1},
      {"spring, window before it", false, u"01:00-02:15", 1},
      {"autumn, window in the repeated hour", true, u"02:30-02:45", 1},
      {"autumn, window across the change", true, u"02:30-04:00", 1},
      {"autumn, window ending in it", true, u"01:00-02:15", 1},
      {"autumn, window from the change", true, u"03:00-04:00", 1},
  };
  for (const Case& c : cases) {
    std::vector<platform::LocalTime> wall;
    const int day = c.autumn ? 25 : 29;
    const int month = c.autumn ? 10 : 3;
    for (int m = 0; m < 5 * 60; ++m) {
      if (!c.autumn && m / 60 == 2) continue;  // 02:00-02:59 never shows
      wall.push_back(At(2026, month, day, m / 60, m % 60));
      if (c.autumn && m == 3 * 60 - 1)  // 02:59 summer, then 02:00 winter
        for (int again = 2 * 60; again < 3 * 60; ++again)
          wall.push_back(At(2026, month, day, again / 60, again % 60));
    }
    std::vector<ScheduleError> errors;
    const Schedule schedule = ParseSchedule({u"", c.hours, u"", u""}, errors);
    ScheduleClock clock;
    int starts = 0, ends = 0;
    bool was = false;
    for (const platform::LocalTime& t : wall) {
      const bool holds = schedule.Holds(clock.Judge(t));
      starts += holds && !was;
      ends += was && !holds;
      was = holds;
    }
    EXPECT_EQ(starts, c.starts) << c.what;
    EXPECT_EQ(ends, c.starts) << c.what;
  }
  // A clock set back by more than the change is taken as it is.
  ScheduleClock clock;
  clock.Judge(At(2026, 12, 7, 18, 0));
  EXPECT_EQ(clock.Judge(At(2026, 12, 7, 17, 59)).hour, 18);
  EXPECT_EQ(clock.Judge(At(2026, 12, 7, 9, 0)).hour, 9);
}

// Slides on a schedule over the fake clock (Monday 2026-12-07 14:03:05).
TEST_F(SequencerTest, ScheduledSlidesArePassedOverInTheSameTick) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=one\r\nheures=08:00-09:00\r\nsection suivante=2\r\n"
      "delais secondes=0\r\n"
      "[section 2]\r\nType=url\r\nurl=two\r\njours=lun\r\nsection suivante=3\r\n"
      "delais secondes=0\r\n"
      "[section 3]\r\nType=url\r\nurl=three\r\ndu=2027-01-01\r\nsection suivante=1\r\n"
      "delais secondes=0\r\n");
  Content("modeles/url.html", "%URL%\r\n");
  SlideFolders({"00001", "00002", "00003"});
  ::testing::internal::CaptureStderr();
  Ticks(4);
  std::string err = ::testing::internal::GetCapturedStderr();
  // Sections 1 and 3 never reach the screen, and no blank second between.
  EXPECT_EQ(Navigations(), std::vector<std::u16string>(4, PagePath("00002")));
  EXPECT_FALSE(fs::exists(PageFile("00001")));
  EXPECT_FALSE(fs::exists(PageFile("00003")));
  EXPECT_TRUE(Webcam().visible);
  EXPECT_EQ(LinesWith(err, "section 1 passed over"), 1) << err;
  EXPECT_EQ(LinesWith(err, "section 3 passed over"), 1) << err;
  EXPECT_NE(Trace().find(u"section 3 passed over"), std::u16string::npos);
  // Never written back where they are missing.
  EXPECT_FALSE(HasKey("section 1", "jours") || HasKey("section 2", "heures") ||
               HasKey("section 3", "au") || HasKey("Systeme", "ecran eteint") ||
               HasKey("Systeme", "jours eteint"));
  EXPECT_TRUE(HasKey("section 2", "Transition"));  // the keys the player fills in are

  // Its window opens: section 1 plays, and is told again when it closes.
  fakes.clock.now = At(2026, 12, 7, 8, 59, 58);
  ::testing::internal::CaptureStderr();
  Ticks(2);
  fakes.clock.now.minute = 59;
  fakes.clock.now.hour = 9;
  Ticks(2);
  err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Navigations()[4], PagePath("00001"));
  EXPECT_EQ(LinesWith(err, "section 1 passed over"), 1) << err;
}

// No slide holds: black (the page hidden, nothing written), told once, the
// chain tried at every tick; a slide on screen leaves as its window
// closes, before the end of its dwell.
TEST_F(SequencerTest, ScheduledSlidesBlackAndWindowClose) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=one\r\nheures=14:00-14:05\r\nsection suivante=2\r\n"
      "delais secondes=100\r\n"
      "[section 2]\r\nType=url\r\nurl=two\r\nheures=14:05-15:00\r\njours=mar\r\n"
      "section suivante=1\r\ndelais secondes=100\r\n");
  Content("modeles/url.html", "%URL%\r\n");
  SlideFolders({"00001", "00002"});
  fakes.clock.now = At(2026, 12, 7, 14, 4, 58);
  Ticks(2);
  EXPECT_EQ(Navigations(), std::vector<std::u16string>{PagePath("00001")});
  EXPECT_TRUE(Webcam().visible);

  fakes.clock.now = At(2026, 12, 7, 14, 5, 0);
  ::testing::internal::CaptureStderr();
  Ticks(3);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(Webcam().visible);
  EXPECT_EQ(Navigations().size(), 1u);
  EXPECT_EQ(LinesWith(err, "no slide of the chain is scheduled at 14:05"), 1) << err;
  EXPECT_NE(Trace().find(u"no slide of the chain is scheduled"), std::u16string::npos);

  // Tuesday: section 2 holds and the screen comes back at the next tick.
  fakes.clock.now = At(2026, 12, 8, 14, 5, 0);
  Tick();
  EXPECT_TRUE(Webcam().visible);
  EXPECT_EQ(LastNavigation(), PagePath("00002"));
  EXPECT_FALSE(Display().sequencer.blank);
}

// The screen-off hours: black, no page, the display powered down and the
// screen saver let go; at their end the display on, the hold taken back
// and the chain from its start.
TEST_F(SequencerTest, ScreenOffHoursPowerTheDisplayDownAndStartTheChainAgain) {
  Playlist(
      "[Systeme]\r\necran eteint=20:00-07:30\r\njours eteint=dim\r\n"
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=one\r\nsection suivante=2\r\ndelais secondes=0\r\n"
      "[section 2]\r\nType=url\r\nurl=two\r\nsection suivante=1\r\ndelais secondes=0\r\n");
  Content("modeles/url.html", "%URL%\r\n");
  SlideFolders({"00001", "00002"});
  fakes.clock.now = At(2026, 12, 7, 19, 59, 58);
  Ticks(2);
  EXPECT_EQ(LastNavigation(), PagePath("00002"));

  fakes.clock.now = At(2026, 12, 7, 20, 0, 0);
  ::testing::internal::CaptureStderr();
  Ticks(5);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(Webcam().visible);
  EXPECT_EQ(Navigations().size(), 2u);
  EXPECT_EQ(fakes.screen.powerCalls, std::vector<bool>{false});
  EXPECT_EQ(fakes.screen.holdCalls, std::vector<bool>{false});
  EXPECT_EQ(LinesWith(err, "screen-off hours from 20:00"), 1) << err;

  fakes.clock.now = At(2026, 12, 8, 7, 30, 0);
  ::testing::internal::CaptureStderr();
  Tick();
  err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(Webcam().visible);
  EXPECT_EQ(fakes.screen.powerCalls, (std::vector<bool>{false, true}));
  EXPECT_EQ(fakes.screen.holdCalls, (std::vector<bool>{false, true}));
  EXPECT_EQ(LastNavigation(), PagePath("00001"));  // from section 0, as at a start
  EXPECT_EQ(LinesWith(err, "end of the screen-off hours at 07:30"), 1) << err;

  // Where the display cannot be powered down it is said once; the screen
  // stays black all the same. Sunday is off all day.
  fakes.screen.canPowerDown = false;
  ::testing::internal::CaptureStderr();
  for (int day : {13, 14, 13}) {
    fakes.clock.now = At(2026, 12, day, 12, 0, 0);
    Ticks(2);
    EXPECT_EQ(Webcam().visible, day != 13) << day;
  }
  err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(LinesWith(err, "the display cannot be powered down"), 1) << err;
  EXPECT_EQ(fakes.screen.powerCalls.size(), 2u);
  EXPECT_FALSE(fakes.screen.held);
}

TEST_F(SequencerTest, ProgramEndingInsideATickLeavesNoTickRunning) {
  Playlist(
      "[section 0]\r\nsection suivante=1\r\n"
      "[section 1]\r\nType=url\r\nurl=u\r\n");
  Content("modeles/url.html", "%URL%\r\n");
  SlideFolders({"00001"});
  Display();
  fakes.clock.now.hour = 3;  // the nightly restart is due
  fakes.clock.now.minute = 0;
  fakes.pump.hook = [&] { fakes.toolkit.Fire(1000); };
  EXPECT_THROW(Tick(), fakes::ProgramEnded);
  EXPECT_FALSE(Display().sequencer.ticking);
  EXPECT_EQ(fakes.process.started.size(), 1u);  // the fake, never the machine
}

}  // namespace
}  // namespace velane
