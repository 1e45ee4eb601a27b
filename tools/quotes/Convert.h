#pragma once
// velkor-quotes from input texts to output texts: reads the exports, merges and converts
// their bars, resamples them to 5-minute, 30-minute and 4-hour bars, computes the
// indicators and writes the three quote files' texts with a summary. No file is touched.

#include "Timeline.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace velkor::quotes {

struct Output {
    const char* fileName;
    int minutes;
    const char* label;
};

inline constexpr Output kOutputs[3] = {
    {"USDJPYM05.CSV", 5, "5-minute"}, {"USDJPYM30.CSV", 30, "30-minute"}, {"USDJPYH04.CSV", 240, "4-hour"}};

struct Settings {
    TimeOptions time;
    std::vector<qint64> drops;            // bars to discard, by their source time
    std::optional<qint64> maxGapMinutes;  // keep only the longest run without a longer gap
    bool keepForming = false;             // keep a last bar whose period the data does not cover
    bool dropSpikes = false;              // discard the suspect spikes instead of only listing them
};

struct InputFile {
    QString name;
    QByteArray bytes;
};

struct OutputFile {
    QString fileName;
    QByteArray text;
    qsizetype lines = 0;
};

struct Outcome {
    std::vector<OutputFile> files;  // in the order of kOutputs
    QStringList summary;            // for stdout
    QStringList warnings;           // for stderr: unreadable lines and other doubts
};

// Unreadable lines named per file, this many before the rest are only counted.
inline constexpr int kLinesNamed = 10;

// Fills `out`. Throws QuotesError when no bar can be read, the bar size is not 1 or 5
// minutes (or the files differ in it), a timeframe is left without a single line, or a line
// would carry a price above the largest one the program imports; the warnings found until
// then stay in `out`.
void convertQuotes(const std::vector<InputFile>& inputs, const Settings& settings, Outcome& out);

}  // namespace velkor::quotes
