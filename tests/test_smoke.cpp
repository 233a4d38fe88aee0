#include <gtest/gtest.h>
#include "config/ansi.h"
TEST(Ansi, ByteTransparent) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(velane::ToAnsi(velane::FromAnsi(all)), all);
  EXPECT_EQ(velane::FromAnsi("\x80")[0], u'\u20AC');
}
