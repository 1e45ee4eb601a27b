#include "backtest/Report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/Format.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "backtest/QuoteFile.h"
#include "db/Database.h"

namespace backtest {

std::vector<StepOutcome> readOutcomes(const QString& dbFile, const Plan& plan, const QuoteFile& quotes,
                                      const std::vector<int>& bases) {
    const Timeframe& t = *plan.t;
    Connection c(QStringLiteral("report"));
    c.setDatabase(dbFile);
    c.open();
    Query h(QStringLiteral("h"), &c, QStringLiteral("select CNT, CV from %1 order by CNT").arg(t.headerTable));
    h.Open();
    if (h.RecordCount() != int(bases.size()))
        throw VelkorError(QStringLiteral("%1 holds %2 runs of %3 steps").arg(dbFile).arg(h.RecordCount()).arg(bases.size()));
    std::vector<StepOutcome> out(bases.size());
    std::map<qint64, size_t> stepOf;  // header CNT -> step index
    for (int r = 0; r < h.RecordCount(); ++r) {
        StepOutcome& s = out[size_t(r)];
        const int line = bases[size_t(r)];
        s.base = quotes.lines()[size_t(line)].serverText;
        s.baseClose = h.ValueAt(r, 1).asInteger();
        s.move = s.baseClose - quotes.previousClose(line).value_or(s.baseClose);
        s.periods.resize(size_t(t.periods));
        stepOf[h.ValueAt(r, 0).asInt64()] = size_t(r);
    }
    Query d(QStringLiteral("d"), &c,
            QStringLiteral("select HCNT, YKNO, YGCL, JGCL, RST from F03VDT where TBID = %1 order by HCNT, YKNO").arg(t.tbid));
    d.Open();
    for (int r = 0; r < d.RecordCount(); ++r) {
        const auto step = stepOf.find(d.ValueAt(r, 0).asInt64());
        const int p = d.ValueAt(r, 1).asInteger();
        if (step == stepOf.end() || p < 1 || p > t.periods) continue;
        StepOutcome::Period& x = out[step->second].periods[size_t(p - 1)];
        x.forecast = d.ValueAt(r, 2).asInteger();
        x.verified = !d.ValueAt(r, 3).isNull();
        x.actual = d.ValueAt(r, 3).asInteger();
        x.hit = d.ValueAt(r, 4).asInteger() == 1;
    }
    return out;
}

namespace {
PeriodFigures periodFigures(int period, const std::vector<StepOutcome>& steps) {
    PeriodFigures f;
    f.period = period;
    DirectionTable table;
    for (size_t k = 0; k < steps.size(); ++k) {
        const StepOutcome& s = steps[k];
        const StepOutcome::Period& x = s.periods[size_t(period - 1)];
        if (!x.verified) {
            ++f.pending;
            continue;
        }
        const int b = s.baseClose;
        ++f.n;
        f.hits += x.hit ? 1 : 0;
        const bool tie = x.actual == b || x.forecast == b;
        f.ties += tie ? 1 : 0;
        f.ups += x.actual > b ? 1 : 0;
        if ((s.move > 0 && x.actual > b) || (s.move < 0 && x.actual < b)) ++f.persistenceHits;
        if (!tie) {
            const bool fu = x.forecast > b, au = x.actual > b;
            ++(fu ? (au ? table.upUp : table.upDown) : (au ? table.downUp : table.downDown));
        }
        const Interval w = *wilson(f.hits, f.n);
        f.running.push_back({int(k + 1), double(f.hits) / f.n, w.low, w.high, double(f.persistenceHits) / f.n});
    }
    f.misses = f.n - f.hits;
    f.wilson95 = wilson(f.hits, f.n);
    f.pValue = binomialUpperTail(f.hits, f.n);
    f.persistencePValue = binomialUpperTail(f.persistenceHits, f.n);
    f.pt = pesaranTimmermann(table);
    f.sentence = periodSentence(period, f.hits, f.n, f.pValue);
    return f;
}

QJsonValue number(std::optional<double> v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }
QString csvNumber(std::optional<double> v) { return v ? fmt::shortest(*v) : QString(); }
QString percent(std::optional<double> v) { return v ? QString::number(100 * *v, 'f', 1) + QStringLiteral(" %") : QStringLiteral("-"); }
QString pText(std::optional<double> v) { return v ? QString::number(*v, 'f', 4) : QStringLiteral("-"); }
}  // namespace

Report makeReport(const Plan& plan, const std::vector<StepOutcome>& steps) {
    Report r;
    r.timeframe = plan.t->code;
    r.from = plan.from.toString(Qt::ISODate);
    r.to = plan.to.toString(Qt::ISODate);
    r.every = plan.every;
    r.seed = plan.seed;
    r.passes = plan.passes();
    r.readDays = plan.readDays();
    r.steps = int(steps.size());
    for (int p = 1; p <= plan.t->periods; ++p) {
        r.periods.push_back(periodFigures(p, steps));
        r.pending += r.periods.back().pending;
    }
    return r;
}

QByteArray reportJson(const Report& r) {
    QJsonArray periods;
    for (const PeriodFigures& f : r.periods) {
        const bool any = f.n > 0;
        periods.append(QJsonObject{
            {QStringLiteral("period"), f.period},
            {QStringLiteral("n"), f.n},
            {QStringLiteral("hits"), f.hits},
            {QStringLiteral("misses"), f.misses},
            {QStringLiteral("ties"), f.ties},
            {QStringLiteral("pending"), f.pending},
            {QStringLiteral("hit_rate"), number(f.rate(f.hits))},
            {QStringLiteral("wilson95"), f.wilson95 ? QJsonValue(QJsonArray{f.wilson95->low, f.wilson95->high})
                                                    : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("p_value"), any ? QJsonValue(f.pValue) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("persistence"),
             QJsonObject{{QStringLiteral("hits"), f.persistenceHits},
                         {QStringLiteral("hit_rate"), number(f.rate(f.persistenceHits))},
                         {QStringLiteral("p_value"), any ? QJsonValue(f.persistencePValue) : QJsonValue(QJsonValue::Null)}}},
            {QStringLiteral("up_share"), number(f.rate(f.ups))},
            {QStringLiteral("pt"), QJsonObject{{QStringLiteral("statistic"), number(f.pt ? std::optional(f.pt->statistic) : std::nullopt)},
                                               {QStringLiteral("p_value"), number(f.pt ? std::optional(f.pt->pValue) : std::nullopt)}}},
            {QStringLiteral("sentence"), f.sentence},
        });
    }
    const QJsonObject doc{{QStringLiteral("schema"), 1},
                          {QStringLiteral("timeframe"), r.timeframe},
                          {QStringLiteral("from"), r.from},
                          {QStringLiteral("to"), r.to},
                          {QStringLiteral("every"), r.every},
                          {QStringLiteral("seed"), qint64(r.seed)},
                          {QStringLiteral("passes"), r.passes},
                          {QStringLiteral("read_days"), r.readDays},
                          {QStringLiteral("steps"), r.steps},
                          {QStringLiteral("pending"), r.pending},
                          {QStringLiteral("periods"), periods}};
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

QStringList reportCsvLines(const Report& r) {
    QStringList lines{QStringLiteral(
        "timeframe,from,to,every,seed,passes,read_days,steps,pending,period,n,hits,misses,ties,period_pending,hit_rate,"
        "wilson95_low,wilson95_high,p_value,persistence_hits,persistence_hit_rate,persistence_p_value,up_share,"
        "pt_statistic,pt_p_value")};
    for (const PeriodFigures& f : r.periods) {
        const bool any = f.n > 0;
        QStringList v{QString::number(r.timeframe), r.from, r.to, QString::number(r.every), QString::number(r.seed),
                      QString::number(r.passes), QString::number(r.readDays), QString::number(r.steps),
                      QString::number(r.pending), QString::number(f.period), QString::number(f.n),
                      QString::number(f.hits), QString::number(f.misses), QString::number(f.ties),
                      QString::number(f.pending), csvNumber(f.rate(f.hits)),
                      csvNumber(f.wilson95 ? std::optional(f.wilson95->low) : std::nullopt),
                      csvNumber(f.wilson95 ? std::optional(f.wilson95->high) : std::nullopt),
                      csvNumber(any ? std::optional(f.pValue) : std::nullopt), QString::number(f.persistenceHits),
                      csvNumber(f.rate(f.persistenceHits)), csvNumber(any ? std::optional(f.persistencePValue) : std::nullopt),
                      csvNumber(f.rate(f.ups)), csvNumber(f.pt ? std::optional(f.pt->statistic) : std::nullopt),
                      csvNumber(f.pt ? std::optional(f.pt->pValue) : std::nullopt)};
        lines.append(v.join(QLatin1Char(',')));
    }
    return lines;
}

QString reportTable(const Report& r) {
    QString out = QStringLiteral("backtest %1 from %2 to %3, every %4 bar(s): %5 steps, seed %6, %7 passes, %8 read days, "
                                 "%9 periods pending\n")
                      .arg(r.timeframe).arg(r.from, r.to).arg(r.every).arg(r.steps).arg(r.seed).arg(r.passes)
                      .arg(r.readDays).arg(r.pending);
    out += QStringLiteral("period      n   hits misses   ties  hit rate   95 % interval      p  persistence       p  up share      PT       p\n");
    for (const PeriodFigures& f : r.periods) {
        const bool any = f.n > 0;
        const QString interval = f.wilson95 ? percent(f.wilson95->low) + QLatin1Char('-') + percent(f.wilson95->high) : QStringLiteral("-");
        out += QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12 %13\n")
                   .arg(f.period, 6).arg(f.n, 6).arg(f.hits, 6).arg(f.misses, 6).arg(f.ties, 6)
                   .arg(percent(f.rate(f.hits)), 9).arg(interval, 15)
                   .arg(pText(any ? std::optional(f.pValue) : std::nullopt), 6)
                   .arg(percent(f.rate(f.persistenceHits)), 12)
                   .arg(pText(any ? std::optional(f.persistencePValue) : std::nullopt), 7)
                   .arg(percent(f.rate(f.ups)), 9)
                   .arg(f.pt ? QString::number(f.pt->statistic, 'f', 2) : QStringLiteral("-"), 7)
                   .arg(pText(f.pt ? std::optional(f.pt->pValue) : std::nullopt), 7);
    }
    for (const PeriodFigures& f : r.periods) out += f.sentence + QLatin1Char('\n');
    return out;
}

}  // namespace backtest
