// gen_minute_tree: writes a deterministic sample minute export tree, the same on every
// machine, for trying Barsync out and for its end-to-end tests.
//
//   gen_minute_tree MINUTES_DIR               the export tree DATE/CLASS/SECURITY/1.dat
//   gen_minute_tree --legacy ARCHIVE_DIR      a legacy interval directory to convert:
//                                             LEGACY/OLDSEC/{1,60,day}.dat
//   gen_minute_tree --dates                   prints the sample's dates, one a line
//   gen_minute_tree --size SECURITIES DATES MINUTES_DIR
//                                             a larger tree for measurements: SECURITIES
//                                             securities (the five sample shapes in turn,
//                                             named after their shape and number) over
//                                             DATES weekdays from 2 January 2024
//
// The sample: ten trading days across two week ends and two month ends (Jan/Feb and
// Feb/Mar 2024, 29 February included); class TQBR (three shares trading 07:00 to 23:49
// with a lunch gap and scattered missing minutes; LKOH has no export on 20240201),
// class FUTN (SIH4, trading 10:00 past midnight to 02:59 of the next date) and class CETS
// (USD000UTSTOM, 10:00 to 17:59, no time window). Prices move by whole cents.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/calendar.h"
#include "archive/candle.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kDates[] = {20240130, 20240131, 20240201, 20240202, 20240226,
                                   20240227, 20240228, 20240229, 20240301, 20240304};

struct Security {
  const char* cls;
  const char* code;
  int basePriceCents;
  int firstMinute;         // minute of the day of the first record
  int lastMinute;          // minute of the last record, may pass 1440 (next date)
  std::int32_t missingOn;  // a date without export, or 0
};

constexpr int kMinutesPerHour = 60;
constexpr int kMinutesPerDay = 1440;
constexpr Security kSecurities[] = {
    {"TQBR", "SBER", 27150, 7 * kMinutesPerHour, 23 * kMinutesPerHour + 49, 0},
    {"TQBR", "GAZP", 16420, 7 * kMinutesPerHour, 23 * kMinutesPerHour + 49, 0},
    {"TQBR", "LKOH", 712300, 7 * kMinutesPerHour, 23 * kMinutesPerHour + 49, 20240201},
    {"FUTN", "SIH4", 9065000, 10 * kMinutesPerHour, kMinutesPerDay + 2 * kMinutesPerHour + 59, 0},
    {"CETS", "USD000UTSTOM", 9012, 10 * kMinutesPerHour, 17 * kMinutesPerHour + 59, 0},
};
// TQBR's lunch gap (no minutes), and about every kGapEvery-th minute missing, but never a
// quarter hour, so that the bounds of the time windows are always there.
constexpr int kLunchFirst = 13 * kMinutesPerHour;
constexpr int kLunchLast = 13 * kMinutesPerHour + 14;
constexpr unsigned kGapEvery = 11;
constexpr int kKeptEvery = 15;

// A small deterministic generator (the same numbers on every machine).
struct Lcg {
  std::uint32_t state;
  std::uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  int Step(int range) { return static_cast<int>(Next() % (2 * range + 1)) - range; }
};

std::uint32_t Seed(const char* text, std::int32_t date) {
  std::uint32_t h = 2166136261u ^ static_cast<std::uint32_t>(date);
  for (const char* p = text; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
  return h;
}

double Price(int cents) {
  return cents / 100.0;
}

std::vector<Candle> DayMinutes(const Security& s, std::int32_t date) {
  Lcg rng{Seed(s.code, date)};
  int price = s.basePriceCents + rng.Step(s.basePriceCents / 50);
  std::vector<Candle> out;
  for (int m = s.firstMinute; m <= s.lastMinute; ++m) {
    const bool tqbr = std::strcmp(s.cls, "TQBR") == 0;
    const unsigned roll = rng.Next();
    if (tqbr && m >= kLunchFirst && m <= kLunchLast) continue;
    if (roll % kGapEvery == 0 && m % kKeptEvery != 0 && m != s.lastMinute) continue;
    const int minuteOfDay = m % kMinutesPerDay;
    Candle c;
    c.date = m >= kMinutesPerDay ? NextDate(date) : date;
    c.time = (minuteOfDay / kMinutesPerHour) * 10000 + (minuteOfDay % kMinutesPerHour) * 100;
    const int step = std::max(1, price / 2000);
    const int open = price;
    const int close = std::max(1, open + rng.Step(step));
    c.open = Price(open);
    c.close = Price(close);
    c.high = Price(std::max(open, close) + static_cast<int>(rng.Next() % (step + 1)));
    c.low = Price(std::max(1, std::min(open, close) - static_cast<int>(rng.Next() % (step + 1))));
    c.volume = 1 + rng.Next() % 500;
    out.push_back(c);
    price = close;
  }
  return out;
}

bool WriteCandles(const fs::path& file, const std::vector<Candle>& candles) {
  fs::create_directories(file.parent_path());
  std::vector<unsigned char> bytes(candles.size() * kCandleBytes);
  EncodeCandles(candles.data(), candles.size(), bytes.data());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (out) return true;
  std::fprintf(stderr, "%s cannot be written\n", file.string().c_str());
  return false;
}

int WriteTree(const fs::path& root) {
  for (const std::int32_t date : kDates) {
    for (const Security& s : kSecurities) {
      if (s.missingOn == date) continue;
      const fs::path file = root / std::to_string(date) / s.cls / s.code / "1.dat";
      if (!WriteCandles(file, DayMinutes(s, date))) return 1;
    }
  }
  return 0;
}

// SECURITIES x DATES: security i takes the shape of sample security i % 5, its class
// and its code with the number i appended; every weekday from 20240102 is a date.
int WriteSizedTree(int securities, int dates, const fs::path& root) {
  constexpr std::int32_t kFirstDate = 20240102;
  constexpr int kSaturday = 6;
  constexpr int kSunday = 0;
  std::vector<std::int32_t> days;
  for (std::int32_t d = kFirstDate; static_cast<int>(days.size()) < dates; d = NextDate(d))
    if (WeekDay(d) != kSaturday && WeekDay(d) != kSunday) days.push_back(d);
  const int shapes = static_cast<int>(std::size(kSecurities));
  std::vector<std::string> codes;
  for (int i = 0; i < securities; ++i)
    codes.push_back(std::string(kSecurities[i % shapes].code) + std::to_string(i));
  for (const std::int32_t date : days) {
    for (int i = 0; i < securities; ++i) {
      Security s = kSecurities[i % shapes];
      s.code = codes[i].c_str();
      s.missingOn = 0;
      const fs::path file = root / std::to_string(date) / s.cls / s.code / "1.dat";
      if (!WriteCandles(file, DayMinutes(s, date))) return 1;
    }
  }
  return 0;
}

// A legacy interval directory: one-minute candles of two days, 60-minute candles of the
// same days, and day candles of the ten sample dates.
int WriteLegacy(const fs::path& root) {
  const Security& s = kSecurities[4];
  const fs::path dir = root / "LEGACY" / "OLDSEC";
  std::vector<Candle> minutes;
  std::vector<Candle> hours;
  std::vector<Candle> days;
  for (const std::int32_t date : kDates) {
    const std::vector<Candle> day = DayMinutes(s, date);
    Candle total = day.front();
    for (const Candle& m : day) {
      MergeInto(total, m);
      if (date >= kDates[8]) {
        minutes.push_back(m);
        if (hours.empty() || hours.back().date != m.date ||
            hours.back().time / 10000 != m.time / 10000) {
          hours.push_back(m);
          hours.back().time = (m.time / 10000) * 10000;
        } else {
          MergeInto(hours.back(), m);
        }
      }
    }
    total.volume -= day.front().volume;  // MergeInto added the first minute twice
    total.time = 0;
    days.push_back(total);
  }
  if (!WriteCandles(dir / "1.dat", minutes) || !WriteCandles(dir / "60.dat", hours) ||
      !WriteCandles(dir / "day.dat", days))
    return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--dates") == 0) {
    for (const std::int32_t date : kDates) std::printf("%d\n", date);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--legacy") == 0) return WriteLegacy(argv[2]);
  if (argc == 5 && std::strcmp(argv[1], "--size") == 0) {
    const int securities = std::atoi(argv[2]);
    const int dates = std::atoi(argv[3]);
    if (securities > 0 && dates > 0) return WriteSizedTree(securities, dates, argv[4]);
  }
  if (argc == 2 && argv[1][0] != '-') return WriteTree(argv[1]);
  std::fprintf(stderr,
               "usage: gen_minute_tree MINUTES_DIR | --legacy ARCHIVE_DIR | --dates | --size "
               "SECURITIES DATES MINUTES_DIR\n");
  return 1;
}
