// Suspect spikes: the threshold of 20 median true ranges, a bad print and its return, a real
// jump, the bars not checked, and the sliding median against one computed afresh per bar.
#include <gtest/gtest.h>

#include "QuotesTestSupport.h"
#include "Spikes.h"

using namespace velkor::quotes;

namespace {

const QDate kMonday(2024, 10, 7);

// 150 bars of 5 minutes whose closes alternate by 10 thousandths (a true range of 10 each),
// then `after` closes; high and low enclose open and close.
std::vector<Bar> calmThen(const std::vector<int>& after) {
    std::vector<Bar> bars;
    int close = 150000;
    auto add = [&](int next) {
        const qint64 minute = wallMinute(kMonday, 5 * int(bars.size()));
        bars.push_back({minute, 0, close, std::max(close, next), std::min(close, next), next});
        close = next;
    };
    for (int i = 0; i < 150; ++i) add(i % 2 ? 150000 : 150010);
    for (const int c : after) add(c);
    return bars;
}

std::vector<size_t> indices(const std::vector<Spike>& spikes) {
    std::vector<size_t> i;
    for (const Spike& s : spikes) i.push_back(s.index);
    return i;
}

// The spikes by the definition, with the 100 ranges sorted afresh for every bar.
std::vector<size_t> spikesAfresh(const std::vector<Bar>& bars) {
    std::vector<qint64> ranges;
    std::vector<size_t> found;
    bool previousSuspect = false;
    qint64 before = 0;
    for (size_t i = 0; i < bars.size(); ++i) {
        bool suspect = false;
        if (i >= 100 && bars[i].minute - bars[i - 1].minute <= kMinutesPerDay) {
            std::vector<qint64> last(ranges.end() - 100, ranges.end());
            std::sort(last.begin(), last.end());
            const qint64 limit = 20 * std::max<qint64>(1, (last[49] + last[50]) / 2);
            suspect = std::abs(bars[i].close - bars[i - 1].close) > limit &&
                      !(previousSuspect && std::abs(bars[i].close - before) <= limit);
            if (suspect) found.push_back(i), before = bars[i - 1].close;
        }
        previousSuspect = suspect;
        const Bar& b = bars[i];
        ranges.push_back(i == 0 ? b.high - b.low
                                : std::max(b.high, bars[i - 1].close) - std::min(b.low, bars[i - 1].close));
    }
    return found;
}

}  // namespace

TEST(QuoteSpikes, ThresholdBadPrintRealJumpAndGaps) {
    const struct {
        const char* what;
        std::vector<int> after;  // the closes after the calm 150 bars (the last calm close is 150000)
        std::vector<size_t> spikes;
    } cases[] = {
        {"exactly 20 median ranges is no spike", {150200, 150000}, {}},
        {"one more thousandth is", {150201, 150000}, {150}},
        {"a bad print and its return: one spike", {148740, 150000, 150010}, {150}},
        {"a real jump that stays: one spike", {151260, 151270, 151260, 151270}, {150}},
        {"two jumps in a row", {151260, 152520}, {150, 151}},
        {"a fall", {149799, 149809}, {150}},
    };
    for (const auto& c : cases) {
        const std::vector<Spike> s = findSpikes(calmThen(c.after));
        EXPECT_EQ(indices(s), c.spikes) << c.what;
    }
    const std::vector<Spike> s = findSpikes(calmThen({148740, 150000}));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].close, 148740);
    EXPECT_EQ(s[0].previousClose, 150000);
    EXPECT_EQ(s[0].medianRange, 10);
    EXPECT_EQ(s[0].minute, wallMinute(kMonday, 750));

    // The first 100 bars lack the window; a bar opening more than a day after the one before
    // it is not checked; a median of 0 (flat bars) counts as one thousandth.
    std::vector<Bar> early = calmThen({});
    for (size_t i = 99; i < early.size(); ++i) early[i].close += 10000, early[i].high += 10000;
    EXPECT_EQ(indices(findSpikes(early)), std::vector<size_t>{});
    std::vector<Bar> gap = calmThen({155000});
    gap.back().minute += kMinutesPerDay;
    EXPECT_EQ(indices(findSpikes(gap)), std::vector<size_t>{});
    std::vector<Bar> flat = calmThen({});
    for (Bar& b : flat) b.open = b.high = b.low = b.close = 150000;
    flat.push_back(flat.back()), flat.back().minute += 5, flat.back().close = flat.back().high = 150021;
    flat.push_back(flat.back()), flat.back().minute += 5, flat.back().close = flat.back().high = 150041;
    EXPECT_EQ(indices(findSpikes(flat)), std::vector<size_t>{150});  // 21 > 20, then 20 is not
}

TEST(QuoteSpikes, SlidingMedianEqualsOneSortedPerBar) {
    std::vector<Bar> bars = qtest::weekdayWalk(kMonday, 10);  // 2880 bars
    // Prints of every size around the threshold (the walk's median range is near 40).
    for (size_t i = 150; i < bars.size(); i += 37) {
        bars[i].close += int(i % 1500) - 250;
        bars[i].high = std::max(bars[i].high, bars[i].close);
        bars[i].low = std::min(bars[i].low, bars[i].close);
    }
    const std::vector<Spike> found = findSpikes(bars);
    EXPECT_EQ(indices(found), spikesAfresh(bars));
    EXPECT_GT(found.size(), 10u);

    std::vector<Bar> dropped = bars;
    dropSpikes(dropped, found);
    ASSERT_EQ(dropped.size(), bars.size() - found.size());
    for (const Spike& s : found)
        EXPECT_FALSE(std::any_of(dropped.begin(), dropped.end(), [&](const Bar& b) { return b.minute == s.minute; }));
}
