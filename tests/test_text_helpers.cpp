#include <gtest/gtest.h>

#include <string>

#include "config/ansi.h"
#include "diagnostics/failure.h"
#include "display/text_helpers.h"

namespace velane {
namespace {

// A text of n dots with `what` written at 1-based position p.
std::u16string DotsWith(std::size_t n, std::size_t p, const std::u16string& what) {
  std::u16string t(n, u'.');
  t.replace(p - 1, what.size(), what);
  return t;
}

TEST(ReplaceAll, EveryOccurrenceWhateverItsCase) {
  EXPECT_EQ(ReplaceAll(u"abcABC", u"b", u"-"), u"a-cA-C");
  EXPECT_EQ(ReplaceAll(u"<img src=\"%fichier%\">", u"%FICHIER%", u"photo.jpg"),
            u"<img src=\"photo.jpg\">");
  // Shorter and longer replacements, adjacent occurrences.
  EXPECT_EQ(ReplaceAll(u"abab", u"AB", u""), u"");
  EXPECT_EQ(ReplaceAll(u"%A%%a%", u"%a%", u"[1234]"), u"[1234][1234]");
  // A partial match that falls back into a real one.
  EXPECT_EQ(ReplaceAll(u"aaab", u"aab", u"X"), u"aX");
  EXPECT_EQ(ReplaceAll(u"abababc", u"ABABC", u"X"), u"abX");
}

TEST(ReplaceAll, EmptyTextOrSearch) {
  EXPECT_EQ(ReplaceAll(u"", u"x", u"y"), u"");
  EXPECT_EQ(ReplaceAll(u"abc", u"", u"y"), u"abc");
  EXPECT_EQ(ReplaceAll(u"ab", u"abc", u"y"), u"ab");
  EXPECT_EQ(ReplaceAll(u"abc", u"z", u"y"), u"abc");
}

TEST(ReplaceAll, ResumesBehindTheReplacement) {
  EXPECT_EQ(ReplaceAll(u"XX", u"X", u"aXb"), u"aXbaXb");
  // A replacement that is the search text in another case is left alone.
  EXPECT_EQ(ReplaceAll(u"xx", u"x", u"X"), u"XX");
  // Occurrences do not overlap: the matched text is consumed.
  EXPECT_EQ(ReplaceAll(u"aaaa", u"aa", u"b"), u"bb");
  EXPECT_EQ(ReplaceAll(u"aaa", u"aa", u"b"), u"ba");
  // Each meta tag receives exactly one copy of markup that contains it.
  const std::u16string meta = u"<meta http-equiv=\"Content-Type\"";
  EXPECT_EQ(ReplaceAll(meta + u">" + meta + u">", meta, u"<T>" + meta),
            u"<T>" + meta + u"><T>" + meta + u">");
}

TEST(ReplaceAll, ReplacementTakesItsOwnCase) {
  EXPECT_EQ(ReplaceAllNoCase(u"<BODY class=x>", u"<body ", u"<body scroll=NO "),
            u"<body scroll=NO class=x>");
  EXPECT_EQ(ReplaceAllNoCase(u"<body>", u"<body ", u"<body scroll=NO "), u"<body>");
  EXPECT_EQ(ReplaceAll(u"<Body id=a><bOdY id=b>", u"<body ", u"<body scroll=NO "),
            u"<body scroll=NO id=a><body scroll=NO id=b>");
}

TEST(ReplaceAll, CaseBlindOverWesternLetters) {
  EXPECT_EQ(ReplaceAll(U16("\xC9t\xE9"), U16("\xE9"), u"e"), u"ete");  // Été
  EXPECT_EQ(ReplaceAll(U16("\x8C"
                           "uvre \x9C"
                           "uvre"),
                       U16("\x9C"), u"oe"),
            u"oeuvre oeuvre");                                       // Œ œ
  EXPECT_EQ(ReplaceAll(U16("\x9F\xFF"), U16("\xFF"), u"y"), u"yy");  // Ÿ ÿ
  EXPECT_EQ(ReplaceAll(U16("\x8A\x9A"), U16("\x9A"), u"s"), u"ss");  // Š š
  // × and ÷ sit where a letter pair would be but are not letters.
  EXPECT_EQ(ReplaceAll(U16("\xD7\xF7"), U16("\xF7"), u"/"), U16("\xD7/"));
  // Letters and digits of other kinds are not folded together.
  EXPECT_EQ(ReplaceAll(u"[{", u"{", u"("), u"[(");
  EXPECT_EQ(ReplaceAll(u"@`", u"`", u"'"), u"@'");
}

TEST(ReplaceAll, NoCaseFollowsTheSameRules) {
  EXPECT_EQ(ReplaceAllNoCase(u"abcABC", u"b", u"-"), u"a-cA-C");
  EXPECT_EQ(ReplaceAllNoCase(u"XX", u"X", u"aXb"), u"aXbaXb");
  EXPECT_EQ(ReplaceAllNoCase(u"abc", u"", u"y"), u"abc");
  EXPECT_THROW(ReplaceAllNoCase(DotsWith(50000, 40000, u"Q"), u"q", u"r"), Overflow);
}

TEST(ReplaceAllPositions, OccurrenceBeyond32767Overflows) {
  EXPECT_THROW(ReplaceAll(DotsWith(50000, 40000, u"Q"), u"Q", u"r"), Overflow);
  // The caller's text is untouched by the failed call.
  std::u16string page = DotsWith(50000, 40000, u"Q");
  const std::u16string before = page;
  try {
    page = ReplaceAll(page, u"Q", u"r");
  } catch (const Overflow&) {
  }
  EXPECT_EQ(page, before);
}

TEST(ReplaceAllPositions, LongTextIsFineWhileOccurrencesAreEarly) {
  const std::u16string out = ReplaceAll(DotsWith(50000, 100, u"Q"), u"Q", u"rr");
  EXPECT_EQ(out.size(), 50001u);
  EXPECT_EQ(out.substr(98, 4), u".rr.");
  // No occurrence at all: any length is fine.
  EXPECT_EQ(ReplaceAll(std::u16string(50000, u'.'), u"Q", u"r").size(), 50000u);
}

TEST(ReplaceAllPositions, LimitsAreInclusive) {
  // An occurrence at 32767 with an empty replacement resumes at 32767.
  EXPECT_NO_THROW(ReplaceAll(DotsWith(40000, 32767, u"Q"), u"Q", u""));
  // With one character the resume position is 32768.
  EXPECT_THROW(ReplaceAll(DotsWith(40000, 32767, u"Q"), u"Q", u"r"), Overflow);
  EXPECT_NO_THROW(ReplaceAll(DotsWith(40000, 32766, u"Q"), u"Q", u"r"));
  EXPECT_THROW(ReplaceAll(DotsWith(40000, 32768, u"Q"), u"Q", u""), Overflow);
  // A long replacement early in the text passes the limit on resuming.
  EXPECT_THROW(ReplaceAll(u"Q", u"Q", std::u16string(32767, u'r')), Overflow);
  EXPECT_NO_THROW(ReplaceAll(u"Q", u"Q", std::u16string(32766, u'r')));
}

TEST(ReplaceAllPositions, CountInTheRewrittenText) {
  // Shrinking: every occurrence is met at position 1 of the rewritten text,
  // though most of them lie far beyond 32767 in the original.
  std::u16string pairs;
  for (int i = 0; i < 20000; ++i) pairs += u"ab";
  EXPECT_EQ(ReplaceAll(pairs, u"ab", u""), u"");
  // Growing: the second occurrence is at 32002 in the original text but
  // at 33001 once the first one has been replaced.
  const std::u16string grown = u"Q" + std::u16string(32000, u'.') + u"Q";
  EXPECT_THROW(ReplaceAll(grown, u"Q", std::u16string(1000, u'r')), Overflow);
  EXPECT_NO_THROW(ReplaceAll(grown, u"Q", std::u16string(300, u'r')));
}

TEST(ReplaceAll, LargePageWithManyPlaceholders) {
  // A 32,000-character page with 400 placeholders in one call.
  std::u16string page;
  for (int i = 0; i < 400; ++i) page += std::u16string(70, u'x') + u"%url%";
  page.resize(32000, u'x');
  const std::u16string out = ReplaceAll(page, u"%URL%", u"http://a/b");
  EXPECT_EQ(out.size(), 32000u + 400u * 5u);
  EXPECT_EQ(out.find(u"%url%"), std::u16string::npos);
  EXPECT_EQ(out.substr(70, 10), u"http://a/b");
}

TEST(ChooseValue, ReturnsOneOfTheTwo) {
  EXPECT_EQ(ChooseValue<int>(true, 1, 2), 1);
  EXPECT_EQ(ChooseValue<int>(false, 1, 2), 2);
  EXPECT_EQ(ChooseValue<std::u16string>(false, u"a", u"b"), u"b");
}

}  // namespace
}  // namespace velane
