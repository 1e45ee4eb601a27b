#include "Spikes.h"

#include <algorithm>
#include <array>

namespace velkor::quotes {

namespace {

// The true ranges of the last kSpikeWindow bars, kept sorted: each bar moves one value in and
// one out of the sorted array (a shift of at most kSpikeWindow values) instead of sorting it.
class RangeWindow {
public:
    bool full() const { return sorted_.size() == size_t(kSpikeWindow); }
    // The median, at least 1: the mean of the two middle values, rounded down.
    qint64 median() const {
        const size_t mid = sorted_.size() / 2;
        return std::max<qint64>(1, (qint64(sorted_[mid - 1]) + sorted_[mid]) / 2);
    }
    void push(int range) {
        if (full()) sorted_.erase(std::lower_bound(sorted_.begin(), sorted_.end(), ring_[next_]));
        ring_[next_] = range;
        next_ = (next_ + 1) % kSpikeWindow;
        sorted_.insert(std::upper_bound(sorted_.begin(), sorted_.end(), range), range);
    }

private:
    std::array<int, kSpikeWindow> ring_{};
    size_t next_ = 0;
    std::vector<int> sorted_;
};

qint64 distance(qint64 a, qint64 b) { return a > b ? a - b : b - a; }

}  // namespace

std::vector<Spike> findSpikes(const std::vector<Bar>& bars) {
    static_assert(kSpikeWindow % 2 == 0, "the median is the mean of the two middle ranges");
    std::vector<Spike> spikes;
    RangeWindow window;
    bool previousSuspect = false;
    int closeBeforeSuspect = 0;
    for (size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        const bool checked = window.full() && b.minute - bars[i - 1].minute <= kMinutesPerDay;
        bool suspect = false;
        if (checked) {
            const qint64 limit = window.median() * kSpikeFactor;
            const int previous = bars[i - 1].close;
            suspect = distance(b.close, previous) > limit &&
                      !(previousSuspect && distance(b.close, closeBeforeSuspect) <= limit);
            if (suspect) {
                spikes.push_back({i, b.minute, b.close, previous, window.median()});
                closeBeforeSuspect = previous;
            }
        }
        previousSuspect = suspect;
        const int range = i == 0 ? b.high - b.low
                                 : std::max(b.high, bars[i - 1].close) - std::min(b.low, bars[i - 1].close);
        window.push(range);
    }
    return spikes;
}

void dropSpikes(std::vector<Bar>& bars, const std::vector<Spike>& spikes) {
    size_t next = 0, kept = 0;
    for (size_t i = 0; i < bars.size(); ++i) {
        if (next < spikes.size() && spikes[next].index == i) {
            ++next;
            continue;
        }
        bars[kept++] = bars[i];
    }
    bars.resize(kept);
}

}  // namespace velkor::quotes
