#include "support/temporary_name.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/test_temp_dir.h"

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

TEST(TemporaryName, FitsInAFileNameWheneverItsTargetDoes) {
  const TestTempDir dir;
  // Security names of every length up to the longest whose archive name still fits.
  for (std::size_t length = 1; length + 4 <= kMaxFileNameLength; ++length) {
    SCOPED_TRACE(length);
    const fs::path target = dir / (std::string(length, 'S') + ".dat");
    const fs::path temp = TemporaryPathFor(target);
    EXPECT_LE(temp.filename().native().size(), kMaxFileNameLength);
    EXPECT_TRUE(IsTemporaryName(temp));
    EXPECT_NE(temp, target);
    // The file system takes both names.
    std::ofstream(target) << "archive";
    std::ofstream out(temp);
    EXPECT_TRUE(out.is_open()) << temp;
    out.close();
    fs::remove(temp);
    fs::remove(target);
  }
}

TEST(TemporaryName, RecognisesEarlierLeftoversButNotOtherFiles) {
  for (const char* name : {"SBER.dat.tmp", "1.dat.tmp", "SBER.DAT.TMP", "x_dat.Barsync.Tmp"})
    EXPECT_TRUE(IsTemporaryName(fs::path("C") / name)) << name;
  for (const char* name : {"SBER.dat", "SBER.dat.bak", "notes.tmp", "Barsync.lock", ".dat",
                           "SBER.tmp.dat", "barsync.tmp"})
    EXPECT_FALSE(IsTemporaryName(fs::path("C") / name)) << name;
}

}  // namespace
