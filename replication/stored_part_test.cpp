// How an add of a date that passes midnight stands to what an archive of calendar
// intervals only already stores, when minute volumes of 1 make many stretches share a volume.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "archive/test_archive.h"
#include "replication/day_merge.h"

namespace {

using test_archive::Minute;
using test_archive::Minutes;

constexpr std::int32_t kD0 = 20240129;
constexpr std::int32_t kD1 = 20240130;
constexpr std::int32_t kD2 = 20240131;

const std::vector<std::vector<std::string>> kDayAloneAndWithPeriods = {
    {"day"}, {"day", "week", "month"}};

// A night session's export of date: 19:00 to 23:59, then 00:00 to `end` (HHMM) of the next
// morning, every record dated `date` as the exporter writes them; volume 1 a minute.
std::vector<Candle> NightExport(std::int32_t date, int end, bool flat = false, double volume = 1) {
  std::vector<Candle> out = Minutes(date, 1900, 2359);
  const std::vector<Candle> night = Minutes(date, 0, end, 500);
  out.insert(out.end(), night.begin(), night.end());
  for (Candle& c : out) {
    if (flat) c.open = c.high = c.low = c.close = 100;
    c.volume = volume;
  }
  return out;
}

// The part after midnight of an export, as the tree's previous export gives it.
std::vector<Candle> AfterMidnight(const std::vector<Candle>& exportMinutes, std::int32_t dated) {
  std::vector<Candle> out;
  for (Candle c : exportMinutes) {
    if (c.time >= 190000) continue;
    c.date = dated;
    out.push_back(c);
  }
  return out;
}

// A plain add of an export later than everything stored, as the add does it.
bool Add(test_archive::Archive& archive, const std::vector<Candle>& minutes, std::int32_t date) {
  AggregationState state;
  state.minutesAfterStored = true;
  return archive.Apply(minutes, date, state).ok;
}

StoredPartAnswer Ask(test_archive::Archive& archive, const std::vector<Candle>& minutes,
                     std::int32_t date, const std::vector<Candle>& previousNight,
                     const OwnDayMinutes& nextOwnDay = {}) {
  CMinArch series(kOneMinuteInterval, 0);
  series.m_Candles = const_cast<Candle*>(minutes.data());
  series.m_Count = static_cast<std::int32_t>(minutes.size());
  return StoredPartOfDay(
      archive.Buffer(), archive.Intervals(), series, date, 0, [&] { return previousNight; },
      nextOwnDay);
}

// The minute tree as the add reads it: no export of any later date.
std::vector<Candle> NoExport(std::int32_t) {
  return {};
}

// A night kept as the archive's finest minute interval gives it (3-minute candles
// stand for 1-minute ones): the same volume, open and first time, nothing at or after
// the export's first minute.
void ExpectSameNight(const std::vector<Candle>& kept, const std::vector<Candle>& night) {
  ASSERT_FALSE(kept.empty());
  double keptVolume = 0, nightVolume = 0;
  for (const Candle& c : kept) keptVolume += c.volume;
  for (const Candle& c : night) nightVolume += c.volume;
  EXPECT_EQ(keptVolume, nightVolume);
  EXPECT_EQ(kept.front().open, night.front().open);
  EXPECT_EQ(kept.front().time, night.front().time);
  EXPECT_LE(kept.back().time, night.back().time);
}

// A newer date added first (its short evening: 31 minutes) holds the volume of the older
// export's first 31 minutes after midnight: the older date added afterwards is not an
// earlier add of that export and must leave the newer date's day as it is.
TEST(StoredPartOfDay, AnOlderExportLeavesANewerDayThatOnlySharesTheVolumeOfItsNight) {
  for (const bool previousAdded : {false, true}) {
    SCOPED_TRACE(previousAdded ? "previous export added" : "no previous export");
    test_archive::Archive archive({"day", "week", "month"});
    const std::vector<Candle> previous = NightExport(kD0, 200);
    if (previousAdded) {
      ASSERT_TRUE(Add(archive, previous, kD0));
    }
    ASSERT_TRUE(Add(archive, Minutes(kD2, 1900, 1930), kD2));
    const StoredPartAnswer answer =
        Ask(archive, NightExport(kD1, 200), kD1,
            previousAdded ? AfterMidnight(previous, kD1) : std::vector<Candle>{});
    EXPECT_EQ(answer.part, StoredPart::kNothingNew);
    // The same with the tree read: the newer date's stored day is a first stretch of its
    // own export there.
    const std::vector<Candle> newer = Minutes(kD2, 1900, 1930);
    const StoredPartAnswer told =
        Ask(archive, NightExport(kD1, 200), kD1,
            previousAdded ? AfterMidnight(previous, kD1) : std::vector<Candle>{},
            [&](std::int32_t date) { return date == kD2 ? newer : std::vector<Candle>{}; });
    EXPECT_EQ(told.part, StoredPart::kNothingNew);
  }
}

// The case the rule is for: the export of kD1 was added when it had reached 00:30, and is
// added again grown to 02:00; with and without the previous export's night in kD1.
TEST(StoredPartOfDay, AnEarlierAddOfTheSameExportPastMidnightIsHeldInPart) {
  for (const bool previousAdded : {false, true}) {
    SCOPED_TRACE(previousAdded ? "previous export added" : "no previous export");
    test_archive::Archive archive({"day", "week", "month"});
    const std::vector<Candle> previous = NightExport(kD0, 200);
    if (previousAdded) {
      ASSERT_TRUE(Add(archive, previous, kD0));
    }
    ASSERT_TRUE(Add(archive, NightExport(kD1, 30), kD1));
    const std::vector<Candle> night =
        previousAdded ? AfterMidnight(previous, kD1) : std::vector<Candle>{};
    const StoredPartAnswer answer = Ask(archive, NightExport(kD1, 200), kD1, night);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    EXPECT_EQ(answer.keptNight.size(), night.size());
  }
}

// Prices that never move and a volume of 1 a minute: the stored day (previous night and a
// first stretch) has the volume of a longer first stretch alone and the same open as both;
// the previous night, which the day holds, must be kept.
TEST(StoredPartOfDay, AFlatPriceKeepsThePreviousNightOfAGrownExport) {
  test_archive::Archive archive({"day"});
  const std::vector<Candle> previous = NightExport(kD0, 130, true);
  ASSERT_TRUE(Add(archive, previous, kD0));
  std::vector<Candle> grown = Minutes(kD1, 1900, 2300);
  for (Candle& c : grown) c.open = c.high = c.low = c.close = 100;
  const std::vector<Candle> first(grown.begin(), grown.begin() + 120);
  ASSERT_TRUE(Add(archive, first, kD1));
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  const StoredPartAnswer answer = Ask(archive, grown, kD1, night);
  EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
  EXPECT_EQ(answer.keptNight.size(), night.size());
}

// Minutes of zero volume: every stretch has the volume of every other, so volumes tell
// nothing; the stored day opens with the previous night, which is kept (a slot of a day or
// more holds it as the day does).
TEST(StoredPartOfDay, ZeroVolumesKeepThePreviousNightOfAnExportGrownPastMidnight) {
  for (const char* name : {"1441", "day"}) {
    SCOPED_TRACE(name);
    test_archive::Archive archive({name});
    const std::vector<Candle> previous = NightExport(kD0, 200, false, 0);
    ASSERT_TRUE(Add(archive, previous, kD0));
    ASSERT_TRUE(Add(archive, NightExport(kD1, 30, false, 0), kD1));
    const std::vector<Candle> night = AfterMidnight(previous, kD1);
    const StoredPartAnswer answer = Ask(archive, NightExport(kD1, 200, false, 0), kD1, night);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    EXPECT_EQ(answer.keptNight.size(), night.size());
  }
}

// A delete of kD1 takes every candle dated kD1 and leaves the export's part after midnight
// in kD2. Adding kD1's export again (grown or as it was) must store it as a first add
// would, whatever intervals tell: it is no earlier add of the same export ("nothing new")
// but a date that is missing.
TEST(StoredPartOfDay, AnExportAddedAgainAfterItsDateWasDeletedIsStored) {
  for (const char* names : {"day", "day week month", "1 day", "5 day month", "1441 day"}) {
    for (const int storedEnd : {30, 200}) {
      SCOPED_TRACE(std::string(names) + (storedEnd == 200 ? ", same export" : ", grown export"));
      std::vector<std::string> list;
      for (std::string rest = names; !rest.empty();) {
        const auto space = rest.find(' ');
        list.push_back(rest.substr(0, space));
        rest = space == std::string::npos ? "" : rest.substr(space + 1);
      }
      test_archive::Archive archive(list);
      ASSERT_TRUE(Add(archive, NightExport(kD1, storedEnd), kD1));
      ASSERT_TRUE(archive.Apply({}, kD1, 0, "delete").ok);
      const StoredPartAnswer answer = Ask(archive, NightExport(kD1, 200), kD1, {}, NoExport);
      EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
      EXPECT_TRUE(answer.keptNight.empty());
    }
  }
}

// As above, with the export added while its last minute after midnight was still forming
// (a part of its volume): the night left in kD2 is a first stretch of the grown one.
TEST(StoredPartOfDay, ANightEndingInAFormingMinuteLeftByADeleteIsStoredAgain) {
  std::vector<Candle> first = NightExport(kD1, 30, false, 2);
  first.back().volume = 1;
  first.back().close = first.back().open;
  for (const std::vector<std::string>& list : kDayAloneAndWithPeriods) {
    SCOPED_TRACE(list.size() == 1 ? "day" : "day, week, month");
    test_archive::Archive archive(list);
    ASSERT_TRUE(Add(archive, first, kD1));
    ASSERT_TRUE(archive.Apply({}, kD1, 0, "delete").ok);
    const StoredPartAnswer answer =
        Ask(archive, NightExport(kD1, 200, false, 2), kD1, {}, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
  }
}

// With the previous export added first, the delete of kD1 takes its part after midnight
// too; the export added again is stored, and an export of kD1 that had not grown keeps
// being refused while kD1 is still stored.
TEST(StoredPartOfDay, OnlyADeletedDateMakesTheSameExportNewAgain) {
  for (const bool minutes : {false, true}) {
    SCOPED_TRACE(minutes ? "1 day" : "day");
    test_archive::Archive archive(minutes ? std::vector<std::string>{"1", "day"}
                                          : std::vector<std::string>{"day"});
    const std::vector<Candle> previous = NightExport(kD0, 200);
    ASSERT_TRUE(Add(archive, previous, kD0));
    ASSERT_TRUE(Add(archive, NightExport(kD1, 200), kD1));
    const std::vector<Candle> night = AfterMidnight(previous, kD1);
    EXPECT_EQ(Ask(archive, NightExport(kD1, 200), kD1, night, NoExport).part,
              StoredPart::kNothingNew);
    ASSERT_TRUE(archive.Apply({}, kD1, 0, "delete").ok);
    EXPECT_EQ(Ask(archive, NightExport(kD1, 200), kD1, night, NoExport).part,
              StoredPart::kHeldInPart);
    // A night stored longer than the export's (the export shrank) is not its part.
    EXPECT_EQ(Ask(archive, NightExport(kD1, 100), kD1, night, NoExport).part,
              StoredPart::kNothingNew);
  }
}

// The previous export (kD0, whose night runs to 02:00: 121 minutes) is in the tree but
// was never added; kD1's export was added when it held its first 121 minutes, the volume
// of that night. Its prices are the export's, not the night's: the stored day is an
// earlier part of this export, replaced by the grown one (not extended, which would count
// the first part twice). Had the previous export been added, the same volume with the
// night's prices is that night, which the grown export extends.
TEST(StoredPartOfDay, AFirstPartWithTheVolumeOfANeverAddedPreviousNightIsReplaced) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  const std::vector<Candle> grown = NightExport(kD1, 200);
  ASSERT_EQ(night.size(), 121U);
  for (const char* name : {"day", "1441"}) {
    SCOPED_TRACE(name);
    test_archive::Archive never({name});
    ASSERT_TRUE(Add(never, std::vector<Candle>(grown.begin(), grown.begin() + 121), kD1));
    const StoredPartAnswer answer = Ask(never, grown, kD1, night, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    EXPECT_TRUE(answer.keptNight.empty());

    test_archive::Archive added({name});
    ASSERT_TRUE(Add(added, previous, kD0));
    EXPECT_EQ(Ask(added, grown, kD1, night, NoExport).part, StoredPart::kBeforeDay);
  }
}

// The previous export (kD0, night to 02:00: 121 minutes) was added, then replaced in the
// tree by one cut before midnight: the tree no longer gives the night that kD1's stored
// day holds. That night's volume is by chance that of the first 121 minutes of kD1's
// export, but its prices are not theirs: it is the part before kD1's evening, which the
// add extends (replacing it would lose it). A stored first stretch of the same volume
// with the export's own prices is an earlier add of it, replaced by the grown export.
TEST(StoredPartOfDay, ANightTheTreeNoLongerGivesIsNotTakenForAStretchOfItsVolume) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> grown = NightExport(kD1, 200);
  ASSERT_EQ(AfterMidnight(previous, kD1).size(), 121U);
  for (const std::vector<std::string>& list : kDayAloneAndWithPeriods) {
    SCOPED_TRACE(list.size() == 1 ? "day" : "day, week, month");
    test_archive::Archive night(list);
    ASSERT_TRUE(Add(night, previous, kD0));
    EXPECT_EQ(Ask(night, grown, kD1, {}, NoExport).part, StoredPart::kBeforeDay);

    test_archive::Archive stretch(list);
    ASSERT_TRUE(Add(stretch, std::vector<Candle>(grown.begin(), grown.begin() + 121), kD1));
    const StoredPartAnswer answer = Ask(stretch, grown, kD1, {}, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    EXPECT_TRUE(answer.keptNight.empty());
  }
}

// As above, but kD1's first hour was added too, after the night and before kD0 was
// inserted again cut before midnight: the stored day is that night and the hour, and
// nothing in the archive tells it from a night alone that ends as the hour does. Extending
// it would count the hour twice, and replacing it would lose the night: the add is refused.
// A night alone that ends at other prices than every first stretch is still extended.
TEST(StoredPartOfDay, ADayThatMayEndWithAStretchOfTheExportBesideALostNightIsLeftAlone) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> grown = NightExport(kD1, 200);
  const std::vector<Candle> hour(grown.begin(), grown.begin() + 60);
  for (const std::vector<std::string>& list : kDayAloneAndWithPeriods) {
    SCOPED_TRACE(list.size() == 1 ? "day" : "day, week, month");
    test_archive::Archive both(list);
    ASSERT_TRUE(Add(both, previous, kD0));
    ASSERT_TRUE(Add(both, hour, kD1));
    EXPECT_EQ(Ask(both, grown, kD1, {}, NoExport).part, StoredPart::kCannotTell);
    // the tree still giving that night tells the two apart
    EXPECT_EQ(Ask(both, grown, kD1, AfterMidnight(previous, kD1), NoExport).part,
              StoredPart::kHeldInPart);

    test_archive::Archive night(list);
    ASSERT_TRUE(Add(night, previous, kD0));
    EXPECT_EQ(Ask(night, grown, kD1, {}, NoExport).part, StoredPart::kBeforeDay);
  }
}

// The night and kD1's first 121 minutes share the volume, and their prices lie within a
// few tenths of a percent of each other, but none is the same: the stored day is that
// night, extended, not a stretch to replace (which would lose the night).
TEST(StoredPartOfDay, ANightOfNearPricesIsNotTakenForAStretchOfItsVolume) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  std::vector<Candle> grown = Minutes(kD1, 1900, 2359, 501.25);
  const std::vector<Candle> after = Minutes(kD2, 0, 200, 700);
  grown.insert(grown.end(), after.begin(), after.end());
  for (Candle& c : grown) c.date = kD1;
  test_archive::Archive night({"day"});
  ASSERT_TRUE(Add(night, previous, kD0));
  EXPECT_EQ(Ask(night, grown, kD1, {}, NoExport).part, StoredPart::kBeforeDay);
}

// An export written during the session may end in a minute still forming: kD1's export was
// added up to 20:00, whose minute then held half its final volume and a close inside its
// final range. The grown export replaces that part (extending would count the first hour
// twice and a half minute more), keeping the previous export's night when the day holds it.
TEST(StoredPartOfDay, AnEarlierAddEndingInAFormingMinuteIsHeldInPart) {
  const std::vector<Candle> previous = NightExport(kD0, 200, false, 2);
  const std::vector<Candle> grown = NightExport(kD1, 200, false, 2);
  std::vector<Candle> first(grown.begin(), grown.begin() + 61);
  first.back().volume = 1;
  first.back().close = first.back().open + 0.25;
  for (const bool previousAdded : {false, true}) {
    SCOPED_TRACE(previousAdded ? "after the previous night" : "alone");
    test_archive::Archive archive({"day", "week", "month"});
    if (previousAdded) {
      ASSERT_TRUE(Add(archive, previous, kD0));
    }
    ASSERT_TRUE(Add(archive, first, kD1));
    const std::vector<Candle> night =
        previousAdded ? AfterMidnight(previous, kD1) : std::vector<Candle>{};
    const StoredPartAnswer answer = Ask(archive, grown, kD1, night, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    EXPECT_EQ(answer.keptNight.size(), night.size());
  }
}

// Prices that never move, and a night whose volume is odd beside an evening of even
// minute volumes: night and a first hour have a volume strictly between two first
// stretches of the evening alone, as a forming minute would leave. The stored day is
// the night and that whole hour: the grown export keeps the night.
TEST(StoredPartOfDay, AWholeFirstStretchAfterTheNightIsNotTakenForAFormingOneAlone) {
  const std::vector<Candle> previous = NightExport(kD0, 200, true, 1);
  const std::vector<Candle> grown = NightExport(kD1, 200, true, 2);
  test_archive::Archive archive({"day", "week", "month"});
  ASSERT_TRUE(Add(archive, previous, kD0));
  ASSERT_TRUE(Add(archive, std::vector<Candle>(grown.begin(), grown.begin() + 60), kD1));
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  const StoredPartAnswer answer = Ask(archive, grown, kD1, night, NoExport);
  EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
  EXPECT_EQ(answer.keptNight.size(), night.size());
}

// Prices that never move: the night (121) and a first half hour ending in a forming
// minute (61 + 1 of 2) hold 182, the volume of the evening's first 91 minutes alone. Taken
// for those alone, the night would be lost; taken for the night and a stretch, a stretch
// added alone would be counted with a night never stored. The add is refused.
TEST(StoredPartOfDay, AStretchAloneThatMayBeTheNightAndAFormingOneIsLeftAlone) {
  const std::vector<Candle> previous = NightExport(kD0, 200, true, 1);
  const std::vector<Candle> grown = NightExport(kD1, 200, true, 2);
  std::vector<Candle> first(grown.begin(), grown.begin() + 31);
  first.back().volume = 1;
  test_archive::Archive archive({"day", "week", "month"});
  ASSERT_TRUE(Add(archive, previous, kD0));
  ASSERT_TRUE(Add(archive, first, kD1));
  EXPECT_EQ(Ask(archive, grown, kD1, AfterMidnight(previous, kD1), NoExport).part,
            StoredPart::kAloneOrAfterNight);
}

// Minute intervals only, none of a day or more: kD1's export was added when it held its
// first minute, so every interval's newest candle is the slot it starts in and none can
// tell. No candle holds the whole day; the finest interval still shows the previous
// export's part after midnight before that slot, and the grown export keeps it (the
// 1439-minute slot of kD1 holds it and is replaced).
TEST(StoredPartOfDay, MinuteIntervalsAloneShowTheNightAGrownExportKeeps) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> grown = Minutes(kD1, 1900, 2100);
  test_archive::Archive archive({"3", "1439"});
  ASSERT_TRUE(Add(archive, previous, kD0));
  ASSERT_TRUE(Add(archive, std::vector<Candle>(grown.begin(), grown.begin() + 1), kD1));
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  const StoredPartAnswer answer = Ask(archive, grown, kD1, night, NoExport);
  EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
  ExpectSameNight(answer.keptNight, night);
}

// The same, with the export grown past midnight: the add must replace the day from the
// finest interval's candles (appending would count the stored first minute twice), keeping
// the night; a day that holds the night alone still takes the export after it.
TEST(StoredPartOfDay, MinuteIntervalsAloneShowAnEarlierPartOfAnExportGrownPastMidnight) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> grown = NightExport(kD1, 45);
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  for (const std::vector<std::string>& codes :
       std::vector<std::vector<std::string>>{{"3", "30", "180", "1439"}, {"1", "1439"}}) {
    SCOPED_TRACE(codes.front());
    test_archive::Archive archive(codes);
    ASSERT_TRUE(Add(archive, previous, kD0));
    EXPECT_EQ(Ask(archive, grown, kD1, night, NoExport).part, StoredPart::kBeforeDay);
    ASSERT_TRUE(Add(archive, std::vector<Candle>(grown.begin(), grown.begin() + 1), kD1));
    const StoredPartAnswer answer = Ask(archive, grown, kD1, night, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    ExpectSameNight(answer.keptNight, night);
  }
}

// A 1439-minute interval alone holds the previous export's part after midnight and a first
// stretch of the export in one slot: no finer interval tells them apart, and the slot's
// volume is the part's and a stretch's, so a grown add keeps the part.
TEST(StoredPartOfDay, ASlotSharedByTheNightAndAFirstStretchKeepsTheNight) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> grown = Minutes(kD1, 1900, 2100);
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  test_archive::Archive archive({"1439"});
  ASSERT_TRUE(Add(archive, previous, kD0));
  ASSERT_TRUE(Add(archive, std::vector<Candle>(grown.begin(), grown.begin() + 2), kD1));
  const StoredPartAnswer answer = Ask(archive, grown, kD1, night, NoExport);
  EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
  EXPECT_EQ(answer.keptNight.size(), night.size());
}

// A 1-minute interval tells the earlier add (its newest candle lies inside the export), yet
// the 1439-minute slot the add replaces whole also holds the previous export's part after
// midnight: the answer keeps that part.
TEST(StoredPartOfDay, AnIntervalThatTellsStillKeepsTheNightForASharedSlot) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  const std::vector<Candle> grown = NightExport(kD1, 45);
  test_archive::Archive archive({"1", "1439"});
  ASSERT_TRUE(Add(archive, previous, kD0));
  ASSERT_TRUE(Add(archive, std::vector<Candle>(grown.begin(), grown.begin() + 30), kD1));
  const StoredPartAnswer answer = Ask(archive, grown, kD1, night, NoExport);
  EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
  EXPECT_EQ(answer.keptNight.size(), night.size());
}

// The same archive when the tree no longer gives that part as it was stored (the previous
// export removed, or sent again with other volumes, other prices or a shorter night): the
// 1-minute candles before the export are what the day holds, and the 1439-minute slot
// keeps them, not the tree's version (the intervals of the archive would disagree).
TEST(StoredPartOfDay, ASharedSlotKeepsWhatTheFinestIntervalHoldsBeforeTheExport) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> night = AfterMidnight(previous, kD1);
  std::vector<Candle> otherVolumes = night;
  for (Candle& c : otherVolumes) c.volume = 3;
  std::vector<Candle> otherPrices = night;
  for (Candle& c : otherPrices) {
    c.open += 7;
    c.high += 7;
    c.low += 7;
    c.close += 7;
  }
  const std::vector<Candle> shorter(night.begin(), night.begin() + 60);
  const std::vector<Candle> grown = NightExport(kD1, 45);
  for (const std::vector<Candle>& tree :
       {std::vector<Candle>{}, otherVolumes, otherPrices, shorter}) {
    SCOPED_TRACE(tree.size());
    test_archive::Archive archive({"1", "1439"});
    ASSERT_TRUE(Add(archive, previous, kD0));
    ASSERT_TRUE(Add(archive, std::vector<Candle>(grown.begin(), grown.begin() + 30), kD1));
    const StoredPartAnswer answer = Ask(archive, grown, kD1, tree, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    ASSERT_EQ(answer.keptNight.size(), night.size());
    for (std::size_t k = 0; k < night.size(); ++k) {
      EXPECT_EQ(answer.keptNight[k].time, night[k].time);
      EXPECT_EQ(answer.keptNight[k].open, night[k].open);
      EXPECT_EQ(answer.keptNight[k].volume, night[k].volume);
    }
  }
}

// Minute intervals (alone, or beside a day candle), the previous export gone from the tree:
// the finest interval's newest candle, in the export's first slot, is an earlier add of the
// export that ended in a minute then still forming. The part after midnight the day holds
// lies in earlier slots and cannot be the stretch: the grown add past midnight replaces the
// stretch (extending it would count the forming minute twice).
TEST(StoredPartOfDay, AFormingStretchInTheFirstSlotIsHeldInPartBesideALostNight) {
  const std::vector<Candle> previous = NightExport(kD0, 200);
  const std::vector<Candle> grown = NightExport(kD1, 45);
  for (const std::vector<std::string>& codes :
       std::vector<std::vector<std::string>>{{"5", "60"}, {"1"}, {"3", "day"}, {"5", "1440"}}) {
    SCOPED_TRACE(codes.back());
    test_archive::Archive archive(codes);
    ASSERT_TRUE(Add(archive, previous, kD0));
    const std::size_t whole = codes.front() == "1" ? 0 : 1;
    std::vector<Candle> first(grown.begin(), grown.begin() + whole + 1);
    first.back().volume /= 2;
    first.back().high = first.back().open;
    first.back().close = first.back().open;
    ASSERT_TRUE(Add(archive, first, kD1));
    EXPECT_EQ(Ask(archive, grown, kD1, {}, NoExport).part, StoredPart::kHeldInPart);
    // A stretch that is no first stretch of the export's first slot leaves the day alone.
    test_archive::Archive other(codes);
    ASSERT_TRUE(Add(other, previous, kD0));
    std::vector<Candle> foreign = first;
    for (Candle& c : foreign) c.low -= 5;
    ASSERT_TRUE(Add(other, foreign, kD1));
    EXPECT_NE(Ask(other, grown, kD1, {}, NoExport).part, StoredPart::kHeldInPart);
  }
}

// The previous export's part after midnight (volume 10 at 90) and a stretch ending in a
// forming minute (6 and 2) hold 18, the volume of the export's first three minutes alone
// (6 each at 100): the open and low of the stored day are the part's, not the stretch's,
// so the grown add keeps the part, with a day candle or a shared minute slot alike.
TEST(StoredPartOfDay, APartAndAFormingStretchWithTheVolumeOfAWholeStretchKeepThePart) {
  std::vector<Candle> previous = Minutes(kD0, 1900, 1900, 95);
  Candle nightMinute = Minute(kD1, 0, 90, 10);
  nightMinute.high = 91;
  nightMinute.low = 89;
  std::vector<Candle> grown;
  for (const int hhmm : {1900, 1901, 1902}) {
    Candle c = Minute(kD1, hhmm * 100, 100, 6);
    c.high = 101;
    c.low = 99;
    grown.push_back(c);
  }
  std::vector<Candle> first(grown.begin(), grown.begin() + 2);
  first.back().volume = 2;
  first.back().high = 100.5;
  first.back().low = 99.5;
  for (const std::vector<std::string>& codes :
       std::vector<std::vector<std::string>>{{"day"}, {"1439"}, {"1", "1440"}}) {
    SCOPED_TRACE(codes.back());
    test_archive::Archive archive(codes);
    std::vector<Candle> withNight = previous;  // the exporter dates the night as its file
    withNight.push_back(nightMinute);
    withNight.back().date = kD0;
    ASSERT_TRUE(Add(archive, withNight, kD0));
    ASSERT_TRUE(Add(archive, first, kD1));
    const StoredPartAnswer answer = Ask(archive, grown, kD1, {nightMinute}, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    EXPECT_EQ(answer.keptNight.size(), 1u);
  }
}

// A never added previous part after midnight (night), an export of `length` minutes from
// 19:00 (volume each, passing midnight when asked), its first `stored` minutes added with
// the last one still forming: the grown add replaces that stretch and keeps no part.
void ExpectAFormingStretchGainsNoNight(const std::vector<Candle>& night, int length, double volume,
                                       bool pastMidnight, std::size_t stored,
                                       const std::vector<std::vector<std::string>>& sets) {
  std::vector<Candle> grown;
  for (int m = 0; m < length; ++m)
    grown.push_back(Minute(kD1, 190000 + m / 60 * 10000 + m % 60 * 100, 100, volume));
  if (pastMidnight) grown.push_back(Minute(kD2, 0, 100, volume));
  std::vector<Candle> first(grown.begin(), grown.begin() + static_cast<std::ptrdiff_t>(stored));
  first.back().volume = volume / 2;
  for (const std::vector<std::string>& codes : sets) {
    SCOPED_TRACE(codes.back());
    test_archive::Archive archive(codes);
    ASSERT_TRUE(Add(archive, first, kD1));
    const StoredPartAnswer answer = Ask(archive, grown, kD1, night, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
    EXPECT_TRUE(answer.keptNight.empty());
  }
}

// The previous export lies in the tree but was never added, and its part after midnight
// opens a price step below the export: a first stretch ending in a forming minute alone
// must not be taken for that part and such a stretch (it opens with the export), so the
// grown add keeps no part the day never held: with minutes of the part that add up to a
// whole stretch's volume, and (seed 57457 of the model test) with the grown export
// passing midnight.
TEST(StoredPartOfDay, AFormingStretchAloneDoesNotGainANightNeverAdded) {
  std::vector<Candle> light;
  for (int m = 0; m <= 30; ++m) light.push_back(Minute(kD1, m * 100, 99.9, 0.1));
  ExpectAFormingStretchGainsNoNight(light, 121, 1, false, 30,
                                    {{"day"}, {"3", "30", "180", "1439"}});
  std::vector<Candle> heavy;
  for (int m = 0; m <= 3; ++m) heavy.push_back(Minute(kD1, m * 100, 99.9, 30));
  ExpectAFormingStretchGainsNoNight(heavy, 301, 20, true, 200, {{"day"}, {"day", "week", "month"}});
}

// A price change divides the archive's prices exactly and rounds the export's minutes down
// to two decimals: at prices near 0.10, one step is 10 % of the price. The first stretch
// stored before the change is still an earlier add of the grown export, replaced by it
// (extending it would count the stretch twice).
TEST(StoredPartOfDay, AFirstStretchStoredBeforeAPriceChangeIsStillTakenForIt) {
  std::vector<Candle> stored = NightExport(kD1, 200);
  std::vector<Candle> grown = stored;
  for (std::size_t k = 0; k < stored.size(); ++k) {
    const double price = stored[k].open + 5;  // 105, 106, ...: after the change 0.105, 0.106, ...
    for (double* p : {&stored[k].open, &stored[k].high, &stored[k].low, &stored[k].close})
      *p = price / 1000;
    for (double* p : {&grown[k].open, &grown[k].high, &grown[k].low, &grown[k].close})
      *p = std::floor(price / 10) / 100;  // rounded down to two decimals
  }
  for (const bool periods : {false, true}) {
    SCOPED_TRACE(periods ? "day, week, month" : "day");
    test_archive::Archive archive(periods ? std::vector<std::string>{"day", "week", "month"}
                                          : std::vector<std::string>{"day"});
    ASSERT_TRUE(Add(archive, std::vector<Candle>(stored.begin(), stored.begin() + 121), kD1));
    const StoredPartAnswer answer = Ask(archive, grown, kD1, {}, NoExport);
    EXPECT_EQ(answer.part, StoredPart::kHeldInPart);
  }
}

}  // namespace
