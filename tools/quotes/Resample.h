#pragma once
// Bars of a longer timeframe from the source bars: a bar's bucket is its server time of day
// floored to a multiple of the timeframe.

#include "Bars.h"

#include <vector>

namespace velkor::quotes {

// open = first open, high = max, low = min, close = last close; a bucket without a source
// bar gives no bar. The bar's local shift is that of its first source bar. `source` is in
// time order.
std::vector<Bar> resample(const std::vector<Bar>& source, int minutes);

// True when the last bucket of `source` was still forming when the data ends: the source
// has no bar starting in the bucket's last slot of `sourceBarSize` minutes.
bool lastBucketForming(const std::vector<Bar>& source, int minutes, int sourceBarSize);

}  // namespace velkor::quotes
