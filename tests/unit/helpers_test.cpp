#include <gtest/gtest.h>

#include "engine/helpers.h"
#include "platform/text.h"

using namespace engine;

TEST(Fields, DelimiterClosedFields) {
  struct {
    const char* text;
    int count;
    std::vector<std::string> fields;  // fields 0, 1, 2
  } rows[] = {
      {"a;b", 1, {"a", "", ""}},
      {"a;b;", 2, {"a", "b", ""}},
      {"", 0, {"", "", ""}},
      {";;", 2, {"", "", ""}},
      {"c:\\x.exe;d:\\y.exe;", 2, {"c:\\x.exe", "d:\\y.exe", ""}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(CountFields(r.text, ';'), r.count) << r.text;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(GetField(r.text, k, ';'), r.fields[k]) << r.text << k;
    EXPECT_EQ(GetField(r.text, -1, ';'), "");
  }
  // The delimiter is compared without regard to case.
  EXPECT_EQ(CountFields("aXbxc", 'x'), 2);
  EXPECT_EQ(GetField("aXbxc", 1, 'x'), "b");
}

TEST(Letters, FiltersAndPositions) {
  EXPECT_EQ(LettersOf("Win32-Sys.exe"), "inysexe");  // capitals are not in the alphabet text
  EXPECT_EQ(DigitsOf("a1b22c3"), "1223");
  EXPECT_EQ(LetterPosition('a'), 1);
  EXPECT_EQ(LetterPosition('r'), 17);
  EXPECT_EQ(LetterPosition('s'), 18);
  EXPECT_EQ(LetterPosition('q'), 19);
  EXPECT_EQ(LetterPosition('z'), 26);
  EXPECT_EQ(LetterPosition('A'), 0);
  EXPECT_EQ(LetterAt(1), "a");
  EXPECT_EQ(LetterAt(19), "q");
  EXPECT_EQ(LetterAt(25), "y");
  EXPECT_EQ(LetterAt(26), "");
  EXPECT_EQ(LetterAt(0), "");
}

TEST(Text, LowerCaseFollowsWindows1252) {
  EXPECT_EQ(platform::LowerCase("C:\\PROGRAM FILES\\\xC4\xD6\xDC\x8A\x9F\xD7\xDF"),
            "c:\\program files\\\xE4\xF6\xFC\x9A\xFF\xD7\xDF");
  EXPECT_TRUE(platform::SameText("\xC9T\xC9", "\xE9t\xE9"));
  EXPECT_EQ(platform::ExtractFileName("c:\\a\\b.exe"), "b.exe");
  EXPECT_EQ(platform::ExtractFilePath("c:\\a\\b.exe"), "c:\\a\\");
  EXPECT_EQ(platform::ExtractFileName("c:b.exe"), "b.exe");
  EXPECT_TRUE(platform::MatchesMask("Readme", "*.*"));
  EXPECT_TRUE(platform::MatchesMask("German.VLNG", "*.vlng"));
  EXPECT_FALSE(platform::MatchesMask("german.vlng.bak", "*.vlng"));
  EXPECT_TRUE(platform::MatchesMask("ab1.exe", "ab?.exe"));
}
