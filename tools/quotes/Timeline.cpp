#include "Timeline.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>

namespace velkor::quotes {

int barSize(const std::vector<Bar>& bars) {
    std::vector<qint64> times;
    times.reserve(bars.size());
    for (const Bar& b : bars) times.push_back(b.minute);
    std::sort(times.begin(), times.end());
    std::map<qint64, qint64> count;  // step -> how often
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] != times[i - 1]) ++count[times[i] - times[i - 1]];
    qint64 best = 0, seen = 0;
    for (const auto& [step, n] : count)  // ascending steps: a tie keeps the smaller
        if (n > seen) best = step, seen = n;
    return int(std::min<qint64>(best, std::numeric_limits<int>::max()));
}

Merged mergeBars(const std::vector<std::vector<Bar>>& files) {
    Merged out;
    for (const std::vector<Bar>& f : files) out.bars.insert(out.bars.end(), f.begin(), f.end());
    std::stable_sort(out.bars.begin(), out.bars.end(), [](const Bar& a, const Bar& b) { return a.minute < b.minute; });
    const auto end =
        std::unique(out.bars.begin(), out.bars.end(), [](const Bar& a, const Bar& b) { return a.minute == b.minute; });
    out.duplicates = int(out.bars.end() - end);
    out.bars.erase(end, out.bars.end());
    return out;
}

int dropBars(std::vector<Bar>& bars, const std::vector<qint64>& minutes, std::vector<qint64>& notFound) {
    const size_t before = bars.size();
    for (const qint64 m : minutes) {
        const auto at =
            std::lower_bound(bars.begin(), bars.end(), m, [](const Bar& b, qint64 v) { return b.minute < v; });
        if (at != bars.end() && at->minute == m)
            bars.erase(at);
        else
            notFound.push_back(m);
    }
    return int(before - bars.size());
}

ZoneClock::ZoneClock(QTimeZone zone) : zone_(std::move(zone)) {
    // Without transition data the interval of an offset is unknown: ask every time.
    cache_ = zone_.hasTransitions() || !zone_.hasDaylightTime();
}

int ZoneClock::offsetAt(qint64 utcSecond) {
    if (utcSecond >= from_ && utcSecond < to_) return offset_;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(utcSecond, Qt::UTC);
    offset_ = zone_.offsetFromUtc(at);
    if (!cache_) return offset_;
    const QTimeZone::OffsetData next = zone_.nextTransition(at);
    const QTimeZone::OffsetData prev = zone_.previousTransition(at.addSecs(1));
    to_ = next.atUtc.isValid() ? next.atUtc.toSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    from_ = prev.atUtc.isValid() ? prev.atUtc.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    return offset_;
}

std::vector<qint64> ZoneClock::instantsOf(qint64 wallMinute) {
    // Every instant showing the wall time lies within 14 hours of it; a day before and after
    // it the clock runs at the two offsets that can apply.
    const qint64 w = wallMinute * 60;
    const int before = offsetAt(w - 86400), after = offsetAt(w + 86400);
    const int hi = std::max(before, after), lo = std::min(before, after);
    std::vector<qint64> at;
    if (offsetAt(w - hi) == hi) at.push_back(w - hi);
    if (lo != hi && offsetAt(w - lo) == lo) at.push_back(w - lo);
    return at;
}

namespace {

// True when a zone file of the system's zone database holds `id` (a file that begins with
// the "TZif" mark); the folders are those Qt's backend reads.
bool inZoneDatabase(const QByteArray& id) {
    const bool plain = !id.isEmpty() && !id.startsWith('/') && !id.contains("..") &&
                       std::all_of(id.begin(), id.end(), [](char c) {
                           return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '_' || c == '-' ||
                                  c == '+';
                       });
    if (!plain) return false;
    QStringList folders{QStringLiteral("/usr/share/zoneinfo"), QStringLiteral("/usr/lib/zoneinfo"),
                        QStringLiteral("/usr/share/lib/zoneinfo")};
    if (const QString tzdir = qEnvironmentVariable("TZDIR"); !tzdir.isEmpty()) folders.prepend(tzdir);
    for (const QString& folder : folders) {
        QFile file(folder + QLatin1Char('/') + QString::fromLatin1(id));
        if (file.open(QIODevice::ReadOnly) && file.read(4) == "TZif") return true;
    }
    return false;
}

}  // namespace

std::optional<QTimeZone> namedZone(const QString& name) {
    const QByteArray id = name.toUtf8();
    QTimeZone zone(id);
    if (!zone.isValid()) return std::nullopt;
    if (QTimeZone::isTimeZoneIdAvailable(id)) return zone;
#ifdef Q_OS_UNIX
    // Links such as Etc/GMT+5 or Japan are missing from Qt's list but are zone files.
    if (!inZoneDatabase(id)) return std::nullopt;
#endif
    return zone;
}

namespace {

// The instant of a wall time; records it when its clock shows it twice or never.
qint64 instantOf(ZoneClock& clock, qint64 wallMinute, Conversion& out) {
    const std::vector<qint64> at = clock.instantsOf(wallMinute);
    if (at.size() > 1) out.ambiguous.push_back(wallMinute);
    if (!at.empty()) return at.front();
    out.skipped.push_back(wallMinute);
    return wallMinute * 60 - clock.offsetAt(wallMinute * 60 - 86400);
}

}  // namespace

Conversion toServerTime(std::vector<Bar> bars, const TimeOptions& o) {
    if ((o.source || o.local) && !o.server)
        throw QuotesError(QStringLiteral("a source or local time zone needs the server's time zone (--server-tz)"));
    Conversion out;
    std::optional<ZoneClock> source, server, local;
    if (o.source) source.emplace(*o.source);
    if (o.server) server.emplace(*o.server);
    if (o.local) local.emplace(*o.local);
    // The clock whose wall times must become instants: the source's, or the server's when
    // only the local time needs one.
    ZoneClock* wall = source ? &*source : local ? &*server : nullptr;
    for (Bar& b : bars) {
        b.localShift = o.localOffsetHours * 60;
        if (!wall) continue;
        const qint64 t = instantOf(*wall, b.minute, out);
        const int serverOffset = server->offsetAt(t);
        if (source) b.minute = floorDiv(t + serverOffset, 60);
        if (local) b.localShift = int(floorDiv(local->offsetAt(t) - serverOffset, 60));
    }
    std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) { return a.minute < b.minute; });
    for (const Bar& b : bars) {
        if (!out.bars.empty() && out.bars.back().minute == b.minute)
            out.duplicates.push_back(b.minute);
        else
            out.bars.push_back(b);
    }
    return out;
}

std::pair<size_t, size_t> longestRun(const std::vector<Bar>& bars, qint64 maxGapMinutes, int barSize) {
    size_t bestFirst = 0, bestLength = 0, first = 0;
    for (size_t i = 1; i <= bars.size(); ++i) {
        if (i < bars.size() && bars[i].minute - bars[i - 1].minute - barSize <= maxGapMinutes) continue;
        if (i - first >= bestLength) bestFirst = first, bestLength = i - first;  // ">=": the later run
        first = i;
    }
    return {bestFirst, bestFirst + bestLength};
}

Gaps findGaps(const std::vector<Bar>& bars, int barSize, size_t count) {
    Gaps g;
    for (size_t i = 1; i < bars.size(); ++i) {
        const Gap gap{bars[i - 1].minute, bars[i].minute, bars[i].minute - bars[i - 1].minute - barSize};
        if (gap.missing <= 0) continue;
        const int from = dateOf(gap.before).dayOfWeek(), to = dateOf(gap.after).dayOfWeek();
        if ((from == 5 || from == 6) && (to == 7 || to == 1) && gap.missing <= 3 * kMinutesPerDay) {
            ++g.weekendCloses;
            continue;
        }
        g.largest.push_back(gap);
        if (gap.missing > kLongGapMinutes) g.longGaps.push_back(gap);
    }
    std::stable_sort(g.largest.begin(), g.largest.end(),
                     [](const Gap& a, const Gap& b) { return a.missing > b.missing; });
    if (g.largest.size() > count) g.largest.resize(count);
    return g;
}

}  // namespace velkor::quotes
