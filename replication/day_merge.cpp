#include "replication/day_merge.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/archive_merge.h"
#include "archive/calendar.h"
#include "archive/minute_candles.h"
#include "replication/instrument_work.h"
#include "replication/previous_night.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

constexpr std::string_view kInsertAction = "insert";
constexpr std::string_view kDeleteAction = "delete";

bool Before(std::int32_t date, std::int32_t time, const Candle& c) {
  return date < c.date || (date == c.date && time < c.time);
}

std::string ErrorLine(const LoadedArchive& archive, const DayInput& day) {
  return "Error replicating archive " + day.minuteFileText + " to " + archive.text;
}

// Gives every interval without a slot the first free one; returns the intervals that
// have a slot now, reporting the others.
std::vector<CMinArch> IntervalsWithSlots(const std::vector<CMinArch>& intervals,
                                         LoadedArchive& archive, const DayInput& day) {
  std::vector<CMinArch> placed;
  Candle* instrument = archive.buffer.data();
  for (const CMinArch& interval : intervals) {
    if (!FindSlot(instrument, interval.m_Interval)) {
      const auto free = FindSlot(instrument, kNoInterval);
      if (!free || free->count != 0) {
        LogError("%s", ErrorLine(archive, day).c_str());
        continue;
      }
      SetSlot(instrument, free->slot, interval.m_Interval, 0);
      LogAt(0, "Archive file %s has no interval '%s': it is added in slot %d", archive.text.c_str(),
            interval.m_Name.c_str(), free->slot);
    }
    placed.push_back(interval);
  }
  return placed;
}

// Week and month candles cannot tell which days they hold: without a day interval, an
// export added again would widen them a second time, and an insert or delete could not
// recompute them (minute intervals cannot stand in: they drop old candles, and a slot of a
// day or more mixes two exports). Such an archive keeps a day interval too (in the first
// free slot), applied after the minute intervals and before the week and month.
std::vector<CMinArch> WithKeptDayInterval(const std::vector<CMinArch>& intervals,
                                          LoadedArchive& archive) {
  bool periods = false;
  for (const CMinArch& interval : intervals) {
    if (interval.m_Interval == kDayInterval) return intervals;
    periods =
        periods || interval.m_Interval == kWeekInterval || interval.m_Interval == kMonthInterval;
  }
  if (!periods) return intervals;
  Candle* instrument = archive.buffer.data();
  if (!FindSlot(instrument, kDayInterval)) {
    const auto free = FindSlot(instrument, kNoInterval);
    if (!free || free->count != 0) return intervals;
    SetSlot(instrument, free->slot, kDayInterval, 0);
    LogAt(1,
          "Archive file %s keeps a day interval in slot %d: week and month candles need it to "
          "tell which days they hold",
          archive.text.c_str(), free->slot);
  }
  std::vector<CMinArch> kept;
  bool dayPlaced = false;
  for (const CMinArch& interval : intervals) {
    if (!dayPlaced && interval.m_Interval < kOneMinuteInterval) {
      kept.emplace_back(kDayInterval, kMaxCandlesPerInterval);
      dayPlaced = true;
    }
    kept.push_back(interval);
  }
  return kept;
}

MinuteBuildResult BuildFor(const CMinArch& minutes, std::int32_t interval, std::int32_t date,
                           std::int32_t sessionStart) {
  MinuteBuildInput input;
  input.minutes = minutes.m_Candles;
  input.count = minutes.m_Count;
  input.interval = interval;
  input.date = date;
  input.sessionStart = sessionStart;
  AggregationState scratch;
  return BuildMinuteCandles(input, scratch);
}

bool SameVolume(double a, double b) {
  return std::fabs(a - b) <= kValueTolerance * std::max(1.0, std::fabs(a));
}

// True when the stored candles of the newest date hold no more than the previous export's
// part after midnight: their volume is that part's (prices cannot tell: a price change
// rounds the export's minutes, not the archive's candles).
bool HoldsNightAlone(const std::vector<Candle>& stored, const Candle& night) {
  if (stored.empty()) return false;
  for (const Candle& c : stored) {
    if (!SameVolume(c.volume, night.volume)) return false;
  }
  return true;
}

Candle Folded(const std::vector<Candle>& minutes) {
  Candle c = minutes.front();
  for (std::size_t k = 1; k < minutes.size(); ++k) MergeInto(c, minutes[k]);
  return c;
}

// How far apart the prices of two candles are (the largest of the four differences).
double PriceDistance(const Candle& a, const Candle& b) {
  return std::max({std::fabs(a.open - b.open), std::fabs(a.high - b.high), std::fabs(a.low - b.low),
                   std::fabs(a.close - b.close)});
}

// What a walk over first stretches does after one.
enum class StretchVerdict { kFound, kGoOn, kStop };

// Walks the first stretches of minutes (the first k of them folded into one candle, for
// k from 1), shortest first, until visit(stretch) finds one or stops the walk.
template <typename Visit>
bool AnyFirstStretch(const std::vector<Candle>& minutes, Visit visit) {
  Candle stretch;
  for (std::size_t k = 0; k < minutes.size(); ++k) {
    if (k == 0)
      stretch = minutes.front();
    else
      MergeInto(stretch, minutes[k]);
    const StretchVerdict verdict = visit(stretch);
    if (verdict != StretchVerdict::kGoOn) return verdict == StretchVerdict::kFound;
  }
  return false;
}

// True when some first stretch of minutes has the given volume and satisfies test.
template <typename Test>
bool AnyFirstStretchOfVolume(double volume, const std::vector<Candle>& minutes, Test test) {
  return AnyFirstStretch(minutes, [&](const Candle& stretch) {
    return SameVolume(volume, stretch.volume) && test(stretch) ? StretchVerdict::kFound
                                                               : StretchVerdict::kGoOn;
  });
}

// A stored day with the volume of the previous export's part after midnight may instead
// be a first stretch of this export of the same volume (that export never added: the tree
// holds it all the same). True when some first stretch of ownDay has the stored volume and
// prices strictly nearer the stored candle's than the part's; prices equally near (or
// volumes that no first stretch shares) leave it to the part.
bool FirstStretchIsNearer(const Candle& stored, const Candle& night,
                          const std::vector<Candle>& ownDay) {
  const double toNight = PriceDistance(stored, night);
  return AnyFirstStretchOfVolume(stored.volume, ownDay, [&](const Candle& stretch) {
    return PriceDistance(stored, stretch) < toNight;
  });
}

// True when volume is that of the first k one-minute candles of minutes (base added),
// for some k from 1 to last.
bool PrefixVolume(double volume, double base, const std::vector<Candle>& minutes,
                  std::size_t last) {
  double sum = base;
  for (std::size_t k = 0; k < std::min(last, minutes.size()); ++k) {
    sum += minutes[k].volume;
    if (SameVolume(volume, sum)) return true;
  }
  return false;
}

// How far an archive's price may lie from the same price read again from an export. A
// price change divides the archive's prices exactly and rounds the export's minutes down
// to their digits, at every change: the export's price may lie below the stored one by a
// few steps of its own decimals (a large share of a price of a few steps), and otherwise
// by no more than the binary form of a decimal price leaves. A wider share would take a
// part after midnight of a near price for a stretch of the same volume, and replace it.
constexpr double kStretchPriceShare = 1e-9;
constexpr double kRoundingSteps = 3;
constexpr int kMostPriceDecimals = 8;

// The step of the prices of minutes: one unit of the most decimals any of them is written
// with (up to 8).
double PriceStep(const std::vector<Candle>& minutes) {
  int decimals = 0;
  for (const Candle& c : minutes) {
    for (const double price : {c.open, c.high, c.low, c.close}) {
      double scale = std::pow(10.0, decimals);
      // A millionth of a step: what the binary form of a decimal price leaves.
      while (decimals < kMostPriceDecimals &&
             std::fabs(price * scale - std::round(price * scale)) > 1e-6) {
        ++decimals;
        scale *= 10;
      }
    }
  }
  return std::pow(10.0, -decimals);
}

bool NearPrice(double stored, double minutes, double step) {
  const double gap = std::fabs(stored - minutes);
  if (gap <= kStretchPriceShare * std::max(std::fabs(stored), std::fabs(minutes))) return true;
  return minutes <= stored && gap < kRoundingSteps * step;
}

// True when stored is a first stretch of minutes: the volume of the first k of them, and
// their prices (the first one's open, the high and low of all k, the k-th one's close).
// A volume alone can be a coincidence: a part after midnight that the tree no longer
// gives may hold by chance the volume of a first stretch of the next export, and taking it
// for that stretch would replace it.
bool IsFirstStretch(const Candle& stored, const std::vector<Candle>& minutes) {
  const double step = PriceStep(minutes);
  return AnyFirstStretchOfVolume(stored.volume, minutes, [&](const Candle& stretch) {
    return NearPrice(stored.open, stretch.open, step) &&
           NearPrice(stored.high, stretch.high, step) && NearPrice(stored.low, stretch.low, step) &&
           NearPrice(stored.close, stretch.close, step);
  });
}

// True when stored may end with a first stretch of minutes added after what it held
// before: the stretch has less volume, the stored close, and a range inside the stored
// one. A price change since that add divides the stored prices exactly and rounds the
// export's down to its decimals: the export's may lie below by a few of its steps.
bool MayEndWithFirstStretch(const Candle& stored, const std::vector<Candle>& minutes) {
  const double allowance = kRoundingSteps * PriceStep(minutes);
  const auto notAbove = [&](double exported, double kept) {
    return exported <= kept + kValueTolerance * std::max(1.0, std::fabs(kept));
  };
  const auto notFarBelow = [&](double exported, double kept) { return kept - exported < allowance; };
  return AnyFirstStretch(minutes, [&](const Candle& stretch) {
    if (!(stretch.volume < stored.volume) || SameVolume(stretch.volume, stored.volume))
      return StretchVerdict::kStop;
    return notAbove(stretch.close, stored.close) && notFarBelow(stretch.close, stored.close) &&
                   notAbove(stretch.high, stored.high) && notFarBelow(stretch.low, stored.low)
               ? StretchVerdict::kFound
               : StretchVerdict::kGoOn;
  });
}

// True when stored is base (a part after midnight folded into one candle, or nothing)
// followed by a first stretch of minutes whose last minute was still forming when it was
// added: an export written during the session can end in a minute that holds part of its
// final volume. Its volume then lies strictly between two first stretches', its open is
// base's (else the first minute's), its close inside the forming minute's final range,
// and its high and low between those of the stretch before that minute and with it.
bool EndsInAFormingMinute(const Candle& stored, const std::optional<Candle>& base,
                          const std::vector<Candle>& minutes) {
  const double step = PriceStep(minutes);
  const double allowance = kRoundingSteps * step;
  const auto tolerance = [](double price) {
    return kValueTolerance * std::max(1.0, std::fabs(price));
  };
  std::optional<Candle> before = base;
  double sum = base ? base->volume : 0;
  for (const Candle& minute : minutes) {
    const double next = sum + minute.volume;
    if (stored.volume > sum && !SameVolume(stored.volume, sum) && stored.volume < next &&
        !SameVolume(stored.volume, next)) {
      Candle with = minute;
      if (before) {
        with = *before;
        MergeInto(with, minute);
      }
      // The stored prices are the exact ones, the export's may be rounded down since.
      const bool highOk = stored.high < with.high + allowance &&
                          (!before || stored.high >= before->high - tolerance(stored.high));
      const bool lowOk = stored.low >= with.low - tolerance(stored.low) &&
                         (!before || stored.low < before->low + allowance);
      const bool closeOk = stored.close >= minute.low - tolerance(stored.close) &&
                           stored.close < minute.high + allowance;
      return NearPrice(stored.open, with.open, step) && highOk && lowOk && closeOk;
    }
    if (stored.volume < sum) return false;
    sum = next;
    if (before)
      MergeInto(*before, minute);
    else
      before = minute;
  }
  return false;
}

// True when stored opens strictly nearer the first of minutes than the part after midnight
// night (always when there is no such part).
bool OpensNearerTheExport(const Candle& stored, const std::vector<Candle>& night,
                          const std::vector<Candle>& minutes) {
  if (minutes.empty()) return false;
  if (night.empty()) return true;
  return std::fabs(stored.open - minutes.front().open) <
         std::fabs(stored.open - night.front().open);
}

// The stored day of an export that grew since it was added holds an earlier part of it (a
// first stretch of its minutes) and, when the previous export was added, that export's
// part after midnight before it. True when stored holds that part: its volume is the
// part's plus a first stretch's and not a first stretch's alone; when the volumes cannot
// tell (the export was sent again with other values), its open is nearer the part's.
bool StoredDayHoldsNight(const Candle& stored, const std::vector<Candle>& night,
                         const std::vector<Candle>& ownDay) {
  const Candle part = Folded(night);
  const bool with = PrefixVolume(stored.volume, part.volume, ownDay, ownDay.size());
  const bool without = PrefixVolume(stored.volume, 0, ownDay, ownDay.size());
  // The part and a stretch ending in a minute then still forming may have by chance the
  // volume of a whole first stretch alone: the prices tell (the day opens with the part,
  // strictly nearer its open than the export's, and is no first stretch by its prices).
  // A first stretch ending in a forming minute alone opens with the export: not the part.
  if (!with && !ownDay.empty() &&
      std::fabs(stored.open - part.open) < std::fabs(stored.open - ownDay.front().open) &&
      EndsInAFormingMinute(stored, part, ownDay) && !IsFirstStretch(stored, ownDay))
    return true;
  if (with != without) return with;
  if (ownDay.empty()) return stored.volume > part.volume;
  // Equally near (a price that did not move): the part is kept, as the stored day holds it
  // whenever the previous export was added before this one. Volumes of zero cannot tell
  // either: a day that holds no more volume than the part may still hold it.
  return stored.volume >= part.volume - kValueTolerance &&
         std::fabs(stored.open - part.open) <= std::fabs(stored.open - ownDay.front().open);
}

double VolumeOf(const std::vector<Candle>& minutes) {
  double sum = 0;
  for (const Candle& c : minutes) sum += c.volume;
  return sum;
}

// True when the stored day of the export's own date holds all of its minutes before
// midnight (after the previous export's part, or alone): what an earlier add of it that
// had passed midnight left. A date stored without them (never added, or only the previous
// night) was not added with this export, and a newer date's day that happens to hold the
// volume of a first stretch of its night is that date's own export.
bool StoredDayHoldsOwnEvening(const std::optional<Candle>& day, const std::vector<Candle>& night,
                              const std::vector<Candle>& ownDay) {
  if (ownDay.empty()) return true;
  if (!day) return false;
  const double own = VolumeOf(ownDay);
  return SameVolume(day->volume, own) ||
         (!night.empty() && SameVolume(day->volume, Folded(night).volume + own));
}

// True when a minute run's newest candle lies in the minutes' part after midnight (from
// first to end, dated the next day) while the run holds nothing of their first date from
// their first candle on: a delete of that date took its candles and left its part after
// midnight, which only this export can have given the next date so early.
bool DeletedBeforeItsNight(const Candle* run, int count, const Candle& first, const Candle& end) {
  const Candle& last = run[count - 1];
  if (end.date == first.date || last.date != end.date || Before(end.date, end.time, last))
    return false;
  for (int k = count - 1; k >= 0 && run[k].date >= first.date; --k) {
    if (run[k].date == first.date && run[k].time >= first.time) return false;
  }
  return true;
}

// True when date is stored as a delete of it leaves it (nothing, or only the previous
// export's part after midnight) and the next date's stored day is a first stretch of the
// export's part after midnight (ownNight, all of it too, or one ending in a minute then
// still forming) that is not a first stretch of that date's own export in the minute tree
// (ownDayOf; an older date added after a newer one leaves the newer day alone). False when
// ownDayOf is unset: nothing can tell.
bool DeleteLeftItsNight(const std::optional<Candle>& day, const std::vector<Candle>& night,
                        const Candle& next, const std::vector<Candle>& ownNight,
                        const OwnDayMinutes& ownDayOf) {
  if (day && (night.empty() || !HoldsNightAlone({*day}, Folded(night)))) return false;
  if (!ownDayOf) return false;
  if (!PrefixVolume(next.volume, 0, ownNight, ownNight.size()) &&
      !EndsInAFormingMinute(next, std::nullopt, ownNight))
    return false;
  const std::vector<Candle> nextOwn = ownDayOf(next.date);
  return !PrefixVolume(next.volume, 0, nextOwn, nextOwn.size());
}

// With no candle that holds the whole date (no day interval, no slot of a day or more),
// the finest minute interval that holds candles of date before the slot of the export's
// first minute tells whether the archive holds the previous export's part after midnight:
// those candles have that part's volume. Nothing when no interval holds such candles (the
// part, if held, shares the export's first slot).
std::optional<bool> MinuteRunHoldsNight(const Candle* instrument,
                                        const std::vector<std::int32_t>& codes, std::int32_t date,
                                        const Candle& night, const std::vector<Candle>& ownDay) {
  if (ownDay.empty()) return std::nullopt;
  const int first = MinuteOfDay(ownDay.front().time);
  for (const std::int32_t code : codes) {
    if (code >= kMinutesPerDay) break;
    const auto place = FindSlot(instrument, code);
    if (!place || place->count == 0) continue;
    double volume = 0;
    bool any = false;
    for (int k = place->count - 1; k >= 0; --k) {
      const Candle& c = instrument[place->firstRecord + k];
      if (c.date < date) break;
      if (c.date != date || MinuteOfDay(c.time) + code > first / code * code) continue;
      volume += c.volume;
      any = true;
    }
    if (any) return SameVolume(volume, night.volume);
  }
  return std::nullopt;
}

// With no candle that holds the whole of date, the finest minute interval that holds all
// its candles of date (its run starts before date, or has room it never dropped) gives
// what a day candle would hold: those candles folded. Nothing when none does.
std::optional<Candle> MinuteRunDay(const Candle* instrument, const std::vector<std::int32_t>& codes,
                                   std::int32_t date) {
  for (const std::int32_t code : codes) {
    if (code >= kMinutesPerDay) break;
    const auto place = FindSlot(instrument, code);
    if (!place || place->count == 0) continue;
    const Candle* run = instrument + place->firstRecord;
    if (run[0].date >= date && place->count >= kMaxCandlesPerInterval) continue;
    std::vector<Candle> ofDate;
    for (int k = place->count - 1; k >= 0 && run[k].date >= date; --k) {
      if (run[k].date == date) ofDate.insert(ofDate.begin(), run[k]);
    }
    if (!ofDate.empty()) return Folded(ofDate);
  }
  return std::nullopt;
}

// The finest minute interval (under a day) whose newest candle is the slot of the export's
// first minute (of date) shows an earlier add of the export when that candle is a first
// stretch of the export's minutes of that slot, whole or ending in a minute then still
// forming: whatever else the day holds (a part after midnight the tree may no longer
// give) lies in the slots before.
bool FirstSlotHoldsAnEarlierPart(const Candle* instrument, const std::vector<std::int32_t>& codes,
                                 std::int32_t date, const std::vector<Candle>& ownDay) {
  if (ownDay.empty()) return false;
  for (const std::int32_t code : codes) {
    if (code >= kMinutesPerDay) break;
    const auto place = FindSlot(instrument, code);
    if (!place || place->count == 0) continue;
    const Candle& last = instrument[place->firstRecord + place->count - 1];
    const std::int32_t slot = SlotStart(ownDay.front().time, code);
    if (last.date != date || last.time != slot) return false;
    std::vector<Candle> inSlot;
    for (const Candle& c : ownDay) {
      if (SlotStart(c.time, code) == slot) inSlot.push_back(c);
    }
    return IsFirstStretch(last, inSlot) || EndsInAFormingMinute(last, std::nullopt, inSlot);
  }
  return false;
}

// The stored candle that holds the whole of date: the day interval's, else that of a
// minute slot of a day or more. Nothing when none is stored.
std::optional<Candle> StoredWholeDay(const Candle* instrument,
                                     const std::vector<std::int32_t>& codes, std::int32_t date) {
  std::vector<std::int32_t> holders{kDayInterval};
  for (const std::int32_t code : codes) {
    if (code >= kMinutesPerDay) holders.push_back(code);
  }
  for (const std::int32_t code : holders) {
    const auto place = FindSlot(instrument, code);
    if (!place) continue;
    for (int k = place->count - 1; k >= 0; --k) {
      const Candle& c = instrument[place->firstRecord + k];
      if (c.date == date) return c;
      if (c.date < date) break;
    }
  }
  return std::nullopt;
}

// True when the stored day of date holds the previous export's part after midnight night
// (not empty) beside an earlier part of this export: told by the day candle, else by the
// finest minute interval's candles before the export's first slot, else (the part shares
// that slot) by that interval's candles of date folded, as a day candle tells it.
bool DayHoldsNight(const Candle* instrument, const std::vector<std::int32_t>& codes,
                   std::int32_t date, const std::vector<Candle>& night,
                   const std::vector<Candle>& ownDay) {
  if (const std::optional<Candle> held = StoredWholeDay(instrument, codes, date))
    return StoredDayHoldsNight(*held, night, ownDay);
  if (const std::optional<bool> run =
          MinuteRunHoldsNight(instrument, codes, date, Folded(night), ownDay))
    return *run;
  const std::optional<Candle> runDay = MinuteRunDay(instrument, codes, date);
  return runDay && StoredDayHoldsNight(*runDay, night, ownDay);
}

// The part of night the replaced day keeps: its minutes before the export's first one (an
// export that starts inside that part replaces the rest).
std::vector<Candle> NightBefore(std::vector<Candle> night, const std::vector<Candle>& ownDay) {
  if (ownDay.empty()) return night;
  const Candle& first = ownDay.front();
  std::erase_if(night, [&](const Candle& c) { return !Before(c.date, c.time, first); });
  return night;
}

// The candles of date that the finest minute interval (under a day) holds in its slots
// before the export's first minute: what the day holds before the export, whatever the
// minute tree gives now. Nothing when that interval holds none (or there is none).
std::vector<Candle> FinestRunBeforeExport(const Candle* instrument,
                                          const std::vector<std::int32_t>& codes, std::int32_t date,
                                          const std::vector<Candle>& ownDay) {
  std::vector<Candle> before;
  if (ownDay.empty()) return before;
  for (const std::int32_t code : codes) {
    if (code >= kMinutesPerDay) break;
    const auto place = FindSlot(instrument, code);
    if (!place || place->count == 0) continue;
    const std::int32_t slot = SlotStart(ownDay.front().time, code);
    for (int k = place->count - 1; k >= 0; --k) {
      const Candle& c = instrument[place->firstRecord + k];
      if (c.date < date) break;
      if (c.date == date && c.time < slot) before.insert(before.begin(), c);
    }
    return before;
  }
  return before;
}

// What an add that replaces a day held in part keeps in every slot it replaces: what the
// finest minute interval holds of the date before the export, else (no such interval, or
// its slot is shared with the export) the previous export's part after midnight as the
// tree gives it when the day holds it, else nothing. The archive's own candles come first:
// the tree may give that part again with other prices or fewer minutes that still fit the
// day's volume, and the replaced slot would then disagree with the finer ones.
std::vector<Candle> KeptBeforeExport(const Candle* instrument,
                                     const std::vector<std::int32_t>& codes, std::int32_t date,
                                     std::vector<Candle> night, const std::vector<Candle>& ownDay) {
  std::vector<Candle> held = FinestRunBeforeExport(instrument, codes, date, ownDay);
  if (!held.empty()) return held;
  if (!night.empty() && DayHoldsNight(instrument, codes, date, night, ownDay))
    return NightBefore(std::move(night), ownDay);
  return {};
}

// The time window of the class whose export file is minuteFile (.../DATE/CLASS/SEC/1.dat).
std::optional<MinuteWindow> ClassWindow(const RunSettings& settings,
                                        const std::filesystem::path& minuteFile) {
  const std::string cls = support::NarrowPath(minuteFile.parent_path().parent_path().filename());
  const auto setting = settings.classTimeSettings_.find(cls);
  if (setting == settings.classTimeSettings_.end()) return std::nullopt;
  const auto begin = settings.timeBegins_.find(setting->second);
  const auto end = settings.timeEnds_.find(setting->second);
  MinuteWindow window;
  window.timeBegin = begin != settings.timeBegins_.end() ? begin->second : 0;
  window.timeEnd = end != settings.timeEnds_.end() ? end->second : 0;
  return window;
}

}  // namespace

StoredPartAnswer StoredPartOfDay(const Candle* instrument, const std::vector<CMinArch>& intervals,
                                 const CMinArch& minutes, std::int32_t date,
                                 std::int32_t sessionStart,
                                 const std::function<std::vector<Candle>()>& previousNight,
                                 const OwnDayMinutes& nextOwnDay) {
  std::vector<std::int32_t> codes;
  for (const CMinArch& interval : intervals) {
    if (interval.m_Interval >= kOneMinuteInterval) codes.push_back(interval.m_Interval);
  }
  std::sort(codes.begin(), codes.end());
  // The minutes' one-minute candles of date (ownDay), then of the next date.
  const MinuteBuildResult ones = BuildFor(minutes, kOneMinuteInterval, date, sessionStart);
  std::vector<Candle> ownDay;
  std::vector<Candle> ownNight;
  if (ones.ok) {
    for (const Candle& c : ones.candles) (c.date == date ? ownDay : ownNight).push_back(c);
  }
  // An earlier part of this export is stored: the day is replaced as an insert does, and a
  // slot that also holds the previous export's part after midnight keeps that part.
  const auto heldInPart = [&]() -> StoredPartAnswer {
    std::vector<Candle> night = previousNight ? previousNight() : std::vector<Candle>{};
    return {StoredPart::kHeldInPart,
            KeptBeforeExport(instrument, codes, date, std::move(night), ownDay)};
  };
  std::int32_t newestDate = 0;
  std::vector<Candle> newest;  // the stored candles that hold the newest stored date
  for (const std::int32_t code : codes) {
    const auto place = FindSlot(instrument, code);
    if (!place || place->count == 0) continue;
    const Candle& last = instrument[place->firstRecord + place->count - 1];
    const MinuteBuildResult built = BuildFor(minutes, code, date, sessionStart);
    if (!built.ok || built.candles.empty()) continue;
    const Candle& first = built.candles.front();
    const Candle& end = built.candles.back();
    const bool inFirstSlot = last.date == first.date && last.time == first.time;
    const bool inLastSlot = last.date == end.date && last.time == end.time;
    // A slot of a day or more cannot tell: it may hold the previous export's part after
    // midnight besides this export's start, or the next export's day besides its end.
    if (inFirstSlot || (inLastSlot && code >= kMinutesPerDay)) {
      newestDate = std::max(newestDate, last.date);
      newest.push_back(last);
      continue;
    }
    if (Before(last.date, last.time, first)) return {StoredPart::kBeforeDay, {}};
    if (DeletedBeforeItsNight(instrument + place->firstRecord, place->count, first, end))
      return {StoredPart::kHeldInPart, {}};
    // The stored run ends in the slot the minutes end in: that slot grew when it holds less.
    const bool grew = inLastSlot ? last.volume < end.volume * (1 - kValueTolerance)
                                 : Before(last.date, last.time, end);
    return grew ? heldInPart() : StoredPartAnswer{StoredPart::kNothingNew, {}};
  }
  const auto days = FindSlot(instrument, kDayInterval);
  if (days && days->count > 0) {
    newestDate = instrument[days->firstRecord + days->count - 1].date;
    newest = {instrument[days->firstRecord + days->count - 1]};
  }
  if (!ones.ok || ones.candles.empty()) return {StoredPart::kBeforeDay, {}};
  const bool passes = !ownNight.empty();
  if (newestDate == date) {
    std::vector<Candle> night = previousNight ? previousNight() : std::vector<Candle>{};
    const std::optional<Candle> held = StoredWholeDay(instrument, codes, date);
    if (!night.empty() && HoldsNightAlone(newest, Folded(night)) &&
        !(held && FirstStretchIsNearer(*held, Folded(night), ownDay)))
      return {StoredPart::kBeforeDay, {}};
    // Minutes that pass midnight replace the day only when it is a first stretch of them
    // (after the previous export's part): otherwise the stored day is taken for that
    // part, which the tree no longer shows as it was stored, and the minutes extend it.
    // With minute intervals alone, the finest one tells what the day holds.
    const std::optional<Candle> runDay = held ? held : MinuteRunDay(instrument, codes, date);
    const bool earlierPartInFirstSlot =
        FirstSlotHoldsAnEarlierPart(instrument, codes, date, ownDay);
    if (passes && !earlierPartInFirstSlot) {
      const double part = night.empty() ? 0 : Folded(night).volume;
      const std::optional<Candle>& stored = runDay;
      if (!stored) return {StoredPart::kBeforeDay, {}};
      const bool alone = IsFirstStretch(*stored, ownDay);
      const bool afterNight =
          !night.empty() && PrefixVolume(stored->volume, part, ownDay, ownDay.size());
      // A whole first stretch alone that could as well be the night and a stretch ending
      // in a forming minute (prices that cannot tell them apart): replacing it with or
      // without the night may lose the night or count it twice.
      if (alone && !afterNight && !night.empty() &&
          EndsInAFormingMinute(*stored, Folded(night), ownDay))
        return {StoredPart::kAloneOrAfterNight, {}};
      if (!alone && !afterNight) {
        // An earlier add that ended in a minute still forming, after the night or alone
        // (a day that opens nearer the night than the export holds that night; one that
        // opens strictly nearer the export does not, whatever a price step allows).
        if (!night.empty() && !OpensNearerTheExport(*stored, night, ownDay) &&
            EndsInAFormingMinute(*stored, Folded(night), ownDay))
          return {StoredPart::kHeldInPart, night};
        if (OpensNearerTheExport(*stored, night, ownDay) &&
            EndsInAFormingMinute(*stored, std::nullopt, ownDay))
          return {StoredPart::kHeldInPart, FinestRunBeforeExport(instrument, codes, date, ownDay)};
        // Extending a day that ends with a stretch of this export would count it twice.
        if (MayEndWithFirstStretch(*stored, ownDay)) return {StoredPart::kCannotTell, {}};
        return {StoredPart::kBeforeDay, {}};
      }
    }
    // An earlier part of this export is stored: the day is replaced, keeping the previous
    // export's part after midnight when the stored day holds it.
    return {StoredPart::kHeldInPart,
            KeptBeforeExport(instrument, codes, date, std::move(night), ownDay)};
  }
  // The newest stored day is the date the minutes pass into.
  if (passes && newestDate == ownNight.front().date) {
    const std::optional<Candle> stored = StoredWholeDay(instrument, codes, newestDate);
    if (!stored) return {StoredPart::kNothingNew, {}};
    std::vector<Candle> night = previousNight ? previousNight() : std::vector<Candle>{};
    const std::optional<Candle> day = StoredWholeDay(instrument, codes, date);
    // A grown export that had passed midnight when it was added first: the newest stored
    // day holds its part after midnight, a first stretch of the new one (all of it:
    // nothing new).
    if (StoredDayHoldsOwnEvening(day, night, ownDay)) {
      if (!PrefixVolume(stored->volume, 0, ownNight, ownNight.size() - 1) &&
          !EndsInAFormingMinute(*stored, std::nullopt, ownNight))
        return {StoredPart::kNothingNew, {}};
      if (night.empty() || !day || !StoredDayHoldsNight(*day, night, ownDay)) night.clear();
      return {StoredPart::kHeldInPart, night, true};
    }
    // The date was deleted since (its stored part after midnight stays with the next date):
    // the export is stored as a first add of it would store it, its part after midnight
    // in place of the one left.
    if (!DeleteLeftItsNight(day, night, *stored, ownNight, nextOwnDay))
      return {StoredPart::kNothingNew, {}};
    if (!day) night.clear();
    return {StoredPart::kHeldInPart, night, true};
  }
  return {StoredPart::kBeforeDay, {}};
}

void MergeDay(const RunSettings& settings, LoadedArchive& archive, const DayInput& day) {
  if (archive.damaged) return;
  std::vector<CMinArch> intervals =
      IntervalsWithSlots(WithKeptDayInterval(settings.intervals_, archive), archive, day);
  const std::int32_t sessionStart = settings.sessionStartHour_.empty() ? 0 : settings.sessionStart_;
  std::string_view action = day.action;
  bool replacesHeldPart = false;
  AggregationState state;
  bool nextDayIsOwnNight = false;
  if (action != kInsertAction && action != kDeleteAction) {
    std::function<std::vector<Candle>()> previousNight;
    if (!day.minuteFileText.empty()) {
      previousNight = [&]() {
        const std::filesystem::path file = support::PathFromNarrow(day.minuteFileText);
        return PreviousExportNightMinutes(file, day.date, ClassWindow(settings, file),
                                          sessionStart);
      };
    }
    OwnDayMinutes ownDayOf;
    if (!day.minuteFileText.empty()) {
      ownDayOf = [&](std::int32_t date) {
        const std::filesystem::path file = support::PathFromNarrow(day.minuteFileText);
        return ExportOwnDayMinutes(file, date, ClassWindow(settings, file), sessionStart);
      };
    }
    StoredPartAnswer answer = StoredPartOfDay(archive.buffer.data(), intervals, day.minutes,
                                              day.date, sessionStart, previousNight, ownDayOf);
    if (answer.part == StoredPart::kCannotTell) {
      LogError(
          "Archive file %s: the stored day %d holds minutes the minute tree no longer gives "
          "and may end with a part of %s added before: the add is refused (insert the "
          "previous date again from its export passing midnight, then add %d again; an "
          "insert of %d stores the day without those minutes)",
          archive.text.c_str(), day.date, day.minuteFileText.c_str(), day.date, day.date);
      LogError("%s", ErrorLine(archive, day).c_str());
      return;
    }
    if (answer.part == StoredPart::kAloneOrAfterNight) {
      LogError(
          "Archive file %s: the stored day %d may be a first part of %s alone or the previous "
          "export's part after midnight and a first part of it: the add is refused (an insert "
          "of the previous date and then of %d stores both as the tree gives them)",
          archive.text.c_str(), day.date, day.minuteFileText.c_str(), day.date);
      LogError("%s", ErrorLine(archive, day).c_str());
      return;
    }
    if (answer.part == StoredPart::kHeldInPart) {
      LogAt(1, "Archive file %s already holds a part of %d: the day is replaced",
            archive.text.c_str(), day.date);
      action = kInsertAction;
      replacesHeldPart = true;
      state.keptNight = std::move(answer.keptNight);
      nextDayIsOwnNight = answer.nextDayIsOwnNight;
    }
    state.minutesAfterStored = answer.part == StoredPart::kBeforeDay;
  }
  if (!day.minuteFileText.empty()) {
    state.exportOwnDay = [&, nextDayIsOwnNight](std::int32_t date,
                                                std::int32_t after) -> std::optional<Candle> {
      // The next export's own part was never stored beside this export's night: the day
      // of that date becomes the grown night alone.
      if (nextDayIsOwnNight) return std::nullopt;
      const std::filesystem::path file = support::PathFromNarrow(day.minuteFileText);
      return ExportOwnDay(file, date, after, ClassWindow(settings, file), sessionStart);
    };
    // An add that replaces a day held in part has told already what of the previous
    // export's part after midnight the day holds (keptNight): a stored day of that part's
    // volume is an earlier part of this export then, and the insert must not take it for
    // that part.
    if (!replacesHeldPart) {
      state.previousExportNight = [&](std::int32_t date) {
        const std::filesystem::path file = support::PathFromNarrow(day.minuteFileText);
        return PreviousExportNightMinutes(file, date, ClassWindow(settings, file), sessionStart);
      };
    }
  }
  const ApplyRequest request{day.minutes, day.date, action, archive.text, 0};
  const MergeResult result =
      MergeDayIntoArchive(archive.buffer.data(), intervals, request, sessionStart, state);
  if (!result.ok) LogError("%s", ErrorLine(archive, day).c_str());
}
