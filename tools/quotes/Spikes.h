#pragma once
// Suspect spikes: bars whose close jumps far from the close before it, measured by the true
// ranges of the bars before them. A single bad print is such a bar; so is a real jump on news,
// which is why they are only listed unless the user asks to drop them.

#include "Bars.h"

#include <vector>

namespace velkor::quotes {

// A bar is suspect when its close lies more than kSpikeFactor times the median true range of
// the kSpikeWindow bars before it away from the close before it.
inline constexpr int kSpikeWindow = 100;
inline constexpr int kSpikeFactor = 20;

struct Spike {
    size_t index = 0;         // in the bars searched
    qint64 minute = 0;        // its opening time
    int close = 0;            // its close
    int previousClose = 0;    // the close of the bar before it
    qint64 medianRange = 0;   // the median true range it was measured by, thousandths (at least 1)
};

// The suspect spikes of `bars` (in time order), in time order. Not checked: the first
// kSpikeWindow bars, which lack the window, and a bar opening more than a day after the bar
// before it (a weekend close or a longer gap moves the price legitimately). A bar that comes
// back near the close before a suspect spike (the end of a bad print) is not one itself; a
// median of 0 counts as one thousandth.
std::vector<Spike> findSpikes(const std::vector<Bar>& bars);

// Removes the bars of `spikes` (found in `bars`) from `bars`.
void dropSpikes(std::vector<Bar>& bars, const std::vector<Spike>& spikes);

}  // namespace velkor::quotes
