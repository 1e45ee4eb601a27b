#include "Convert.h"

#include "Indicators.h"
#include "Resample.h"
#include "SourceFile.h"
#include "Spikes.h"

#include <algorithm>

namespace velkor::quotes {

namespace {

// "2024/11/03 01:00, 2024/11/03 01:05, 2024/11/03 01:10 and 9 more"
QString listed(const std::vector<qint64>& minutes, size_t shown = 3) {
    QStringList parts;
    for (size_t i = 0; i < minutes.size() && i < shown; ++i) parts << minuteText(minutes[i]);
    QString text = parts.join(QStringLiteral(", "));
    if (minutes.size() > shown) text += QStringLiteral(" and %1 more").arg(minutes.size() - shown);
    return text;
}

QString plural(qsizetype n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

std::vector<SourceFile> readInputs(const std::vector<InputFile>& inputs, Outcome& out) {
    std::vector<SourceFile> files;
    for (const InputFile& in : inputs) {
        SourceFile f = readSource(in.name, in.bytes);
        int named = 0;
        for (const LineProblem& p : f.problems)
            if (named++ < kLinesNamed)
                out.warnings << QStringLiteral("%1:%2: %3").arg(f.name).arg(p.line).arg(p.reason);
        if (f.problems.size() > size_t(kLinesNamed))
            out.warnings
                << QStringLiteral("%1: %2 more unreadable lines").arg(f.name).arg(f.problems.size() - kLinesNamed);
        out.summary << QStringLiteral("file %1: %2, %3, %4, %5, %6, %7")
                           .arg(f.name, f.form.isEmpty() ? QStringLiteral("no bar line") : f.form,
                                plural(f.lines, "line", "lines"), plural(qsizetype(f.bars.size()), "bar", "bars"),
                                plural(f.headers, "header line", "header lines"),
                                plural(qsizetype(f.problems.size()), "unreadable line", "unreadable lines"),
                                plural(f.repaired, "repaired bar", "repaired bars"));
        files.push_back(std::move(f));
    }
    return files;
}

// The bar size every file agrees on (a file of one bar has none of its own).
int sourceBarSize(const std::vector<SourceFile>& files, const std::vector<Bar>& merged) {
    int size = 0;
    QString sizedBy;
    for (const SourceFile& f : files) {
        const int s = barSize(f.bars);
        if (s == 0) continue;
        if (size != 0 && s != size)
            throw QuotesError(QStringLiteral("the files differ in bar size: %1 has %2-minute bars, %3 %4-minute bars")
                                  .arg(sizedBy)
                                  .arg(size)
                                  .arg(f.name)
                                  .arg(s));
        size = s, sizedBy = f.name;
    }
    if (size == 0) size = barSize(merged);
    if (size == 0) throw QuotesError(QStringLiteral("a single bar does not tell the bar size"));
    if (size != 1 && size != 5)
        throw QuotesError(QStringLiteral("%1 has %2-minute bars; only 1-minute or 5-minute bars can be read")
                              .arg(sizedBy.isEmpty() ? QStringLiteral("the input") : sizedBy)
                              .arg(size));
    return size;
}

void describeTime(const Settings& s, const Conversion& c, QStringList& summary) {
    const TimeOptions& t = s.time;
    const QString server = t.server ? QString::fromUtf8(t.server->id()) : QString();
    QString text =
        t.source
            ? QStringLiteral("time: source %1 converted to server %2").arg(QString::fromUtf8(t.source->id()), server)
            : QStringLiteral("time: source time is server time%1")
                  .arg(server.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(server));
    text += t.local ? QStringLiteral("; local time %1").arg(QString::fromUtf8(t.local->id()))
                    : QStringLiteral("; local time = server time %1 %2 h")
                          .arg(t.localOffsetHours < 0 ? QStringLiteral("-") : QStringLiteral("+"))
                          .arg(std::abs(t.localOffsetHours));
    summary << text;
    if (!c.ambiguous.empty())
        summary << QStringLiteral("ambiguous times (the clock shows them twice, the earlier taken): %1: %2")
                       .arg(c.ambiguous.size())
                       .arg(listed(c.ambiguous));
    if (!c.skipped.empty())
        summary << QStringLiteral("times the clock skips (taken at the offset before the switch): %1: %2")
                       .arg(c.skipped.size())
                       .arg(listed(c.skipped));
    if (!c.duplicates.empty())
        summary << QStringLiteral("bars the conversion made duplicate (the first kept): %1: %2")
                       .arg(c.duplicates.size())
                       .arg(listed(c.duplicates));
}

// Lists the suspect spikes among the bars (the files' own time, which --drop takes) and drops
// them when asked to; returns the number dropped.
size_t handleSpikes(std::vector<Bar>& bars, bool drop, Outcome& out) {
    const std::vector<Spike> spikes = findSpikes(bars);
    for (const Spike& s : spikes) {
        const qint64 move = qint64(s.close) - s.previousClose;
        const QString fate =
            drop ? QStringLiteral("dropped (--drop-spikes)")
                 : QStringLiteral("kept (--drop-spikes drops every suspect spike, --drop '%1' this one)")
                       .arg(minuteText(s.minute));
        out.warnings << QStringLiteral("suspect spike at %1 (the files' time): close %2, %3 %4 the close before it "
                                       "(%5), more than %6 times the median true range of the %7 bars before it "
                                       "(%8); %9")
                            .arg(minuteText(s.minute), priceText(s.close), priceText(std::abs(move)),
                                 move < 0 ? QStringLiteral("below") : QStringLiteral("above"),
                                 priceText(s.previousClose), QString::number(kSpikeFactor),
                                 QString::number(kSpikeWindow), priceText(s.medianRange), fate);
    }
    out.summary << QStringLiteral("suspect spikes (a close more than %1 times the median true range of the last %2 "
                                  "bars away from the close before it): %3%4")
                       .arg(kSpikeFactor)
                       .arg(kSpikeWindow)
                       .arg(spikes.size())
                       .arg(spikes.empty() ? QString()
                            : drop         ? QStringLiteral(", dropped")
                                           : QStringLiteral(", kept"));
    if (!drop) return 0;
    dropSpikes(bars, spikes);
    return spikes.size();
}

void describeBars(const std::vector<Bar>& bars, int size, Outcome& out) {
    QStringList& summary = out.summary;
    summary << QStringLiteral("bars: %1, %2 to %3 (server time)")
                   .arg(bars.size())
                   .arg(minuteText(bars.front().minute), minuteText(bars.back().minute));
    const Gaps gaps = findGaps(bars, size, 5);
    for (const Gap& g : gaps.longGaps)
        out.warnings << QStringLiteral("%1 without bars from %2 to %3 (server time) lies inside the files written; "
                                       "--max-gap-days %4 keeps only the longest run of bars without a gap over %4 "
                                       "days")
                            .arg(durationText(g.missing), minuteText(g.before), minuteText(g.after))
                            .arg(kLongGapMinutes / kMinutesPerDay);
    summary << QStringLiteral("gaps over %1 days: %2").arg(kLongGapMinutes / kMinutesPerDay).arg(gaps.longGaps.size());
    QStringList largest;
    for (const Gap& g : gaps.largest)
        largest << QStringLiteral("%1 -> %2 (%3 without bars)")
                       .arg(minuteText(g.before), minuteText(g.after), durationText(g.missing));
    summary << QStringLiteral("largest gaps (weekend closes left out): %1")
                   .arg(largest.isEmpty() ? QStringLiteral("none") : largest.join(QStringLiteral("; ")));
    summary << QStringLiteral("weekend closes: %1").arg(gaps.weekendCloses);
    summary << QStringLiteral("bars on weekends: %1").arg(std::count_if(bars.begin(), bars.end(), [](const Bar& b) {
        return onWeekend(b.minute);
    }));
    summary << QStringLiteral("flat bars (open = high = low = close): %1")
                   .arg(std::count_if(bars.begin(), bars.end(), [](const Bar& b) {
                       return b.open == b.close && b.high == b.low && b.open == b.high;
                   }));
}

OutputFile timeframeFile(const std::vector<Bar>& source, const Output& o, int size, bool keepForming, Outcome& out) {
    std::vector<Bar> bars = resample(source, o.minutes);
    QString forming = QStringLiteral("no forming bar");
    if (lastBucketForming(source, o.minutes, size)) {
        forming =
            QStringLiteral("forming bar %1 %2")
                .arg(minuteText(bars.back().minute), keepForming ? QStringLiteral("kept") : QStringLiteral("left out"));
        if (!keepForming) bars.pop_back();
    }
    const std::vector<QuoteRow> rows = quoteRows(bars, o.minutes);
    for (const QuoteRow& r : rows)
        if (const std::optional<PriceField> f = priceAboveLimit(r))
            throw QuotesError(QStringLiteral("%1: the bar of %2 (server time) would carry %3 %4, above %5, the "
                                             "largest price the program imports; a bad print among the closes "
                                             "before it? (see the suspect spikes; --drop or --drop-spikes removes "
                                             "bars)")
                                  .arg(QLatin1String(o.fileName), minuteText(r.minute), QLatin1String(f->name),
                                       priceText(f->value), priceText(kLargestPrice)));
    const int history = historyOf(o.minutes);
    if (rows.empty())
        throw QuotesError(QStringLiteral("only %1 %2 bars: a %2 bar is written once %3 bars are there for its "
                                         "indicators, so %4 would stay empty")
                              .arg(bars.size())
                              .arg(QLatin1String(o.label))
                              .arg(history)
                              .arg(QLatin1String(o.fileName)));
    OutputFile file{QString::fromLatin1(o.fileName), {}, qsizetype(rows.size())};
    file.text.reserve(qsizetype(rows.size()) * 180);
    for (const QuoteRow& r : rows) file.text += quoteLine(r);
    out.summary << QStringLiteral("%1: %2 lines, %3 to %4; %5 warm-up bars skipped; %6")
                       .arg(file.fileName)
                       .arg(rows.size())
                       .arg(minuteText(rows.front().minute), minuteText(rows.back().minute))
                       .arg(std::min<size_t>(bars.size(), size_t(history - 1)))
                       .arg(forming);
    if (rows.size() < 10)
        out.warnings << QStringLiteral("%1 has only %2 lines; the program reads a quote file of at least 10 lines")
                            .arg(file.fileName)
                            .arg(rows.size());
    return file;
}

}  // namespace

void convertQuotes(const std::vector<InputFile>& inputs, const Settings& s, Outcome& out) {
    const std::vector<SourceFile> files = readInputs(inputs, out);
    std::vector<std::vector<Bar>> bars;
    for (const SourceFile& f : files) bars.push_back(f.bars);
    Merged merged = mergeBars(bars);
    if (merged.bars.empty()) throw QuotesError(QStringLiteral("no bar could be read from the input files"));
    const int size = sourceBarSize(files, merged.bars);
    int repaired = 0;
    for (const SourceFile& f : files) repaired += f.repaired;
    out.summary << QStringLiteral("bar size: %1").arg(plural(size, "minute", "minutes"));
    out.summary << QStringLiteral("duplicates (the first one read kept): %1").arg(merged.duplicates);
    out.summary << QStringLiteral("repaired bars (high and low widened to enclose open and close): %1").arg(repaired);

    std::vector<qint64> notFound;
    const int dropped = dropBars(merged.bars, s.drops, notFound);
    if (!notFound.empty())
        out.warnings << QStringLiteral("--drop: no bar at %1").arg(listed(notFound, notFound.size()));
    const size_t spikesDropped = handleSpikes(merged.bars, s.dropSpikes, out);
    const Conversion c = toServerTime(std::move(merged.bars), s.time);
    describeTime(s, c, out.summary);
    std::vector<Bar> line = c.bars;
    size_t cut = 0;
    if (s.maxGapMinutes) {
        const auto [first, last] = longestRun(line, *s.maxGapMinutes, size);
        cut = line.size() - (last - first);
        line = std::vector<Bar>(line.begin() + qsizetype(first), line.begin() + qsizetype(last));
    }
    out.summary << QStringLiteral("dropped bars: %1 by --drop, %2 by --max-gap-days, %3 by --drop-spikes")
                       .arg(dropped)
                       .arg(cut)
                       .arg(spikesDropped);
    if (line.empty()) throw QuotesError(QStringLiteral("no bar is left after --drop"));
    describeBars(line, size, out);
    for (const Output& o : kOutputs) out.files.push_back(timeframeFile(line, o, size, s.keepForming, out));
}

}  // namespace velkor::quotes
