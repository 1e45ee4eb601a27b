#include "SampleBars.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace velkor::sample {

namespace {

constexpr int kBarsPerDay = 288;  // 5-minute bars in a day
constexpr std::int64_t kNano = 1'000'000'000;

// Price path tuning. Prices are nano-yen while the path runs.
constexpr std::int64_t kAnchor = 147'500'000'000;    // the level the price drifts back to
constexpr std::int64_t kSoftLow = 141'000'000'000;   // below/above these the pull grows
constexpr std::int64_t kSoftHigh = 154'000'000'000;
constexpr std::int64_t kStepSigma = 35'000'000;      // 0.035 yen per 5 minutes at unit activity
constexpr std::int64_t kGapSigma = 60'000'000;       // weekend gap, 0.06 yen
constexpr std::int64_t kUnit = 1'000'000;            // 1.0 for the activity regime

// Activity per server hour, per mille: quiet late evening, Tokyo morning, London and
// New York overlap busiest.
constexpr int kSession[24] = {600,  500,  700,  900,  800,  700,  650,  650,
                              700,  900,  1200, 1100, 1000, 1000, 1100, 1500,
                              1600, 1400, 1200, 1000, 900,  800,  700,  600};

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Approximately normal, mean 0, standard deviation 65536 (sum of twelve 16-bit
    // uniforms); integer only, so identical everywhere.
    std::int64_t gauss() {
        std::int64_t sum = 0;
        for (int i = 0; i < 3; ++i) {
            const std::uint64_t r = next();
            sum += static_cast<std::int64_t>(r & 0xFFFF) + static_cast<std::int64_t>((r >> 16) & 0xFFFF) +
                   static_cast<std::int64_t>((r >> 32) & 0xFFFF) + static_cast<std::int64_t>(r >> 48);
        }
        return sum - 6 * 65536;
    }

private:
    std::uint64_t state_;
};

std::int32_t toThousandths(std::int64_t nano) {
    return static_cast<std::int32_t>((nano + 500'000) / 1'000'000);
}

std::int64_t roundDiv(std::int64_t num, std::int64_t den) {  // num >= 0, den > 0
    return (2 * num + den) / (2 * den);
}

std::uint64_t isqrt(std::uint64_t x) {
    auto r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(x)));
    while (r > 0 && r * r > x) --r;
    while ((r + 1) * (r + 1) <= x) ++r;
    return r;
}

void appendPrice(QByteArray& out, std::int64_t thousandths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%03lld", static_cast<long long>(thousandths / 1000),
                  static_cast<long long>(thousandths % 1000));
    out.append(buf);
}

void appendDateTime(QByteArray& out, std::int64_t minute) {
    const QDate date = pathEpoch().addDays(minute / 1440);
    const int inDay = static_cast<int>(minute % 1440);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d,%02d:%02d", date.year(), date.month(), date.day(),
                  inDay / 60, inDay % 60);
    out.append(buf);
}

struct Window {
    std::int64_t mean = 0;   // thousandths, rounded
    std::int64_t width = 0;  // two standard deviations, thousandths, rounded
};

// Mean and two population standard deviations of the closes of bars[end-n+1..end].
Window window(const std::vector<Bar>& bars, std::size_t end, int n) {
    std::int64_t sum = 0;
    std::int64_t sumSq = 0;
    for (std::size_t i = end + 1 - static_cast<std::size_t>(n); i <= end; ++i) {
        const std::int64_t c = bars[i].close;
        sum += c;
        sumSq += c * c;
    }
    const std::int64_t spread = n * sumSq - sum * sum;  // n^2 * variance, exact
    // 2 * sqrt(spread) / n, rounded: isqrt gives 20 * sqrt(spread) truncated.
    const auto r = static_cast<std::int64_t>(isqrt(static_cast<std::uint64_t>(spread) * 400));
    return {roundDiv(sum, n), roundDiv(r, 10LL * n)};
}

}  // namespace

QDate pathEpoch() { return QDate(2000, 1, 3); }
QDate earliestFirstDay() { return pathEpoch().addDays(kWarmUpDays); }
QDate latestEndDay() { return QDate(2099, 12, 31); }

std::vector<Bar> fiveMinuteBars(std::uint64_t seed, QDate from, QDate to) {
    if (!from.isValid() || !to.isValid() || from < pathEpoch())
        throw std::logic_error("fiveMinuteBars: range outside the path");
    std::vector<Bar> bars;
    if (to < from) return bars;
    bars.reserve(static_cast<std::size_t>(from.daysTo(to) + 1) * kBarsPerDay);

    SplitMix64 rng(seed ^ 0x5EED5A3D1E0F00D5ULL);
    std::int64_t price = kAnchor + (rng.gauss() * 2'000'000'000) / 65536;  // start near 147.5
    std::int64_t drift = 0;                                                // nano-yen per step
    std::int64_t regime = kUnit;                                           // activity, 1.0 = kUnit

    const std::int64_t firstDay = pathEpoch().daysTo(from);
    const std::int64_t lastDay = pathEpoch().daysTo(to);
    for (std::int64_t day = 0; day <= lastDay; ++day) {
        const int weekday = static_cast<int>(day % 7);  // 0 = Monday
        if (weekday >= 5) continue;
        if (weekday == 0 && day > 0) price += (rng.gauss() * kGapSigma) / 65536;
        const bool keep = day >= firstDay;
        for (int slot = 0; slot < kBarsPerDay; ++slot) {
            const std::int64_t sigma = kStepSigma * kSession[slot / 12] / 1000 * regime / kUnit;
            const std::int64_t open = price;
            price += drift + (sigma * rng.gauss()) / 65536;
            price -= (price - kAnchor) / 20000;
            if (price > kSoftHigh)
                price -= (price - kSoftHigh) / 300;
            else if (price < kSoftLow)
                price += (kSoftLow - price) / 300;
            price = std::clamp<std::int64_t>(price, 50 * kNano, 300 * kNano);

            drift += (7000 * rng.gauss()) / 65536 - drift / 4000;
            regime += (4000 * rng.gauss()) / 65536 - (regime - kUnit) / 3000;
            regime = std::clamp<std::int64_t>(regime, kUnit / 2, 2 * kUnit);

            const std::int64_t reach = sigma / 2;
            const std::int64_t high = std::max(open, price) + reach * std::abs(rng.gauss()) / 65536;
            const std::int64_t low = std::min(open, price) - reach * std::abs(rng.gauss()) / 65536;
            if (keep)
                bars.push_back({day * 1440 + slot * 5, toThousandths(open), toThousandths(high),
                                toThousandths(low), toThousandths(price)});
        }
    }
    return bars;
}

std::vector<Bar> aggregate(const std::vector<Bar>& fiveMinute, int minutes) {
    std::vector<Bar> out;
    for (const Bar& b : fiveMinute) {
        const std::int64_t start = b.minute - b.minute % minutes;
        if (out.empty() || out.back().minute != start) {
            out.push_back({start, b.open, b.high, b.low, b.close});
        } else {
            Bar& a = out.back();
            a.high = std::max(a.high, b.high);
            a.low = std::min(a.low, b.low);
            a.close = b.close;
        }
    }
    return out;
}

QByteArray quoteLines(const std::vector<Bar>& bars, int minutes, QDate first, QDate last) {
    const int n1h = std::max(1, 60 / minutes);
    const int n4h = std::max(1, 240 / minutes);
    const int n1d = 1440 / minutes;
    constexpr int kPeriod = 14;  // ATR and RSI
    const std::size_t history = static_cast<std::size_t>(std::max({20, n1d, kPeriod + 1}));

    const std::int64_t fromMinute = pathEpoch().daysTo(first) * 1440;
    const std::int64_t toMinute = (pathEpoch().daysTo(last) + 1) * 1440;
    const auto begin = std::lower_bound(bars.begin(), bars.end(), fromMinute,
                                        [](const Bar& b, std::int64_t m) { return b.minute < m; });
    const auto startIndex = static_cast<std::size_t>(begin - bars.begin());
    if (startIndex < history && startIndex < bars.size() && bars[startIndex].minute < toMinute)
        throw std::logic_error("quoteLines: not enough history before the first bar");

    QByteArray out;
    for (std::size_t i = startIndex; i < bars.size() && bars[i].minute < toMinute; ++i) {
        const Bar& b = bars[i];
        std::int64_t trueRange = 0;
        std::int64_t gain = 0;
        std::int64_t loss = 0;
        for (std::size_t k = i + 1 - kPeriod; k <= i; ++k) {
            const std::int64_t prev = bars[k - 1].close;
            trueRange += std::max<std::int64_t>(bars[k].high, prev) - std::min<std::int64_t>(bars[k].low, prev);
            const std::int64_t d = bars[k].close - prev;
            if (d > 0)
                gain += d;
            else
                loss -= d;
        }
        const std::int64_t atr = roundDiv(trueRange * 10, kPeriod);  // ten-thousandths of a yen
        const std::int64_t rsi = gain + loss == 0 ? 5000 : roundDiv(gain * 10000, gain + loss);  // hundredths

        const Window w0 = window(bars, i, 20);
        const Window w1 = window(bars, i, n1h);
        const Window w4 = window(bars, i, n4h);

        appendDateTime(out, b.minute);
        for (const std::int64_t price :
             {std::int64_t{b.high}, std::int64_t{b.low}, std::int64_t{b.close}, window(bars, i, 5).mean, w0.mean,
              w1.mean, w4.mean, window(bars, i, n1d).mean}) {
            out.append(',');
            appendPrice(out, price);
        }
        char buf[48];
        std::snprintf(buf, sizeof buf, ",%lld.%04lld,%lld.%02lld", static_cast<long long>(atr / 10000),
                      static_cast<long long>(atr % 10000), static_cast<long long>(rsi / 100),
                      static_cast<long long>(rsi % 100));
        out.append(buf);
        for (const Window& w : {w0, w1, w4}) {
            out.append(',');
            appendPrice(out, w.mean - w.width);
            out.append(',');
            appendPrice(out, w.mean + w.width);
        }
        out.append(',');
        appendDateTime(out, b.minute + kLocalOffsetMinutes);
        out.append("\r\n");
    }
    return out;
}

QString checkOptions(const SampleOptions& o) {
    if (o.outDir.isEmpty()) return QStringLiteral("no output folder given (--out)");
    if (!o.end.isValid()) return QStringLiteral("no valid end date given (--end YYYY-MM-DD)");
    if (o.end > latestEndDay())
        return QStringLiteral("end date %1 is after %2")
            .arg(o.end.toString(Qt::ISODate), latestEndDay().toString(Qt::ISODate));
    for (const int days : {o.days5, o.days30, o.days4h}) {
        if (days < 1) return QStringLiteral("the number of days must be at least 1");
        const QDate first = o.end.addDays(1 - days);
        if (first < earliestFirstDay())
            return QStringLiteral("%1 days ending on %2 start on %3, before the earliest day %4")
                .arg(days)
                .arg(o.end.toString(Qt::ISODate), first.toString(Qt::ISODate),
                     earliestFirstDay().toString(Qt::ISODate));
    }
    return {};
}

std::vector<WrittenFile> writeSampleFiles(const SampleOptions& o) {
    const QString problem = checkOptions(o);
    if (!problem.isEmpty()) throw std::invalid_argument(problem.toStdString());

    const int daysPerTimeframe[3] = {o.days5, o.days30, o.days4h};
    const int longest = *std::max_element(std::begin(daysPerTimeframe), std::end(daysPerTimeframe));
    const QDate from = o.end.addDays(1 - longest - kWarmUpDays);
    const std::vector<Bar> five = fiveMinuteBars(o.seed, from, o.end);

    const QDir dir(o.outDir);
    if (!QDir().mkpath(o.outDir))
        throw std::runtime_error(QStringLiteral("cannot create the folder %1").arg(o.outDir).toStdString());

    std::vector<WrittenFile> written;
    for (int t = 0; t < 3; ++t) {
        const Timeframe& tf = kTimeframes[t];
        const QDate first = o.end.addDays(1 - daysPerTimeframe[t]);
        const QByteArray text = tf.minutes == 5 ? quoteLines(five, 5, first, o.end)
                                                : quoteLines(aggregate(five, tf.minutes), tf.minutes, first, o.end);
        const QString path = dir.filePath(QString::fromLatin1(tf.fileName));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            throw std::runtime_error(
                QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString())
                    .toStdString());
        written.push_back({path, text.count('\n')});
    }
    return written;
}

}  // namespace velkor::sample
