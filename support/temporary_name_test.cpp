#include "support/temporary_name.h"

#include <gtest/gtest.h>

#include <string>

namespace fs = std::filesystem;
using namespace support;

namespace {

TEST(TemporaryName, LiesBesideItsTargetAndHoldsNoArchiveExtension) {
  for (const char* name : {"SBER.dat", "1.dat", "day.dat", "A.dat.dat", "X.DAT", "noext"}) {
    SCOPED_TRACE(name);
    const fs::path target = fs::path("arch") / "TQBR" / name;
    const fs::path temp = TemporaryPathFor(target);
    EXPECT_EQ(temp.parent_path(), target.parent_path());
    EXPECT_EQ(temp.filename().string().find(".dat"), std::string::npos);
    EXPECT_EQ(temp.filename().string().find(".DAT"), std::string::npos);
    EXPECT_TRUE(IsTemporaryName(temp));
    EXPECT_FALSE(IsTemporaryName(target));
  }
  EXPECT_EQ(TemporaryPathFor(fs::path("TQBR") / "SBER.dat"),
            fs::path("TQBR") / "SBER_dat.barsync.tmp");
}

TEST(TemporaryName, RecognisesEarlierLeftoversButNotOtherFiles) {
  for (const char* name : {"SBER.dat.tmp", "1.dat.tmp", "SBER.DAT.TMP", "x_dat.Barsync.Tmp"})
    EXPECT_TRUE(IsTemporaryName(fs::path("C") / name)) << name;
  for (const char* name : {"SBER.dat", "SBER.dat.bak", "notes.tmp", "Barsync.lock", ".dat",
                           "SBER.tmp.dat", "barsync.tmp"})
    EXPECT_FALSE(IsTemporaryName(fs::path("C") / name)) << name;
}

}  // namespace
