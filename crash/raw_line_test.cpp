#include "crash/raw_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace ostrel::crash {
namespace {

std::string Text(const RawLine& line) {
  return std::string(line.data(), line.size());
}

TEST(RawLine, WritesNumbersWithoutTheCLibrary) {
  RawLine line;
  line.decimal(0).text(" ").decimal(-42).text(" ").decimal(
      std::numeric_limits<std::int64_t>::min());
  line.text(" ").hex(0xBEEF, 8).text(" ").hex(0).text(" ").hex(0xFFFFFFFFFFFFFFFFull, 4);
  line.text(" ").padded(7, 3).text(" ").padded(2026, 2);
  EXPECT_EQ(Text(line), "0 -42 -9223372036854775808 0000BEEF 0 FFFFFFFFFFFFFFFF 007 26");
}

TEST(RawLine, OverlongTextIsCutButKeepsItsLineEnd) {
  RawLine line;
  const std::string big(kRawLineCapacity * 2, 'x');
  line.text(big.c_str()).text("tail").end();
  EXPECT_EQ(line.size(), kRawLineCapacity);
  EXPECT_EQ(line.data()[kRawLineCapacity - 1], '\n');
  EXPECT_EQ(line.data()[kRawLineCapacity - 2], 'x');
}

TEST(RawLine, HeadMatchesTheLogsLineHead) {
  RawLine line;
  AppendLogHead(line, LocalTime{2026, 12, 6, 16, 9, 48, 123}, 5120);
  EXPECT_EQ(Text(line), "06.12.26 16:09:48.123 (5120): ");
}

TEST(CivilTime, ConvertsSecondsToTheCalendar) {
  const LocalTime epoch = CivilTime(0, 0);
  EXPECT_EQ(epoch.year, 1970);
  EXPECT_EQ(epoch.month, 1);
  EXPECT_EQ(epoch.day, 1);
  const LocalTime leap = CivilTime(951825600 + 3661, 7);  // 2000-02-29 12:00:00 plus 1:01:01
  EXPECT_EQ(leap.year, 2000);
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.hour, 13);
  EXPECT_EQ(leap.minute, 1);
  EXPECT_EQ(leap.second, 1);
  EXPECT_EQ(leap.millisecond, 7);
  const LocalTime newYearsEve = CivilTime(1798761599, 0);  // 2026-12-31 23:59:59
  EXPECT_EQ(newYearsEve.year, 2026);
  EXPECT_EQ(newYearsEve.month, 12);
  EXPECT_EQ(newYearsEve.day, 31);
  EXPECT_EQ(newYearsEve.hour, 23);
  const LocalTime before = CivilTime(-1, 0);  // 1969-12-31 23:59:59
  EXPECT_EQ(before.year, 1969);
  EXPECT_EQ(before.day, 31);
  EXPECT_EQ(before.second, 59);
}

}  // namespace
}  // namespace ostrel::crash
