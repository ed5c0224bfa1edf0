// Names and strings between the volume's and hives' Unicode and the
// installation's code page: exact both ways, also for what does not fit.
#include <gtest/gtest.h>

#include "platform/offline/code_page.h"

using platform::offline::CodePage;

namespace {

TEST(OfflineCodePage, NamesThatFitAreTheCodePagesBytes) {
  const auto cp = CodePage::Windows1252();
  EXPECT_EQ(cp.FromUtf8("w\xC3\xA9rm \xE2\x82\xAC.exe", true), "w\xE9rm \x80.exe");
  EXPECT_EQ(cp.ToHostName("w\xE9rm \x80.exe"), "w\xC3\xA9rm \xE2\x82\xAC.exe");
  EXPECT_EQ(cp.ToReportUtf8("w\xE9rm"), "w\xC3\xA9rm");
}

TEST(OfflineCodePage, WhatDoesNotFitTravelsExactly) {
  const auto cp = CodePage::Windows1252();
  struct Case {
    const char* utf8;  // as the volume holds it
    bool name;
    const char* text;  // as the program sees it
  } cases[] = {
      {"\xD0\x94.exe", true, "|414|.exe"},             // Cyrillic capital De
      {"a|b", false, "a|7C|b"},                        // the mark itself
      {"a:b", true, "a|3A|b"},                         // not in a Windows name
      {"a:b", false, "a:b"},                           // fine in a registry name
      {"dots..", true, "dots|2E||2E|"},                // Windows would drop them
      {"x. y", true, "x. y"},                          // only trailing ones
      {"\xF0\x9F\x98\x80", true, "|1F600|"},           // beyond 16 bits
      {"bad\xFF", true, "bad|DCFF|"},                  // not UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp.FromUtf8(c.utf8, c.name), c.text) << c.utf8;
    EXPECT_EQ(cp.ToHostName(c.text), c.utf8) << c.text;
  }
  // Letter case does not change what an escape stands for.
  EXPECT_EQ(cp.ToHostName("|1f600|"), "\xF0\x9F\x98\x80");
  // The report shows the character, and never bytes that are not UTF-8.
  EXPECT_EQ(cp.ToReportUtf8("|414|.exe"), "\xD0\x94.exe");
  EXPECT_EQ(cp.ToReportUtf8("bad|DCFF|"), "bad\xEF\xBF\xBD");
  // A mark without an escape after it stays as it is.
  EXPECT_EQ(cp.ToHostName("a|g|"), "a|g|");
  EXPECT_TRUE(CodePage::HasEscape("x|414|"));
  EXPECT_FALSE(CodePage::HasEscape("a|b"));
}

TEST(OfflineCodePage, Utf16StringsOfTheHives) {
  const auto cp = CodePage::Windows1252();
  const std::string utf16("C\0:\0\\\0\xE9\0\x14\x04\x3D\xD8\x00\xDE\0\0", 16);
  EXPECT_EQ(cp.FromUtf16(utf16), std::string("C:\\\xE9") + "|414||1F600|" + std::string(1, '\0'));
  EXPECT_EQ(cp.ToUtf16(cp.FromUtf16(utf16)), utf16);
  // A lone surrogate goes back as it came; an odd last byte is dropped.
  const std::string lone("\x00\xD8x", 3);
  EXPECT_EQ(cp.FromUtf16(lone), "|D800|");
  EXPECT_EQ(cp.ToUtf16("|D800|"), std::string("\x00\xD8", 2));
}

TEST(OfflineCodePage, OtherSingleByteCodePages) {
  auto cyrillic = CodePage::Load(1251);
  ASSERT_TRUE(cyrillic);
  EXPECT_EQ(cyrillic->Number(), 1251u);
  EXPECT_EQ(cyrillic->FromUtf8("\xD0\x94.exe", true), "\xC4.exe");
  EXPECT_EQ(cyrillic->FromUtf8("w\xC3\xA9rm", true), "w|E9|rm");  // no e acute in 1251
  EXPECT_EQ(cyrillic->ToReportUtf8("\xC4"), "\xD0\x94");
  EXPECT_TRUE(CodePage::Load(874));
  EXPECT_FALSE(CodePage::Load(932));  // a double-byte code page
  EXPECT_FALSE(CodePage::Load(65001));
}

}  // namespace
