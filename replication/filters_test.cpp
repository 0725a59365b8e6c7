#include <gtest/gtest.h>

#include "replication/instrument_work.h"
#include "replication/latest_date.h"
#include "replication/replicate_file.h"
#include "replication/sec_list.h"

TEST(IsSecInList, MatchesWholeItemsSeparatedByCommasAndBlanks) {
  const std::string list = "AAA, BBB,CCC";
  EXPECT_TRUE(IsSecInList(list, "AAA", 0));
  EXPECT_TRUE(IsSecInList(list, "BBB", 0));
  EXPECT_TRUE(IsSecInList(list, "CCC", 0));
  EXPECT_FALSE(IsSecInList(list, "BB", 0));
  EXPECT_FALSE(IsSecInList(list, "AAAX", 0));
  EXPECT_FALSE(IsSecInList(list, "", 0));
  // A part of an item before the whole item further on.
  EXPECT_TRUE(IsSecInList("SBERP,SBER", "SBER", 0));
  EXPECT_FALSE(IsSecInList("AAA,BBB", "AAA", 1));
}

TEST(IsSecInList, LongListNeedsNoDeepCalls) {
  std::string list;
  for (int i = 0; i < 200000; ++i) list += "XSBER,";
  list += "SBER";
  EXPECT_TRUE(IsSecInList(list, "SBER", 0));
}

TEST(ClassesFilter, AllOrListedSecurities) {
  RunSettings r;
  EXPECT_TRUE(ClassSelected(r, "ANY"));
  r.hasClasses_ = true;
  r.classes_ = {{"CLS1", "ALL"}, {"CLS2", "AAA, BBB"}};
  EXPECT_FALSE(ClassSelected(r, "CLS3"));
  EXPECT_TRUE(SecuritySelected(r, "CLS1", "ZZZ"));
  EXPECT_TRUE(SecuritySelected(r, "CLS2", "BBB"));
  EXPECT_FALSE(SecuritySelected(r, "CLS2", "ZZZ"));
  EXPECT_FALSE(SecuritySelected(r, "CLS3", "BBB"));
}

TEST(ReplicateClassesFilter, ClassAloneOrClassAndSecurity) {
  RunSettings r;
  InstrumentWork w;
  w.curClass_ = "TQBR";
  w.curSec_ = "SBER";
  EXPECT_TRUE(PassesReplicateClasses(r, w));
  r.hasReplicateClasses_ = true;
  r.replicateClasses_ = {"TQBR,GAZP"};
  EXPECT_FALSE(PassesReplicateClasses(r, w));
  w.curSec_ = "GAZP";
  EXPECT_TRUE(PassesReplicateClasses(r, w));
  r.replicateClasses_ = {"TQBR"};
  w.curSec_ = "SBER";
  EXPECT_TRUE(PassesReplicateClasses(r, w));
}

TEST(ExportDates, OnlyRealEightDigitDates) {
  EXPECT_TRUE(IsExportDateName("20240229"));
  EXPECT_FALSE(IsExportDateName("20230229"));
  EXPECT_FALSE(IsExportDateName("20241399"));
  EXPECT_FALSE(IsExportDateName("20991231_old"));
  EXPECT_FALSE(IsExportDateName("tmp"));
  EXPECT_FALSE(IsExportDateName("+2024010"));
}
