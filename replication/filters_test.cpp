#include <gtest/gtest.h>

#include "app/min_replicator.h"
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
  CMinReplicator r;
  EXPECT_TRUE(ClassSelected(r, "ANY"));
  r.hasClasses_ = true;
  r.classes_ = {{"CLS1", "ALL"}, {"CLS2", "AAA, BBB"}};
  EXPECT_FALSE(ClassSelected(r, "CLS3"));
  r.curClass_ = "CLS1";
  EXPECT_TRUE(SecuritySelected(r, "ZZZ"));
  r.curClass_ = "CLS2";
  EXPECT_TRUE(SecuritySelected(r, "BBB"));
  EXPECT_FALSE(SecuritySelected(r, "ZZZ"));
}

TEST(ReplicateClassesFilter, ClassAloneOrClassAndSecurity) {
  CMinReplicator r;
  r.curClass_ = "TQBR";
  r.curSec_ = "SBER";
  EXPECT_TRUE(PassesReplicateClasses(r));
  r.hasReplicateClasses_ = true;
  r.replicateClasses_ = {"TQBR,GAZP"};
  EXPECT_FALSE(PassesReplicateClasses(r));
  r.curSec_ = "GAZP";
  EXPECT_TRUE(PassesReplicateClasses(r));
  r.replicateClasses_ = {"TQBR"};
  r.curSec_ = "SBER";
  EXPECT_TRUE(PassesReplicateClasses(r));
}

TEST(ExportDates, OnlyRealEightDigitDates) {
  EXPECT_TRUE(IsExportDateName("20240229"));
  EXPECT_FALSE(IsExportDateName("20230229"));
  EXPECT_FALSE(IsExportDateName("20241399"));
  EXPECT_FALSE(IsExportDateName("20991231_old"));
  EXPECT_FALSE(IsExportDateName("tmp"));
  EXPECT_FALSE(IsExportDateName("+2024010"));
}
