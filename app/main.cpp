// Barsync: keeps candle archives from the minute exports, one job per start.
#include "app/min_replicator.h"

int main(int argc, char** argv) {
  // crash reporting is installed here
  return RunBarsync(argc, argv);
}
