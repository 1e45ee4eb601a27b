#pragma once
// Sample USD/JPY quote files: a deterministic random price path with the indicator
// columns the quote import reads (moving averages, ATR, RSI, Bollinger bands).
//
// The path is a pure function of the seed and the bar time: it always starts at the
// same epoch and is generated forward in 5-minute steps, so two runs with different end
// dates write identical lines for the days they share. The 30-minute and 4-hour bars are
// aggregated from the 5-minute bars. All arithmetic is integer, so every machine writes
// the same bytes.

#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <vector>

namespace velkor::sample {

// One bar, server time. Prices in thousandths of a yen; `minute` counts minutes since
// the epoch (00:00 of pathEpoch()) and is the bar's opening time.
struct Bar {
    std::int64_t minute = 0;
    std::int32_t open = 0;
    std::int32_t high = 0;
    std::int32_t low = 0;
    std::int32_t close = 0;
};

struct Timeframe {
    const char* fileName;
    int minutes;
};

inline constexpr Timeframe kTimeframes[3] = {
    {"USDJPYM05.CSV", 5}, {"USDJPYM30.CSV", 30}, {"USDJPYH04.CSV", 240}};

// Local time is server time plus this many minutes.
inline constexpr int kLocalOffsetMinutes = 7 * 60;

// Calendar days of history generated before the first written day, so that even the
// one-day average of the 5-minute file has a full window on the first written bar.
inline constexpr int kWarmUpDays = 14;

// First day of the price path (a Monday).
QDate pathEpoch();
// Earliest day that can be written (the epoch plus the warm-up).
QDate earliestFirstDay();
// Latest accepted end date.
QDate latestEndDay();

// The 5-minute bars of the path for `seed` whose server date lies in from..to
// (inclusive; weekdays only). Requires pathEpoch() <= from.
std::vector<Bar> fiveMinuteBars(std::uint64_t seed, QDate from, QDate to);

// Bars of `minutes` (a multiple of 5 dividing a day) built from consecutive 5-minute bars.
std::vector<Bar> aggregate(const std::vector<Bar>& fiveMinute, int minutes);

// The quote file text (CR LF lines, no header) for the bars whose server date lies in
// first..last; earlier bars serve as indicator history. Throws std::logic_error when
// the history before the first written bar is too short.
QByteArray quoteLines(const std::vector<Bar>& bars, int minutes, QDate first, QDate last);

struct SampleOptions {
    QString outDir;
    QDate end;
    std::uint64_t seed = 1;
    int days5 = 60;
    int days30 = 250;
    int days4h = 250;
};

struct WrittenFile {
    QString path;
    qsizetype lines = 0;
};

// Checks the options; returns an empty text when they can be used, else the reason.
QString checkOptions(const SampleOptions& options);

// Writes the three quote files into options.outDir (created when missing). Each file is
// replaced only once it is complete. Throws std::runtime_error naming the file at fault.
std::vector<WrittenFile> writeSampleFiles(const SampleOptions& options);

}  // namespace velkor::sample
