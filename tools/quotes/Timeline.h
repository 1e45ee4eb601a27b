#pragma once
// The source bars on one time line: merged from every file, bad prints dropped, converted to
// server time (with the local time beside it), cut to the longest run without a long gap.

#include "Bars.h"

#include <QTimeZone>

#include <optional>
#include <utility>
#include <vector>

namespace velkor::quotes {

// The most frequent step in minutes between consecutive bars in time order (the smaller of
// equally frequent steps); 0 when there are fewer than two different times.
int barSize(const std::vector<Bar>& bars);

struct Merged {
    std::vector<Bar> bars;  // in time order, one bar per minute
    int duplicates = 0;     // bars dropped because an earlier one read had the same time
};

// All bars of all files in time order; of bars with the same time the first one read (the
// earlier file, then the earlier line) is kept.
Merged mergeBars(const std::vector<std::vector<Bar>>& files);

// Removes the bars opening at one of `minutes`; returns how many went, and puts the minutes
// no bar opened at into `notFound`.
int dropBars(std::vector<Bar>& bars, const std::vector<qint64>& minutes, std::vector<qint64>& notFound);

// A zone's clock, with the offset of the last interval between two transitions kept, since
// bars come in time order.
class ZoneClock {
public:
    explicit ZoneClock(QTimeZone zone);
    // Seconds the clock is ahead of UTC at the instant `utcSecond`.
    int offsetAt(qint64 utcSecond);
    // The instants (UTC seconds, earliest first) at which the clock shows `wallMinute`: none
    // when a switch to daylight saving skips it, two when a switch back repeats it.
    std::vector<qint64> instantsOf(qint64 wallMinute);

private:
    QTimeZone zone_;
    bool cache_ = true;
    qint64 from_ = 0, to_ = 0;  // the instants [from_, to_) have offset_
    int offset_ = 0;
};

// The zone of an IANA name (or of one of Qt's UTC offset ids such as "UTC+09:00"); none when
// the name is no zone. "Tokyo", "JST" or "XYZ" are none: Qt's zone database backend reads
// a name it has no zone file for as a POSIX rule and gives a zone at UTC for it.
std::optional<QTimeZone> namedZone(const QString& name);

struct TimeOptions {
    std::optional<QTimeZone> source;  // the zone of the files' times; none: they are server time
    std::optional<QTimeZone> server;  // needed with `source` or `local`
    std::optional<QTimeZone> local;   // none: local time is server time + localOffsetHours
    int localOffsetHours = 7;
};

struct Conversion {
    std::vector<Bar> bars;           // server time, in time order, one bar per minute
    std::vector<qint64> ambiguous;   // wall times shown twice by their clock (the earlier taken)
    std::vector<qint64> skipped;     // wall times their clock skips (taken at the offset before)
    std::vector<qint64> duplicates;  // server times a converted bar fell on once more (first kept)
};

// Converts source-time bars to server time and sets their local shift. Throws QuotesError
// when a source or local zone is given without a server zone.
Conversion toServerTime(std::vector<Bar> bars, const TimeOptions& options);

// The longest run of bars (the latest of equally long runs) in which no two consecutive
// bars leave more than `maxGapMinutes` without a bar, as the index range [first, last).
std::pair<size_t, size_t> longestRun(const std::vector<Bar>& bars, qint64 maxGapMinutes, int barSize);

struct Gap {
    qint64 before = 0, after = 0;  // opening times of the bars around it
    qint64 missing = 0;            // minutes without a bar
};

// Gaps of more than this many minutes without bars are told one by one.
inline constexpr qint64 kLongGapMinutes = 7 * kMinutesPerDay;

struct Gaps {
    std::vector<Gap> largest;  // longest first; weekend closes left out
    std::vector<Gap> longGaps;  // over kLongGapMinutes, in time order
    int weekendCloses = 0;     // gaps from a Friday or Saturday to a Sunday or Monday, at most 3 days
};

// The gaps between consecutive bars: the `count` largest, and every long one.
Gaps findGaps(const std::vector<Bar>& bars, int barSize, size_t count);

}  // namespace velkor::quotes
