#pragma once
// The indicator columns of a quote file, over one timeframe's sequence of bars (gaps are not
// filled), and the line each bar is written as.

#include "Bars.h"

#include <optional>
#include <vector>

namespace velkor::quotes {

// Bars of a timeframe spanning 1 hour, 4 hours and 1 day, at least 1.
struct Spans {
    int hour = 1, fourHours = 1, day = 1;
};
Spans spansOf(int minutes);

// Bars needed before a bar can be written: every window full, and 14 true ranges and 14
// changes of the close behind it.
int historyOf(int minutes);

// The mean sum / n in thousandths, rounded half up.
qint64 roundedMean(qint64 sum, int n);

struct Band {
    qint64 lower = 0, upper = 0;
};
// Mean -/+ two population standard deviations of n closes with the given sum and sum of
// squares, each rounded half up to thousandths (computed exactly).
Band bollinger(qint64 sum, __int128 sumOfSquares, int n);

struct QuoteRow {
    qint64 minute = 0;       // server time
    qint64 localMinute = 0;  // local time
    int high = 0, low = 0, close = 0;
    qint64 ma05 = 0, ma20 = 0, ma1h = 0, ma4h = 0, ma1d = 0;
    qint64 trueRangeSum = 0;  // of the last 14 true ranges, thousandths
    double rsi = 0;
    Band band0, band1, band4;
};

// The largest price the program imports: it holds prices as 32-bit signed thousandths of a
// yen. The prices read are no larger, but a band can be (up to 1.62 times the largest close).
inline constexpr qint64 kLargestPrice = 2147483647;

struct PriceField {
    const char* name;  // "band 0 upper", ...
    qint64 value;
};
// The first price field of `row` above kLargestPrice, if any.
std::optional<PriceField> priceAboveLimit(const QuoteRow& row);

// One row per bar that has its full history: the first historyOf(minutes) - 1 bars only
// serve as history.
std::vector<QuoteRow> quoteRows(const std::vector<Bar>& bars, int minutes);

// The 20 comma-separated fields of a quote file line, with its CR LF.
QByteArray quoteLine(const QuoteRow& row);

}  // namespace velkor::quotes
