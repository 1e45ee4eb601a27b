#include "Resample.h"

#include <algorithm>

namespace velkor::quotes {

std::vector<Bar> resample(const std::vector<Bar>& source, int minutes) {
    std::vector<Bar> out;
    for (const Bar& b : source) {
        const qint64 start = floorDiv(b.minute, minutes) * minutes;
        if (out.empty() || out.back().minute != start) {
            out.push_back(b);
            out.back().minute = start;
            continue;
        }
        Bar& a = out.back();
        a.high = std::max(a.high, b.high);
        a.low = std::min(a.low, b.low);
        a.close = b.close;
    }
    return out;
}

bool lastBucketForming(const std::vector<Bar>& source, int minutes, int sourceBarSize) {
    if (source.empty()) return false;
    const qint64 last = source.back().minute;
    const qint64 start = floorDiv(last, minutes) * minutes;
    return last < start + minutes - sourceBarSize;
}

}  // namespace velkor::quotes
