#include <gtest/gtest.h>

#include "app/min_replicator.h"

namespace {

bool Find(std::vector<const char*> argv, const char* option, std::string& value) {
  return FindOption(static_cast<int>(argv.size()), argv.data(), option, value);
}

TEST(FindOption, TakesTheNextArgumentTrimmedOfSpaces) {
  std::string value;
  EXPECT_TRUE(Find({"Barsync", "-a", "  add  ", "-f", "x"}, "-a", value));
  EXPECT_EQ(value, "add");
  EXPECT_TRUE(Find({"Barsync", "-a", "add", "-f", "x"}, "-f", value));
  EXPECT_EQ(value, "x");
}

TEST(FindOption, LastArgumentGivesAnEmptyValueButCountsAsFound) {
  std::string value = "old";
  EXPECT_TRUE(Find({"Barsync", "-a", "add", "-d"}, "-d", value));
  EXPECT_EQ(value, "");
}

TEST(FindOption, AbsentOptionClearsTheValue) {
  std::string value = "old";
  EXPECT_FALSE(Find({"Barsync", "-a", "add"}, "-d", value));
  EXPECT_EQ(value, "");
}

TEST(FindOption, OnlyTheFirstOccurrenceCountsAndTheNextArgumentIsTakenAsItIs) {
  std::string value;
  EXPECT_TRUE(Find({"Barsync", "-d", "-a", "-a", "add"}, "-d", value));
  EXPECT_EQ(value, "-a");
  EXPECT_TRUE(Find({"Barsync", "-d", "-a", "-a", "add"}, "-a", value));
  EXPECT_EQ(value, "-a");
}

TEST(FindOption, MatchIsExactAndCaseSensitive) {
  std::string value;
  EXPECT_FALSE(Find({"Barsync", "-A", "add", "-ab", "x"}, "-a", value));
  EXPECT_FALSE(Find({"Barsync", "--version2"}, "--version", value));
}

TEST(FindOption, TheProgramPathIsScannedToo) {
  std::string value;
  EXPECT_TRUE(Find({"-v", "x"}, "-v", value));
  EXPECT_EQ(value, "x");
}

}  // namespace
