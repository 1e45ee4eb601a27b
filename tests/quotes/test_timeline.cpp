// The time line of the source bars: merging, bar size, drops, zone conversion across
// daylight-saving switches, the longest run, gaps, and resampling with the forming bar.
#include <gtest/gtest.h>

#include "Resample.h"
#include "Timeline.h"

using namespace velkor::quotes;

namespace {

qint64 at(int y, int mo, int d, int h, int mi) { return wallMinute(QDate(y, mo, d), h * 60 + mi); }

Bar bar(qint64 minute, int close, int open = 0) {
    if (!open) open = close;
    return {minute, 0, open, std::max(open, close) + 2, std::min(open, close) - 2, close};
}

std::vector<qint64> minutes(const std::vector<Bar>& bars) {
    std::vector<qint64> m;
    for (const Bar& b : bars) m.push_back(b.minute);
    return m;
}

QTimeZone zone(const char* id) {
    const QTimeZone z(id);
    EXPECT_TRUE(z.isValid()) << id << " (is tzdata installed?)";
    return z;
}

}  // namespace

TEST(QuoteTimeline, MergeKeepsTheFirstBarReadForATime) {
    const qint64 t = at(2024, 10, 29, 10, 0);
    const std::vector<std::vector<Bar>> files{
        {bar(t + 10, 3), bar(t, 1), bar(t + 5, 2), bar(t + 5, 99)},  // out of order, a repeat
        {bar(t + 5, 98), bar(t + 15, 4)},
    };
    const Merged m = mergeBars(files);
    EXPECT_EQ(minutes(m.bars), (std::vector<qint64>{t, t + 5, t + 10, t + 15}));
    EXPECT_EQ(m.bars[1].close, 2);
    EXPECT_EQ(m.duplicates, 2);
}

TEST(QuoteTimeline, BarSizeIsTheMostFrequentStep) {
    const qint64 t = at(2024, 10, 29, 10, 0);
    auto bars = [&](std::vector<qint64> offsets) {
        std::vector<Bar> b;
        for (const qint64 o : offsets) b.push_back(bar(t + o, 1));
        return b;
    };
    EXPECT_EQ(barSize(bars({0, 5, 10, 11, 20, 25})), 5);
    EXPECT_EQ(barSize(bars({25, 20, 10, 5, 0})), 5);  // order does not matter
    EXPECT_EQ(barSize(bars({0, 1, 2, 7, 12})), 1);    // a tie: the smaller step
    EXPECT_EQ(barSize(bars({0, 0})), 0);
    EXPECT_EQ(barSize(bars({0})), 0);
}

TEST(QuoteTimeline, DropRemovesSingleBarsAndNamesTheMissing) {
    const qint64 t = at(2024, 10, 29, 10, 0);
    std::vector<Bar> bars{bar(t, 1), bar(t + 5, 2), bar(t + 10, 3)};
    std::vector<qint64> notFound;
    EXPECT_EQ(dropBars(bars, {t + 5, t + 7}, notFound), 1);
    EXPECT_EQ(minutes(bars), (std::vector<qint64>{t, t + 10}));
    EXPECT_EQ(notFound, std::vector<qint64>{t + 7});
}

TEST(QuoteTimeline, WallTimesAtDaylightSavingSwitches) {
    const struct {
        const char* zone;
        qint64 wall;
        std::vector<qint64> utc;  // instants, as UTC wall minutes
    } cases[] = {
        {"America/New_York", at(2024, 7, 1, 12, 0), {at(2024, 7, 1, 16, 0)}},            // EDT
        {"America/New_York", at(2024, 1, 8, 12, 0), {at(2024, 1, 8, 17, 0)}},            // EST
        {"America/New_York", at(2024, 3, 10, 2, 30), {}},                                // skipped
        {"America/New_York", at(2024, 11, 3, 1, 30), {at(2024, 11, 3, 5, 30), at(2024, 11, 3, 6, 30)}},
        {"Europe/Athens", at(2024, 10, 27, 3, 30), {at(2024, 10, 27, 0, 30), at(2024, 10, 27, 1, 30)}},
        {"Europe/Athens", at(2024, 3, 31, 3, 30), {}},
        {"Etc/GMT+5", at(2024, 7, 1, 12, 0), {at(2024, 7, 1, 17, 0)}},                   // EST all year
    };
    for (const auto& c : cases) {
        ZoneClock clock(zone(c.zone));
        std::vector<qint64> got;
        for (const qint64 s : clock.instantsOf(c.wall)) got.push_back(s / 60);
        EXPECT_EQ(got, c.utc) << c.zone << " " << minuteText(c.wall).toStdString();
    }
}

// New York bars around the weekend on which Athens leaves summer time while New York keeps
// it one week longer: Friday's bars are 7 hours ahead in Athens, Monday's 6.
TEST(QuoteTimeline, SourceToServerTimeAcrossASwitch) {
    TimeOptions o;
    o.source = zone("America/New_York");
    o.server = zone("Europe/Athens");
    o.localOffsetHours = 7;
    const std::vector<Bar> bars{bar(at(2024, 10, 25, 12, 0), 1), bar(at(2024, 10, 25, 16, 55), 2),
                                bar(at(2024, 10, 28, 12, 0), 3)};
    const Conversion c = toServerTime(bars, o);
    EXPECT_EQ(minutes(c.bars),
              (std::vector<qint64>{at(2024, 10, 25, 19, 0), at(2024, 10, 25, 23, 55), at(2024, 10, 28, 18, 0)}));
    EXPECT_EQ(c.bars[0].localShift, 7 * 60);
    EXPECT_TRUE(c.ambiguous.empty() && c.skipped.empty() && c.duplicates.empty());

    // Local time in Tokyo: 6 hours ahead of Athens in summer, 7 in winter.
    o.local = zone("Asia/Tokyo");
    const Conversion t = toServerTime(bars, o);
    EXPECT_EQ(t.bars[0].localShift, 6 * 60);
    EXPECT_EQ(t.bars[2].localShift, 7 * 60);
}

TEST(QuoteTimeline, ConversionReportsAmbiguousSkippedAndDuplicateTimes) {
    TimeOptions o;
    o.source = zone("UTC");
    o.server = zone("Europe/Athens");
    // 00:30 and 01:30 UTC on 27 October are both 03:30 in Athens: the first is kept.
    const Conversion back = toServerTime({bar(at(2024, 10, 27, 0, 30), 1), bar(at(2024, 10, 27, 1, 30), 2)}, o);
    ASSERT_EQ(back.bars.size(), 1u);
    EXPECT_EQ(back.bars[0].minute, at(2024, 10, 27, 3, 30));
    EXPECT_EQ(back.bars[0].close, 1);
    EXPECT_EQ(back.duplicates, std::vector<qint64>{at(2024, 10, 27, 3, 30)});

    o.source = zone("America/New_York");
    const Conversion ny = toServerTime({bar(at(2024, 3, 10, 2, 30), 1), bar(at(2024, 11, 3, 1, 30), 2)}, o);
    EXPECT_EQ(ny.skipped, std::vector<qint64>{at(2024, 3, 10, 2, 30)});
    EXPECT_EQ(ny.ambiguous, std::vector<qint64>{at(2024, 11, 3, 1, 30)});
    // 02:30 is read at the offset before the switch (-5 h): 07:30 UTC, 09:30 in Athens;
    // 01:30 is taken as its earlier instant (EDT): 05:30 UTC, 07:30 in Athens.
    EXPECT_EQ(minutes(ny.bars), (std::vector<qint64>{at(2024, 3, 10, 9, 30), at(2024, 11, 3, 7, 30)}));

    EXPECT_THROW(toServerTime({}, TimeOptions{zone("UTC"), {}, {}, 7}), QuotesError);
}

TEST(QuoteTimeline, LongestRunWithoutALongGap) {
    const qint64 t = at(2024, 10, 1, 0, 0), day = kMinutesPerDay;
    const std::vector<Bar> bars{bar(t, 1),           bar(t + 5, 1),           bar(t + 3 * day, 1),
                                bar(t + 3 * day + 5, 1), bar(t + 3 * day + 10, 1), bar(t + 9 * day, 1),
                                bar(t + 9 * day + 5, 1), bar(t + 9 * day + 10, 1)};
    EXPECT_EQ(longestRun(bars, 2 * day, 5), (std::pair<size_t, size_t>{5, 8}));  // the later of two runs of 3
    EXPECT_EQ(longestRun(bars, 3 * day, 5), (std::pair<size_t, size_t>{0, 5}));  // 3 days less 5 minutes
    EXPECT_EQ(longestRun(bars, 6 * day, 5), (std::pair<size_t, size_t>{0, 8}));
    EXPECT_EQ(longestRun({}, day, 5), (std::pair<size_t, size_t>{0, 0}));
}

TEST(QuoteTimeline, GapsLeaveWeekendClosesOut) {
    const std::vector<Bar> bars{
        bar(at(2024, 10, 25, 10, 0), 1), bar(at(2024, 10, 25, 10, 5), 1),
        bar(at(2024, 10, 25, 11, 0), 1),   // 50 minutes without bars
        bar(at(2024, 10, 25, 23, 55), 1),  // 12 h 50 min
        bar(at(2024, 10, 28, 0, 0), 1),    // Friday to Monday: the weekend close
        bar(at(2024, 10, 30, 0, 0), 1),    // Monday to Wednesday: 2 days less 5 minutes
    };
    const Gaps g = findGaps(bars, 5, 2);
    EXPECT_EQ(g.weekendCloses, 1);
    ASSERT_EQ(g.largest.size(), 2u);
    EXPECT_EQ(g.largest[0].before, at(2024, 10, 28, 0, 0));
    EXPECT_EQ(g.largest[0].missing, 2 * kMinutesPerDay - 5);
    EXPECT_EQ(g.largest[1].before, at(2024, 10, 25, 11, 0));
    EXPECT_EQ(g.largest[1].missing, 770);
    EXPECT_EQ(findGaps(bars, 5, 10).largest.back().missing, 50);
}

TEST(QuoteTimeline, ResampleBucketsAndTheFormingBar) {
    const qint64 t = at(2024, 10, 29, 12, 0);
    // One-minute bars 12:00..12:07 and 12:12 (no bar in 12:05's slot after 12:07 until 12:12).
    std::vector<Bar> src;
    for (int m : {0, 1, 2, 3, 4, 5, 6, 7, 12}) src.push_back(bar(t + m, 150000 + 10 * m, 150001 + 10 * m));
    src[2].high = 150900;
    src[3].low = 149000;
    const std::vector<Bar> five = resample(src, 5);
    ASSERT_EQ(minutes(five), (std::vector<qint64>{t, t + 5, t + 10}));
    EXPECT_EQ(five[0].open, 150001);   // first open
    EXPECT_EQ(five[0].high, 150900);   // max
    EXPECT_EQ(five[0].low, 149000);    // min
    EXPECT_EQ(five[0].close, 150040);  // last close
    EXPECT_EQ(five[1].close, 150070);
    // 12:10's bucket ends with 12:14, the last slot of a 1-minute source: 12:12 leaves it forming.
    EXPECT_TRUE(lastBucketForming(src, 5, 1));
    src.push_back(bar(t + 14, 1));
    EXPECT_FALSE(lastBucketForming(src, 5, 1));

    // 4-hour buckets start at 00, 04, ... server time; a 5-minute source must reach 15:55.
    const std::vector<Bar> fiveMinute{bar(at(2024, 10, 29, 11, 55), 1), bar(at(2024, 10, 29, 15, 50), 2)};
    EXPECT_EQ(minutes(resample(fiveMinute, 240)),
              (std::vector<qint64>{at(2024, 10, 29, 8, 0), at(2024, 10, 29, 12, 0)}));
    EXPECT_TRUE(lastBucketForming(fiveMinute, 240, 5));
    EXPECT_FALSE(lastBucketForming({bar(at(2024, 10, 29, 15, 55), 2)}, 240, 5));
    EXPECT_FALSE(lastBucketForming(fiveMinute, 5, 5));  // a bar of the source's own size is whole
}
