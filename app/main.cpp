// Barsync: keeps candle archives from the minute exports, one job per start.
#include "app/min_replicator.h"
#include "crash/crash_reporting.h"

int main(int argc, char** argv) {
  // crash reporting is installed here
  ostrel::se::InstallCrashReporting();
  return RunBarsync(argc, argv);
}
