#include <gtest/gtest.h>
#include "config/ansi.h"
TEST(Ansi, ByteTransparent) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(velane::ToAnsi(velane::FromAnsi(all)), all);
  EXPECT_EQ(velane::FromAnsi("\x80")[0], u'\u20AC');
}

// What the toolkits are handed: UTF-8 of every length, surrogate pairs
// joined, a lone half of one replaced.
TEST(Ansi, Utf8ForTheToolkits) {
  const struct {
    std::u16string text;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"Quitter", "Quitter"},
      {u"d\u00E9lais \u20AC", "d\xC3\xA9lais \xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::u16string(1, char16_t(0xD83D)) + u"x", "\xEF\xBF\xBDx"},
      {u"x" + std::u16string(1, char16_t(0xDE00)), "x\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(velane::ToUtf8(c.text), c.utf8);
}
