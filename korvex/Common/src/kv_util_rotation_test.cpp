// The "logfile" section's rotation entries and the moving of generations.
#include <string>

#include "kv_util_test_support.h"

namespace kv {
namespace {

RotationSetting setting_for(const test::TempFolder& dir, const std::string& section,
                            const char* log) {
  const std::string ini = dir.file("s.ini");
  test::write_file(ini, "[logfile]\r\n" + section);
  return read_rotation_setting(ini.c_str(), dir.file(log).c_str());
}

TEST(RotationSetting, EntriesAreTrimmedMatchedByBaseNameAndTheLastWins) {
  test::TempFolder dir("setting");
  RotationSetting s = setting_for(dir, "\tROTATE = C:\\old\\Events.LOG ,\t4\r\n", "events.log");
  EXPECT_TRUE(s.rotate_daily);
  EXPECT_EQ(s.generations, 4);
  s = setting_for(dir, "rotate=events.log,2\r\nrotate=events.log,7\r\n", "events.log");
  EXPECT_EQ(s.generations, 7);
  // The entry's base name agrees with the log's over the log's length.
  s = setting_for(dir, "rotate=events.log.bak,5\r\n", "events.log");
  EXPECT_TRUE(s.rotate_daily);
  s = setting_for(dir, "rotate=events.lo,5\r\nrotate=errors.log,5\r\n", "events.log");
  EXPECT_FALSE(s.rotate_daily);
}

TEST(RotationSetting, EntriesWithoutANumberAreIgnoredAndNumbersAreClamped) {
  test::TempFolder dir("numbers");
  RotationSetting s =
      setting_for(dir, "rotate=e.log,3\r\nrotate=e.log\r\nrotate=e.log,\r\n", "e.log");
  EXPECT_EQ(s.generations, 3);
  s = setting_for(dir, "rotate=e.log,5000\r\n", "e.log");
  EXPECT_EQ(s.generations, kMaxGenerations);
  s = setting_for(dir, "rotate=e.log,-4\r\n", "e.log");
  EXPECT_TRUE(s.rotate_daily);
  EXPECT_EQ(s.generations, 0);
  s = setting_for(dir, "rotate=e.log,x9\r\n", "e.log");
  EXPECT_FALSE(s.rotate_daily);
}

TEST(RotationSetting, LargeSectionsAreReadWhole) {
  test::TempFolder dir("large");
  std::string section;
  for (int i = 0; i < 400; ++i) section += "rotate=other" + std::to_string(i) + ".log,1\r\n";
  section += "rotate=last.log,6\r\n";
  ASSERT_GT(section.size(), 4 * kSectionStartSize);
  const RotationSetting s = setting_for(dir, section, "last.log");
  EXPECT_TRUE(s.rotate_daily);
  EXPECT_EQ(s.generations, 6);
}

TEST(RotationSetting, MissingFileOrSectionMeansNoRotation) {
  test::TempFolder dir("missing");
  EXPECT_FALSE(read_rotation_setting(dir.file("none.ini").c_str(), "C:\\e.log").rotate_daily);
  EXPECT_FALSE(read_rotation_setting(nullptr, "C:\\e.log").rotate_daily);
}

TEST(RotateGenerations, MovesEachGenerationUpAndSkipsGaps) {
  test::TempFolder dir("gens");
  const std::string f = dir.file("r.log");
  test::write_file(f, "0");
  test::write_file(f + ".2", "2");
  test::write_file(f + ".3", "3");
  EXPECT_TRUE(rotate_generations(f.c_str(), 3));
  EXPECT_EQ(test::read_file(f + ".1"), "0");
  EXPECT_EQ(test::read_file(f + ".2"), "");  // there was no .1 to move up
  EXPECT_EQ(test::read_file(f + ".3"), "2");
  EXPECT_EQ(GetFileAttributesA(f.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((f + ".4").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(RotateGenerations, OneGenerationReplacesTheOldFileAndZeroDeletes) {
  test::TempFolder dir("one");
  const std::string f = dir.file("r.log");
  test::write_file(f, "new");
  test::write_file(f + ".1", "old");
  EXPECT_TRUE(rotate_generations(f.c_str(), 1));
  EXPECT_EQ(test::read_file(f + ".1"), "new");
  test::write_file(f, "again");
  EXPECT_TRUE(rotate_generations(f.c_str(), 0));
  EXPECT_EQ(GetFileAttributesA(f.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(test::read_file(f + ".1"), "new");
}

TEST(RotationDue, OnlyForAFileStartedOnAnotherDay) {
  test::TempFolder dir("due");
  const std::string f = dir.file("d.log");
  EXPECT_FALSE(rotation_due(f.c_str()));
  test::write_file(f, "x");
  EXPECT_FALSE(rotation_due(f.c_str()));
  SYSTEMTIME old = {2020, 2, 0, 29, 12, 0, 0, 0};
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&old, &ft));
  HANDLE h = CreateFileA(f.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetFileTime(h, &ft, nullptr, &ft);
  CloseHandle(h);
  EXPECT_TRUE(rotation_due(f.c_str()));
}

}  // namespace
}  // namespace kv
