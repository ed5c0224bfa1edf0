#include <gtest/gtest.h>

#include "app/messages.h"

TEST(MessageTable, DefaultsByteForByte) {
  app::MessageTable t;
  t.LoadDefaults();
  EXPECT_EQ(t[0], "Sending log...");
  EXPECT_EQ(t[18], "Click on \"Fix\" button to fix selected tasks.");
  EXPECT_EQ(t[35], "Clean...[%f sec]");
  EXPECT_EQ(t[61], "Klaruvex Pro v4 only supports Microsoft Windows XP, Vista and Win7 platform.");
  EXPECT_EQ(t[104], "Your database is out of date, do you wan\x92\x92t to upgrade it?");
  EXPECT_EQ(t[198], "Services: (");
  for (int empty : {75, 119, 130, 133, 169}) EXPECT_EQ(t[empty], "") << empty;
  // Separate entries that repeat another's text.
  EXPECT_EQ(t[82], t[74]);
  EXPECT_EQ(t[125], t[1]);
  EXPECT_EQ(t[126], t[3]);
  EXPECT_EQ(t[136], t[129]);
  for (int i : {186, 188, 190, 195}) EXPECT_EQ(t[i], "Win.ini Startup: (") << i;
  int filled = 0;
  for (int i = 0; i < app::MessageTable::kCount; ++i) filled += !t[i].empty();
  EXPECT_EQ(filled, 194);
}
