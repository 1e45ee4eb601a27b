// Indicator columns: hand-checked values on tiny inputs, exact rounding of the means and
// bands, rolling windows that agree with a recount, and the written line.
#include <gtest/gtest.h>

#include <random>

#include "Indicators.h"
#include "QuotesTestSupport.h"

using namespace velkor::quotes;

namespace {

Band bandOf(const std::vector<qint64>& closes) {
    qint64 sum = 0;
    __int128 squares = 0;
    for (const qint64 c : closes) sum += c, squares += __int128(c) * c;
    return bollinger(sum, squares, int(closes.size()));
}

// Four-hour bars from closes; high and low 5 thousandths around the close.
std::vector<Bar> fourHourBars(const std::vector<int>& closes) {
    std::vector<Bar> bars;
    const qint64 start = wallMinute(QDate(2024, 10, 1), 0);
    for (size_t i = 0; i < closes.size(); ++i)
        bars.push_back({start + qint64(i) * 240, 420, closes[i], closes[i] + 5, closes[i] - 5, closes[i]});
    return bars;
}

}  // namespace

TEST(QuoteIndicators, WindowsPerTimeframe) {
    const struct {
        int minutes, hour, fourHours, day, history;
    } cases[] = {{5, 12, 48, 288, 288}, {30, 2, 8, 48, 48}, {240, 1, 1, 6, 20}};
    for (const auto& c : cases) {
        const Spans s = spansOf(c.minutes);
        EXPECT_EQ(s.hour, c.hour) << c.minutes;
        EXPECT_EQ(s.fourHours, c.fourHours) << c.minutes;
        EXPECT_EQ(s.day, c.day) << c.minutes;
        EXPECT_EQ(historyOf(c.minutes), c.history) << c.minutes;
    }
}

TEST(QuoteIndicators, MeansAndBandsRoundHalfUp) {
    EXPECT_EQ(roundedMean(2001, 2), 1001);  // 1000.5
    EXPECT_EQ(roundedMean(3001, 3), 1000);  // 1000.33
    EXPECT_EQ(roundedMean(3002, 3), 1001);  // 1000.67
    const struct {
        std::vector<qint64> closes;
        qint64 lower, upper;
    } cases[] = {
        {{1500}, 1500, 1500},               // one close: no width
        {{1000, 1002}, 999, 1003},          // mean 1001, sigma 1
        {{1000, 1001}, 1000, 1002},         // mean 1000.5, 2 sigma = 1: 999.5 and 1001.5 round up
        {{1000, 1000, 1003}, 998, 1004},    // mean 1001, sigma sqrt 2: 998.17 and 1003.83
        {{1000, 1000, 1000, 1000}, 1000, 1000},
    };
    for (const auto& c : cases) {
        const Band b = bandOf(c.closes);
        EXPECT_EQ(b.lower, c.lower) << c.closes.size() << " closes from " << c.closes[0];
        EXPECT_EQ(b.upper, c.upper) << c.closes.size() << " closes from " << c.closes[0];
    }
}

// Against the definition itself, in exact integers: U is the band rounded half up when
// U - 1/2 <= (sum + 2 sqrt(spread)) / n < U + 1/2, spread = n * squares - sum^2.
TEST(QuoteIndicators, BandsAreExactForLargeAndNearlyTiedWindows) {
    std::mt19937_64 rng(5);
    for (int round = 0; round < 3000; ++round) {
        const int n = int(rng() % 288) + 1;
        const qint64 base = qint64(rng() % 2'000'000'000) + 1;
        std::vector<qint64> closes;
        for (int i = 0; i < n; ++i) closes.push_back(std::min<qint64>(base + qint64(rng() % 3000), 2'147'483'647));
        qint64 sum = 0;
        __int128 squares = 0;
        for (const qint64 c : closes) sum += c, squares += __int128(c) * c;
        const __int128 s16 = (squares * n - __int128(sum) * sum) * 16;  // (4 sqrt(spread))^2
        const Band b = bandOf(closes);
        const __int128 au = __int128(2 * b.upper - 1) * n - 2 * __int128(sum), bu = au + 2 * n;
        EXPECT_TRUE((au <= 0 || au * au <= s16) && bu > 0 && bu * bu > s16) << "upper, n " << n;
        const __int128 cl = 2 * __int128(sum) - __int128(2 * b.lower - 1) * n, dl = cl - 2 * n;
        EXPECT_TRUE(cl >= 0 && s16 <= cl * cl && (dl < 0 || s16 > dl * dl)) << "lower, n " << n;
    }
}

TEST(QuoteIndicators, HandCheckedRowsOnFourHourBars) {
    {  // Closes rising by 10 from 150000: every true range is (c + 5) - (c - 10) = 15.
        std::vector<int> closes;
        for (int i = 0; i < 20; ++i) closes.push_back(150000 + 10 * i);
        const std::vector<QuoteRow> rows = quoteRows(fourHourBars(closes), 240);
        ASSERT_EQ(rows.size(), 1u);  // 19 bars of history, then the 20th
        const QuoteRow& r = rows[0];
        EXPECT_EQ(r.close, 150190);
        EXPECT_EQ(r.ma05, 150170);  // closes 15..19
        EXPECT_EQ(r.ma20, 150095);  // closes 0..19
        EXPECT_EQ(r.ma1h, 150190);  // one bar
        EXPECT_EQ(r.ma4h, 150190);
        EXPECT_EQ(r.ma1d, 150165);  // six bars, 14..19
        EXPECT_EQ(r.trueRangeSum, 14 * 15);
        EXPECT_EQ(r.rsi, 100.0);  // no loss
        // sigma of 20 closes 10 apart: 10 * sqrt((20^2 - 1) / 12) = 57.663; 150095 -/+ 115.326
        EXPECT_EQ(r.band0.lower, 149980);
        EXPECT_EQ(r.band0.upper, 150210);
        EXPECT_EQ(r.band1.lower, 150190);  // a one-bar window: no width
        EXPECT_EQ(r.band4.upper, 150190);
        EXPECT_EQ(r.localMinute - r.minute, 420);
    }
    {  // Closes +20, -10, +20, ... from 150000.
        std::vector<int> closes{150000};
        for (int i = 1; i < 21; ++i) closes.push_back(closes.back() + (i % 2 ? 20 : -10));
        const std::vector<QuoteRow> rows = quoteRows(fourHourBars(closes), 240);
        ASSERT_EQ(rows.size(), 2u);
        const QuoteRow& r = rows[0];  // bar 19, close 150110
        EXPECT_EQ(r.ma05, 150094);  // (150090 + 150080 + 150100 + 150090 + 150110) / 5
        EXPECT_EQ(r.ma20, 150055);
        EXPECT_EQ(r.ma1d, 150090);
        // A rise: (c + 5) - (c - 20) = 25; a fall: (c + 10) - (c - 5) = 15; bars 6..19 hold
        // seven of each: 280 / 14 = 20.
        EXPECT_EQ(r.trueRangeSum, 280);
        EXPECT_EQ(rows[1].trueRangeSum, 280);
        // The first averages (bars 1..14): gain 140 / 14 = 10, loss 70 / 14 = 5; then Wilder's
        // (a * 13 + x) / 14 for bars 15..19 (+20, -10, +20, -10, +20) gives gain 5714950 / 537824
        // and loss 2520765 / 537824: RSI = 100 * 5714950 / 8235715 = 69.392.
        EXPECT_NEAR(r.rsi, 69.392275, 1e-6);
        // Closes 150000 + 10k and 150020 + 10k, k = 0..9: variance 925, 2 sigma = 60.83.
        EXPECT_EQ(r.band0.lower, 149994);
        EXPECT_EQ(r.band0.upper, 150116);
    }
    {  // A close that never moves: RSI 50, no true range, no width.
        const std::vector<QuoteRow> rows = quoteRows(fourHourBars(std::vector<int>(20, 150000)), 240);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].rsi, 50.0);
        EXPECT_EQ(rows[0].trueRangeSum, 14 * 10);  // high - low of each bar
        EXPECT_EQ(rows[0].band0.lower, 150000);
    }
    EXPECT_TRUE(quoteRows(fourHourBars(std::vector<int>(19, 150000)), 240).empty());
}

TEST(QuoteIndicators, RollingWindowsAgreeWithARecount) {
    const std::vector<Bar> bars = qtest::weekdayWalk(QDate(2024, 10, 1), 12, 30);  // 30-minute bars
    const std::vector<QuoteRow> rows = quoteRows(bars, 30);
    ASSERT_EQ(rows.size(), bars.size() - 47);
    auto mean = [&](size_t end, size_t n) {
        qint64 sum = 0;
        for (size_t k = end + 1 - n; k <= end; ++k) sum += bars[k].close;
        return roundedMean(sum, int(n));
    };
    for (size_t r = 0; r < rows.size(); ++r) {
        const size_t i = r + 47;
        ASSERT_EQ(rows[r].minute, bars[i].minute);
        EXPECT_EQ(rows[r].ma05, mean(i, 5));
        EXPECT_EQ(rows[r].ma20, mean(i, 20));
        EXPECT_EQ(rows[r].ma1h, mean(i, 2));
        EXPECT_EQ(rows[r].ma4h, mean(i, 8));
        EXPECT_EQ(rows[r].ma1d, mean(i, 48));
        qint64 ranges = 0;
        for (size_t k = i - 13; k <= i; ++k)
            ranges += std::max(bars[k].high, bars[k - 1].close) - std::min(bars[k].low, bars[k - 1].close);
        EXPECT_EQ(rows[r].trueRangeSum, ranges);
        std::vector<qint64> last8;
        for (size_t k = i - 7; k <= i; ++k) last8.push_back(bars[k].close);
        EXPECT_EQ(rows[r].band4.lower, bandOf(last8).lower);
        EXPECT_EQ(rows[r].band4.upper, bandOf(last8).upper);
    }
}

TEST(QuoteIndicators, LineHasTwentyFieldsAndCrLf) {
    QuoteRow r;
    r.minute = wallMinute(QDate(2024, 10, 29), 23 * 60 + 55);
    r.localMinute = r.minute + 7 * 60;  // the next day
    r.high = 153674, r.low = 153610, r.close = 153613;
    r.ma05 = 153600, r.ma20 = 150095, r.ma1h = 5, r.ma4h = 153000, r.ma1d = 99999;
    r.trueRangeSum = 3;  // 3 / 14 thousandths = 0.000214 yen
    r.rsi = 69.392275;
    r.band0 = {149980, 150210}, r.band1 = {153613, 153613}, r.band4 = {153001, 153999};
    EXPECT_EQ(quoteLine(r), QByteArray("2024/10/29,23:55,153.674,153.610,153.613,153.600,150.095,0.005,153.000,"
                                       "99.999,0.000214,69.39,149.980,150.210,153.613,153.613,153.001,153.999,"
                                       "2024/10/30,06:55\r\n"));
    r.trueRangeSum = 7, r.rsi = 100;  // 0.0005 yen exactly
    EXPECT_TRUE(quoteLine(r).contains(",0.000500,100.00,"));
}
