// Process-wide values of one run: filled by CMinReplicator::ParseParameters, read by the
// run's operations. Written on the main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/app_constants.h"
#include "replication/replication_constants.h"
#include "support/ini_file.h"

// First and last date ("yyyymmdd") of the range of the lot and price change: -b or
// [General] DateBegin, and [General] DateEnd. Empty when not given.
inline std::string dateBegin;
inline std::string dateEnd;

// Integer forms of the range: the lower bound (0 until the change converts dateBegin)
// and the upper bound of the price change (99999999 until converted).
inline std::int32_t dateBeginValue = kRangeLowerBoundStart;
inline std::int32_t dateEndValue = kRangeUpperBoundStart;

// Entries of [ChangeLot] and [ChangePrice] in file order, keys upper-cased.
inline std::vector<IniEntry> changeLotList;
inline std::vector<IniEntry> changePriceList;
