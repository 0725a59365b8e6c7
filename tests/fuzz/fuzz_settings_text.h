// Barsync.ini texts the fuzz targets share.
#pragma once

namespace fuzz {

// Every interval an archive can hold, and the time windows of the sample classes: TQBR
// trades 10:00 to 18:45, FUTN from 19:00 past midnight to 02:00, CETS has no window.
inline constexpr char kAllIntervalsIni[] =
    "[Intervals]\n"
    "1=3000\n2=3000\n3=3000\n4=3000\n5=3000\n6=3000\n10=3000\n12=3000\n15=3000\n"
    "20=3000\n30=3000\n60=3000\n120=3000\nday=3000\nweek=3000\nmonth=3000\n"
    "[TimeSettings_Day]\nTimeBegin=10:00:00\nTimeEnd=18:45:00\nClasses=TQBR\n"
    "[TimeSettings_Night]\nTimeBegin=19:00:00\nTimeEnd=02:00:00\nClasses=FUTN\n";

}  // namespace fuzz
