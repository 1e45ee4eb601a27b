#include "Indicators.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace velkor::quotes {

namespace {

constexpr int kPeriod = 14;  // ATR and RSI

using Int128 = __int128;
using UInt128 = unsigned __int128;

Int128 floorDiv128(Int128 a, Int128 b) {  // b > 0
    const Int128 q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

UInt128 isqrt(UInt128 x) {
    auto r = static_cast<UInt128>(std::sqrt(static_cast<long double>(x)));
    while (r > 0 && r * r > x) --r;
    while ((r + 1) * (r + 1) <= x) ++r;
    return r;
}

// Sum and sum of squares of the closes of the last n bars, kept as the bars go by.
struct Window {
    int n;
    qint64 sum = 0;
    Int128 squares = 0;

    void step(const std::vector<Bar>& bars, size_t i) {
        const qint64 c = bars[i].close;
        sum += c;
        squares += Int128(c) * c;
        if (i >= size_t(n)) {
            const qint64 old = bars[i - size_t(n)].close;
            sum -= old;
            squares -= Int128(old) * old;
        }
    }
    qint64 mean() const { return roundedMean(sum, n); }
    Band band() const { return bollinger(sum, squares, n); }
};

// Wilder's RSI: the first averages are the plain means of the first 14 gains and losses,
// each later one is (previous * 13 + new) / 14.
struct Rsi {
    qint64 gains = 0, losses = 0;
    double gain = 0, loss = 0;

    void step(size_t i, qint64 change) {  // the change of the close from bar i - 1 to bar i
        const qint64 g = std::max<qint64>(change, 0), l = std::max<qint64>(-change, 0);
        if (i <= size_t(kPeriod)) {
            gains += g, losses += l;
            gain = double(gains) / kPeriod, loss = double(losses) / kPeriod;
        } else {
            gain = (gain * (kPeriod - 1) + double(g)) / kPeriod;
            loss = (loss * (kPeriod - 1) + double(l)) / kPeriod;
        }
    }
    // 100 when there was no loss, 50 when the close did not move at all.
    double value() const { return gain + loss == 0 ? 50.0 : 100.0 * gain / (gain + loss); }
};

void appendPrice(QByteArray& out, qint64 thousandths) {
    const qint64 a = thousandths < 0 ? -thousandths : thousandths;
    out += ',';
    if (thousandths < 0) out += '-';
    out += QByteArray::number(a / 1000);
    out += '.';
    out += QByteArray::number(a % 1000).rightJustified(3, '0');
}

// C's "%.<decimals>f" in the "C" locale, whatever the process locale is.
void appendFixed(QByteArray& out, double value, int decimals) {
    char buf[64];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    out += ',';
    out.append(buf, r.ptr - buf);
}

}  // namespace

Spans spansOf(int minutes) {
    return {std::max(1, 60 / minutes), std::max(1, 240 / minutes), std::max(1, 1440 / minutes)};
}

int historyOf(int minutes) { return std::max({20, spansOf(minutes).day, kPeriod + 1}); }

qint64 roundedMean(qint64 sum, int n) { return qint64(floorDiv128(Int128(sum) * 2 + n, Int128(n) * 2)); }

Band bollinger(qint64 sum, Int128 squares, int n) {
    // The band is (sum -/+ 2 sqrt(spread)) / n with spread = n^2 * variance, an exact
    // integer; rounded half up it is floor((2 sum + n -/+ sqrt(16 spread)) / 2n), and the
    // floor only needs the integer square root (rounded down for +, up for -).
    const Int128 spread = squares * n - Int128(sum) * sum;
    const UInt128 x = UInt128(std::max<Int128>(spread, 0)) * 16;
    const UInt128 down = isqrt(x), up = down * down == x ? down : down + 1;
    const Int128 base = Int128(sum) * 2 + n, twoN = Int128(n) * 2;
    return {qint64(floorDiv128(base - Int128(up), twoN)), qint64(floorDiv128(base + Int128(down), twoN))};
}

std::vector<QuoteRow> quoteRows(const std::vector<Bar>& bars, int minutes) {
    const Spans s = spansOf(minutes);
    Window w05{5}, w20{20}, w1h{s.hour}, w4h{s.fourHours}, w1d{s.day};
    std::vector<qint64> trueRange(bars.size(), 0);
    qint64 rangeSum = 0;
    Rsi rsi;
    const size_t first = size_t(historyOf(minutes) - 1);
    std::vector<QuoteRow> rows;
    rows.reserve(bars.size() > first ? bars.size() - first : 0);
    for (size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        for (Window* w : {&w05, &w20, &w1h, &w4h, &w1d}) w->step(bars, i);
        if (i > 0) {
            const qint64 prev = bars[i - 1].close;
            trueRange[i] = std::max<qint64>(b.high, prev) - std::min<qint64>(b.low, prev);
            rangeSum += trueRange[i];
            if (i > size_t(kPeriod)) rangeSum -= trueRange[i - kPeriod];
            rsi.step(i, b.close - prev);
        }
        if (i < first) continue;
        rows.push_back({b.minute, b.minute + b.localShift, b.high, b.low, b.close, w05.mean(), w20.mean(), w1h.mean(),
                        w4h.mean(), w1d.mean(), rangeSum, rsi.value(), w20.band(), w1h.band(), w4h.band()});
    }
    return rows;
}

std::optional<PriceField> priceAboveLimit(const QuoteRow& r) {
    const PriceField fields[] = {
        {"high", r.high},          {"low", r.low},           {"close", r.close},       {"MA05", r.ma05},
        {"MA20", r.ma20},          {"MA1H", r.ma1h},         {"MA4H", r.ma4h},         {"MA1D", r.ma1d},
        {"band 0 lower", r.band0.lower}, {"band 0 upper", r.band0.upper}, {"band 1 lower", r.band1.lower},
        {"band 1 upper", r.band1.upper}, {"band 4 lower", r.band4.lower}, {"band 4 upper", r.band4.upper},
    };
    for (const PriceField& f : fields)
        if (f.value > kLargestPrice) return f;
    return std::nullopt;
}

QByteArray quoteLine(const QuoteRow& r) {
    QByteArray out;
    out.reserve(192);
    out += dateText(r.minute) + ',' + timeText(r.minute);
    for (const qint64 p : {qint64(r.high), qint64(r.low), qint64(r.close), r.ma05, r.ma20, r.ma1h, r.ma4h, r.ma1d})
        appendPrice(out, p);
    appendFixed(out, double(r.trueRangeSum) / (kPeriod * 1000.0), 6);  // thousandths to yen
    appendFixed(out, r.rsi, 2);
    for (const Band& b : {r.band0, r.band1, r.band4}) {
        appendPrice(out, b.lower);
        appendPrice(out, b.upper);
    }
    out += ',' + dateText(r.localMinute) + ',' + timeText(r.localMinute) + "\r\n";
    return out;
}

}  // namespace velkor::quotes
