#include "support/ini_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/test_temp_dir.h"

namespace {

using support::TestTempDir;
using testing::ElementsAre;
using testing::Pair;

class IniFileTest : public testing::Test {
 protected:
  IniFile Load(const std::string& text) {
    support::WriteTextFile(dir_ / "Barsync.ini", text);
    return IniFile(dir_ / "Barsync.ini");
  }
  TestTempDir dir_;
};

TEST_F(IniFileTest, SectionAndKeyLookupsIgnoreLetterCaseValuesKeepIt) {
  const IniFile ini = Load("[ classes ]\nSpbfut = ALL\n[GENERAL]\nminutes=C:\\Export\\Min\n");
  EXPECT_EQ(ini.GetString("Classes", "SPBFUT", ""), "ALL");
  EXPECT_EQ(ini.GetString("CLASSES", "spbfut", ""), "ALL");
  EXPECT_EQ(ini.GetString("General", "Minutes", ""), "C:\\Export\\Min");
  EXPECT_THAT(ini.GetSectionNames(), ElementsAre("CLASSES", "GENERAL"));
}

TEST_F(IniFileTest, CommentsBlanksTabsAndCarriageReturnsFollowTheReaderRules) {
  const IniFile ini = Load(
      "; comment\r\n# another\r\n\r\n[General]\r\nAction = add ;comment\r\n"
      "Date=2026\t1207\r\nno equals sign here\r\n=5\r\nNote=a#b\r\n");
  EXPECT_EQ(ini.GetString("General", "Action", ""), "add ");
  EXPECT_EQ(ini.GetString("General", "Date", ""), "20261207");
  EXPECT_EQ(ini.GetString("General", "<EMPTY_KEY>", ""), "5");
  EXPECT_EQ(ini.GetString("General", "Note", ""), "a");
  EXPECT_EQ(ini.GetSection("General").size(), 4u);
}

TEST_F(IniFileTest, DuplicateKeysFirstWinsForLookupBothKeptInSection) {
  const IniFile ini = Load("[Intervals]\n5=a\n5=b\nEmpty=\n");
  EXPECT_EQ(ini.GetString("Intervals", "5", "x"), "a");
  EXPECT_EQ(ini.GetString("Intervals", "Empty", "dflt"), "dflt");
  EXPECT_EQ(ini.GetInt("Intervals", "Empty", 7), 7);
  EXPECT_EQ(ini.GetInt("Intervals", "Missing", 9), 9);
  EXPECT_THAT(ini.GetSection("intervals"),
              ElementsAre(Pair("5", "a"), Pair("5", "b"), Pair("EMPTY", "")));
}

TEST_F(IniFileTest, GetIntFollowsAtoi) {
  const IniFile ini = Load("[General]\nDebugLevel=2\nWord=abc\nMixed=12x\n");
  EXPECT_EQ(ini.GetInt("General", "DebugLevel", 1), 2);
  EXPECT_EQ(ini.GetInt("General", "Word", 1), 0);
  EXPECT_EQ(ini.GetInt("General", "Mixed", 1), 12);
}

TEST_F(IniFileTest, EntriesBeforeTheFirstHeaderJoinTheFirstSection) {
  const IniFile ini = Load("Loose=1\n[First]\nOwn=2\n[Second]\nX=3\n");
  EXPECT_THAT(ini.GetSection("First"), ElementsAre(Pair("LOOSE", "1"), Pair("OWN", "2")));
  EXPECT_THAT(ini.GetSection("Second"), ElementsAre(Pair("X", "3")));
}

TEST_F(IniFileTest, RepeatedSectionIsMergedIntoItsFirstOccurrence) {
  const IniFile ini =
      Load("[Classes]\nA=ALL\n[General]\nAction=add\n[classes]\nB=X\n[Other]\nY=1\n");
  EXPECT_THAT(ini.GetSection("Classes"), ElementsAre(Pair("A", "ALL"), Pair("B", "X")));
  EXPECT_THAT(ini.GetSection("Other"), ElementsAre(Pair("Y", "1")));
  EXPECT_THAT(ini.GetSection("General"), ElementsAre(Pair("ACTION", "add")));
}

TEST_F(IniFileTest, HeaderWithoutClosingBracketKeepsTheCurrentSection) {
  const IniFile ini = Load("[General]\nA=1\n[Broken\nB=2\n");
  EXPECT_THAT(ini.GetSection("General"), ElementsAre(Pair("A", "1"), Pair("B", "2")));
}

TEST_F(IniFileTest, ByteOrderMarkIsSkipped) {
  const IniFile ini = Load("\xEF\xBB\xBF[General]\nAction=test\n");
  EXPECT_EQ(ini.GetString("General", "Action", ""), "test");
}

TEST_F(IniFileTest, BytesAbove127InKeysAreHandled) {
  const IniFile ini = Load("[General]\nk\xE9y=v\xE9\n");
  EXPECT_EQ(ini.GetString("General", "K\xE9Y", ""), "v\xE9");
}

TEST_F(IniFileTest, LastLineWithoutLineEndAndVeryLongLinesAreRead) {
  const std::string longValue(100000, 'v');
  const IniFile ini = Load("[General]\nLong=" + longValue + "\nLast=1");
  EXPECT_EQ(ini.GetString("General", "Long", ""), longValue);
  EXPECT_EQ(ini.GetString("General", "Last", ""), "1");
}

TEST_F(IniFileTest, MissingFileGivesEmptySettings) {
  const IniFile ini(dir_ / "absent.ini");
  EXPECT_TRUE(ini.GetSectionNames().empty());
  EXPECT_EQ(ini.GetString("General", "Action", "d"), "d");
}

TEST(NextToken, SplitsTrimsAndEmptiesTheText) {
  std::string text = "A, B,C";
  EXPECT_EQ(NextToken(text, ','), "A");
  EXPECT_EQ(text, " B,C");
  EXPECT_EQ(NextToken(text, ','), "B");
  EXPECT_EQ(NextToken(text, ','), "C");
  EXPECT_TRUE(text.empty());
}

TEST(NextToken, TrailingSeparatorLeavesEmptyText) {
  std::string text = "A,";
  EXPECT_EQ(NextToken(text, ','), "A");
  EXPECT_TRUE(text.empty());
}

TEST(Trim, RemovesOnlySpaces) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(Trim("   "), "");
}

}  // namespace
