// Throughput of ApplyMinutes: one trading day of minutes merged into every interval of a
// 16-interval archive, empty and with every interval full (3000 candles each). Items are
// minutes, so items_per_second is minutes merged per second (each minute reaching all 16
// intervals); each iteration also moves the later slots' runs as a real merge does.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/test_archive.h"

namespace {

const std::vector<std::string> kSixteen = {"1",  "2",  "3",  "4",  "5",   "6",   "10",   "12",
                                           "15", "20", "30", "60", "120", "DAY", "WEEK", "MONTH"};
constexpr std::int32_t kTradingDate = 20300107;  // a Monday
constexpr int kSessionOpen = 1000;               // HHMM
constexpr int kSessionClose = 2349;              // HHMM: 830 minutes

// Every interval holds kMaxCandlesPerInterval candles, all older than the trading date.
void FillEveryInterval(test_archive::Archive& archive) {
  Candle* buffer = archive.Buffer();
  int record = kSlotCount;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SetSlot(buffer, slot, SlotCode(buffer, slot), kMaxCandlesPerInterval);
    for (int i = 0; i < kMaxCandlesPerInterval; ++i) {
      buffer[record++] = test_archive::Minute(AddDays(20100103, i), 0, 100, 1);
    }
  }
}

void RunDay(benchmark::State& state, bool full) {
  test_archive::Archive archive(kSixteen);
  if (full) FillEveryInterval(archive);
  const std::vector<Candle> start(archive.Buffer(), archive.Buffer() + kArchiveRecords);
  const auto minutes = test_archive::Minutes(kTradingDate, kSessionOpen, kSessionClose);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(archive.Buffer(), start.data(), start.size() * sizeof(Candle));
    state.ResumeTiming();
    const MergeResult result = archive.Apply(minutes, kTradingDate);
    if (!result.ok) state.SkipWithError("merge failed");
    benchmark::DoNotOptimize(archive.Buffer());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(minutes.size()));
  state.counters["records"] = archive.Records();
}

void BM_ApplyMinutesDayIntoEmptyArchive(benchmark::State& state) {
  RunDay(state, false);
}
void BM_ApplyMinutesDayIntoFullArchive(benchmark::State& state) {
  RunDay(state, true);
}

}  // namespace

BENCHMARK(BM_ApplyMinutesDayIntoEmptyArchive)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ApplyMinutesDayIntoFullArchive)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
