// What the aggregation of one instrument's day shares between the calls of ApplyMinutes
// for the intervals of that instrument, and the inputs of one call.
//
// The caller (the replication of one instrument) creates one AggregationState per
// instrument and day and passes it to every ApplyMinutes call for that instrument, in the
// order of the run's interval list (minute intervals before day, month, week). A fresh
// state is what keeps one instrument's day out of another instrument's calendar candles.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/candle.h"
#include "archive/min_arch.h"

// Progress of the day buffer.
enum class DayState : int {
  kFilling = 0,    // record 0 (the day of the given date) is being filled
  kSecondDay = 1,  // the minutes passed midnight: record 1 (the next day) is being filled
  kTwoDays = 2,    // finished with two day candles
  kOneDay = -1,    // finished with one day candle
};

struct AggregationState {
  // Record 0: the day candle of the given date; record 1: the day candle of the next
  // calendar date when the minutes ran past midnight. Time fields stay 0.
  Candle day[2] = {};
  DayState state = DayState::kFilling;
  // The day buffer as built from the minutes taken in this run alone, before the
  // archive's earlier candles of the same day were folded into record 0: what widens the
  // week and month candles, which already hold that earlier part.
  Candle taken[2] = {};
  // True while the last minute-interval append took no minute: the calendar appends then
  // change nothing.
  bool noNewMinutes = true;
  // Set by the caller when every minute of the day is known to be later than everything
  // the archive stores: a minute interval's first new candle that falls in the slot of its
  // last stored candle then widens that candle (a slot of a day or more holds the previous
  // export's part after midnight too). Otherwise such a candle is refused as not new.
  bool minutesAfterStored = false;
  // True once the day buffer was filled from this instrument's minutes (by a minute
  // interval, or by the first calendar interval when no minute interval is configured).
  bool dayBufferFilled = false;
  // The day interval's candles as they were before an insert or delete changed them: what
  // tells whether the day interval holds every day of a week or month.
  std::vector<Candle> daysBeforeEdit;
  bool daysBeforeEditKept = false;
  // The whole archive as it was before an insert changed it: what an N-minute interval's
  // edge slots keep is read from its finer intervals there.
  std::vector<Candle> archiveBeforeInsert;
  bool archiveBeforeInsertKept = false;
  // For an insert: the day candle that the export of a date gives that date (up to its
  // own passage of midnight) from its minutes later than a time (HHMMSS), read from the
  // minute export tree; unset where the tree is not known. Asked for when the inserted
  // minutes pass midnight into a stored date that no minute interval holds any more, with
  // the time of the last inserted minute.
  std::function<std::optional<Candle>(std::int32_t date, std::int32_t after)> exportOwnDay;
  // For an insert: the one-minute candles that the newest export before date gives date
  // after its passage of midnight, read from the minute export tree; unset where the tree
  // is not known, and for an add that replaces a day held in part (the add has told what
  // of that part the day holds: keptNight). Asked for when no minute interval holds the
  // inserted date's stored part.
  std::function<std::vector<Candle>(std::int32_t date)> previousExportNight;
  // For an add that replaces a day held in part which no minute interval could tell: the
  // one-minute candles of the previous export's part after midnight in the replaced date,
  // which the stored candles hold besides the earlier part of this export. The insert
  // keeps them: in the day candle, and in each minute interval's first replaced slot.
  std::vector<Candle> keptNight;

  // Zeroes the day buffer and starts filling record 0.
  void ResetDay() {
    day[0] = day[1] = taken[0] = taken[1] = Candle{};
    state = DayState::kFilling;
  }
  bool Filling() const { return state == DayState::kFilling || state == DayState::kSecondDay; }
  // Filling is over: two day candles when record 1 was started, else one.
  // Remembers the day buffer as the minutes of this run made it.
  void KeepTaken() {
    taken[0] = day[0];
    taken[1] = day[1];
  }
  void FinishDay() {
    if (state == DayState::kSecondDay) state = DayState::kTwoDays;
    if (state == DayState::kFilling) state = DayState::kOneDay;
  }
  int DayCandles() const { return state == DayState::kTwoDays ? 2 : 1; }
};

// The inputs of one ApplyMinutes call besides the target interval.
struct ApplyRequest {
  // The day's minute records (one minute export file, possibly narrowed), in file order.
  const CMinArch& minutes;
  // The trading date D, YYYYMMDD.
  std::int32_t date;
  // The run's action word, lower case: "add", "addlast", "insert", "delete", ...
  std::string_view action;
  // Text of the archive's path, for messages.
  std::string_view displayName;
  // Candles of the target's slot and of all later slots in the instrument buffer.
  int tailCount;
};
