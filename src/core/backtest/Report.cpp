#include "backtest/Report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <map>

#include "app/Format.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "backtest/QuoteFile.h"
#include "backtest/ReportTexts.h"
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
        s.local = quotes.lines()[size_t(line)].local;
        s.barNumber = quotes.lines()[size_t(line)].barNumber;
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
    for (const StepOutcome& s : steps) {
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
    }
    f.misses = f.n - f.hits;
    f.wilson95 = wilson(f.hits, f.n);
    f.pValue = binomialUpperTail(f.hits, f.n);
    f.persistencePValue = binomialUpperTail(f.persistenceHits, f.n);
    f.pt = pesaranTimmermann(table);
    return f;
}


QJsonValue number(std::optional<double> v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }
QJsonValue interval(const std::optional<Interval>& w) {
    return w ? QJsonValue(QJsonArray{w->low, w->high}) : QJsonValue(QJsonValue::Null);
}
QString csvNumber(std::optional<double> v) { return v ? fmt::shortest(*v) : QString(); }
// A rate in report.csv: four decimals.
QString csvRate(std::optional<double> v) { return v ? fmt::shortest(std::round(*v * 10000) / 10000) : QString(); }
QString csvText(QString s) { return QLatin1Char('"') + s.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"'); }
QString percent(std::optional<double> v) { return v ? QString::number(100 * *v, 'f', 1) + QStringLiteral(" %") : QStringLiteral("-"); }
QString pText(std::optional<double> v) { return v ? QString::number(*v, 'f', 4) : QStringLiteral("-"); }
template <class T, class F>
std::optional<double> maybe(const std::optional<T>& o, F f) { return o ? std::optional<double>(f(*o)) : std::nullopt; }

// The evaluation of the runs, period by period, and the verdict.
void attachEvaluation(Report& r, const Timeframe& t, const std::vector<StepOutcome>& steps) {
    evaluation::Evaluation e = evaluation::evaluate(t, verifiedForecasts(steps));
    for (size_t i = 0; i < r.periods.size(); ++i) r.periods[i].evaluation = std::move(e.periods[i]);
    r.verdict = e.verdict;
}
}  // namespace

std::vector<evaluation::VerifiedForecast> verifiedForecasts(const std::vector<StepOutcome>& steps) {
    std::vector<evaluation::VerifiedForecast> out;
    for (const StepOutcome& s : steps)
        for (size_t p = 0; p < s.periods.size(); ++p) {
            const StepOutcome::Period& x = s.periods[p];
            if (!x.verified) continue;
            out.push_back({.period = int(p + 1), .baseTime = s.local, .baseBar = s.barNumber, .baseClose = s.baseClose,
                           .forecastClose = x.forecast, .actualClose = x.actual,
                           .previousClose = s.baseClose - s.move, .hit = x.hit});
        }
    return out;
}

Report makeReport(const Plan& plan, const std::vector<StepOutcome>& steps) {
    Report r;
    r.timeframe = plan.t->code;
    r.timeframeName = plan.t->name;
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
    attachEvaluation(r, *plan.t, steps);
    return r;
}

Report makeLiveReport(const Timeframe& t, const QString& workDir, const std::vector<StepOutcome>& steps) {
    Report r;
    r.live = true;
    r.timeframe = t.code;
    r.timeframeName = t.name;
    r.workDir = workDir;
    if (!steps.empty()) {
        r.from = steps.front().local;
        r.to = steps.back().local;
    }
    r.steps = int(steps.size());
    for (int p = 1; p <= t.periods; ++p) {
        r.periods.push_back(periodFigures(p, steps));
        r.pending += r.periods.back().pending;
    }
    attachEvaluation(r, t, steps);
    return r;
}

namespace {
QJsonObject dmJson(const evaluation::DmTest& t) {
    if (!t.result) return {};
    return QJsonObject{{QStringLiteral("statistic"), t.result->statistic},
                       {QStringLiteral("p_two_sided"), t.result->pTwoSided},
                       {QStringLiteral("p_better"), t.result->pBetter},
                       {QStringLiteral("p_two_sided_holm"), number(t.pTwoSidedHolm)}};
}
QJsonValue dmValue(const evaluation::DmTest& t) { return t.result ? QJsonValue(dmJson(t)) : QJsonValue(QJsonValue::Null); }

const char* const ruleKeys[] = {"always_up", "always_down", "persistence"};

// The fields the evaluation adds to a period object.
void addEvaluationJson(QJsonObject& o, const PeriodFigures& f) {
    const evaluation::PeriodEvaluation& e = f.evaluation;
    const bool any = e.n > 0;
    const evaluation::RandomWalk& w = e.randomWalk;
    auto value = [any](double v) { return any ? QJsonValue(v) : QJsonValue(QJsonValue::Null); };
    o.insert(QStringLiteral("effective_n"), value(e.effectiveN));
    o.insert(QStringLiteral("p_value_overlap"), number(e.pOverlap));
    o.insert(QStringLiteral("wilson95_overlap"), interval(e.wilson95Overlap));
    o.insert(QStringLiteral("p_value_holm"), number(e.pHolm));
    o.insert(QStringLiteral("random_walk"),
             QJsonObject{{QStringLiteral("mae"), value(w.mae)}, {QStringLiteral("rmse"), value(w.rmse)},
                         {QStringLiteral("mae_no_change"), value(w.maeNoChange)},
                         {QStringLiteral("rmse_no_change"), value(w.rmseNoChange)},
                         {QStringLiteral("mae_ratio"), number(w.maeRatio)}, {QStringLiteral("theil_u"), number(w.theilU)},
                         {QStringLiteral("dm_squared"), dmValue(w.squared)}, {QStringLiteral("dm_absolute"), dmValue(w.absolute)}});
    QJsonObject baselines;
    for (size_t r = 0; r < evaluation::rules.size(); ++r) {
        const evaluation::Baseline& b = e.baselines[r];
        baselines.insert(QLatin1String(ruleKeys[r]),
                         QJsonObject{{QStringLiteral("hits"), b.hits},
                                     {QStringLiteral("hit_rate"), number(e.rate(b.hits))},
                                     {QStringLiteral("mcnemar"),
                                      QJsonObject{{QStringLiteral("forecast_only"), b.forecastOnly},
                                                  {QStringLiteral("baseline_only"), b.baselineOnly},
                                                  {QStringLiteral("p_value"), value(b.pValue)},
                                                  {QStringLiteral("p_value_overlap"), value(b.pOverlap)},
                                                  {QStringLiteral("p_value_holm"), number(b.pHolm)}}}});
    }
    o.insert(QStringLiteral("baselines"), baselines);
    o.insert(QStringLiteral("sentence"), e.sentence);
}

QJsonObject periodJson(const PeriodFigures& f) {
    const bool any = f.n > 0;
    QJsonObject o{
        {QStringLiteral("period"), f.period},
        {QStringLiteral("n"), f.n},
        {QStringLiteral("hits"), f.hits},
        {QStringLiteral("misses"), f.misses},
        {QStringLiteral("ties"), f.ties},
        {QStringLiteral("pending"), f.pending},
        {QStringLiteral("hit_rate"), number(f.rate(f.hits))},
        {QStringLiteral("wilson95"), interval(f.wilson95)},
        {QStringLiteral("p_value"), any ? QJsonValue(f.pValue) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("persistence"),
         QJsonObject{{QStringLiteral("hits"), f.persistenceHits},
                     {QStringLiteral("hit_rate"), number(f.rate(f.persistenceHits))},
                     {QStringLiteral("p_value"), any ? QJsonValue(f.persistencePValue) : QJsonValue(QJsonValue::Null)}}},
        {QStringLiteral("up_share"), number(f.rate(f.ups))},
        {QStringLiteral("pt"), QJsonObject{{QStringLiteral("statistic"), number(maybe(f.pt, [](const PtResult& t) { return t.statistic; }))},
                                           {QStringLiteral("p_value"), number(maybe(f.pt, [](const PtResult& t) { return t.pValue; }))}}},
    };
    addEvaluationJson(o, f);
    return o;
}
}  // namespace

QByteArray reportJson(const Report& r) {
    QJsonArray periods;
    for (const PeriodFigures& f : r.periods) periods.append(periodJson(f));
    QJsonObject doc{{QStringLiteral("schema"), 2},
                    {QStringLiteral("source"), r.live ? QStringLiteral("live") : QStringLiteral("backtest")},
                    {QStringLiteral("timeframe"), r.timeframe},
                    {QStringLiteral("timeframe_name"), r.timeframeName},
                    {QStringLiteral("from"), r.from},
                    {QStringLiteral("to"), r.to},
                    {QStringLiteral("steps"), r.steps},
                    {QStringLiteral("pending"), r.pending},
                    {QStringLiteral("periods"), periods},
                    {QStringLiteral("verdict"), r.verdict}};
    if (r.live) {
        doc.insert(QStringLiteral("workdir"), r.workDir);
    } else {
        doc.insert(QStringLiteral("every"), r.every);
        doc.insert(QStringLiteral("seed"), qint64(r.seed));
        doc.insert(QStringLiteral("passes"), r.passes);
        doc.insert(QStringLiteral("read_days"), r.readDays);
    }
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

namespace {
QStringList evaluationCsvHeader() {
    QStringList h{QStringLiteral("effective_n"), QStringLiteral("p_value_overlap"), QStringLiteral("wilson95_overlap_low"),
                  QStringLiteral("wilson95_overlap_high"), QStringLiteral("p_value_holm"), QStringLiteral("mae"),
                  QStringLiteral("rmse"), QStringLiteral("mae_no_change"), QStringLiteral("rmse_no_change"),
                  QStringLiteral("mae_ratio"), QStringLiteral("theil_u")};
    for (const char* dm : {"dm_squared", "dm_absolute"})
        for (const char* k : {"statistic", "p_two_sided", "p_better", "p_two_sided_holm"})
            h << QStringLiteral("%1_%2").arg(QLatin1String(dm), QLatin1String(k));
    for (const char* rule : ruleKeys)
        for (const char* k : {"hits", "hit_rate", "forecast_only", "baseline_only", "p_value", "p_value_overlap", "p_value_holm"})
            h << QStringLiteral("%1_%2").arg(QLatin1String(rule), QLatin1String(k));
    return h << QStringLiteral("sentence");
}

QStringList evaluationCsvFields(const evaluation::PeriodEvaluation& e) {
    const bool any = e.n > 0;
    auto given = [any](double v) { return any ? std::optional(v) : std::nullopt; };
    const evaluation::RandomWalk& w = e.randomWalk;
    QStringList v{csvNumber(given(e.effectiveN)), csvNumber(e.pOverlap),
                  csvRate(maybe(e.wilson95Overlap, [](const Interval& i) { return i.low; })),
                  csvRate(maybe(e.wilson95Overlap, [](const Interval& i) { return i.high; })), csvNumber(e.pHolm),
                  csvNumber(given(w.mae)), csvNumber(given(w.rmse)), csvNumber(given(w.maeNoChange)),
                  csvNumber(given(w.rmseNoChange)), csvNumber(w.maeRatio), csvNumber(w.theilU)};
    for (const evaluation::DmTest* t : {&w.squared, &w.absolute}) {
        const auto& d = t->result;
        v << csvNumber(maybe(d, [](const DmResult& x) { return x.statistic; }))
          << csvNumber(maybe(d, [](const DmResult& x) { return x.pTwoSided; }))
          << csvNumber(maybe(d, [](const DmResult& x) { return x.pBetter; })) << csvNumber(t->pTwoSidedHolm);
    }
    for (const evaluation::Baseline& b : e.baselines)
        v << QString::number(b.hits) << csvRate(e.rate(b.hits)) << QString::number(b.forecastOnly)
          << QString::number(b.baselineOnly) << csvNumber(given(b.pValue)) << csvNumber(given(b.pOverlap))
          << csvNumber(b.pHolm);
    return v << csvText(e.sentence);
}
}  // namespace

QStringList reportCsvLines(const Report& r) {
    QStringList lines{QStringLiteral(
        "timeframe,from,to,every,seed,passes,read_days,steps,pending,period,n,hits,misses,ties,period_pending,hit_rate,"
        "wilson95_low,wilson95_high,p_value,persistence_hits,persistence_hit_rate,persistence_p_value,up_share,"
        "pt_statistic,pt_p_value,") + evaluationCsvHeader().join(QLatin1Char(','))};
    for (const PeriodFigures& f : r.periods) {
        const bool any = f.n > 0;
        const auto own = [&](auto v) { return r.live ? QString() : QString::number(v); };
        QStringList v{QString::number(r.timeframe), r.from, r.to, own(r.every), own(r.seed),
                      own(r.passes), own(r.readDays), QString::number(r.steps),
                      QString::number(r.pending), QString::number(f.period), QString::number(f.n),
                      QString::number(f.hits), QString::number(f.misses), QString::number(f.ties),
                      QString::number(f.pending), csvRate(f.rate(f.hits)),
                      csvRate(maybe(f.wilson95, [](const Interval& i) { return i.low; })),
                      csvRate(maybe(f.wilson95, [](const Interval& i) { return i.high; })),
                      csvNumber(any ? std::optional(f.pValue) : std::nullopt), QString::number(f.persistenceHits),
                      csvRate(f.rate(f.persistenceHits)), csvNumber(any ? std::optional(f.persistencePValue) : std::nullopt),
                      csvRate(f.rate(f.ups)), csvNumber(maybe(f.pt, [](const PtResult& t) { return t.statistic; })),
                      csvNumber(maybe(f.pt, [](const PtResult& t) { return t.pValue; }))};
        lines.append((v + evaluationCsvFields(f.evaluation)).join(QLatin1Char(',')));
    }
    return lines;
}

namespace {
QString basicTable(const Report& r) {
    QString out = r.live ? evaluation::ReportTexts::liveHeader(r.timeframeName, r.steps, r.from, r.to, r.pending, r.workDir) +
                               QLatin1Char('\n')
                         : QStringLiteral("backtest %1 from %2 to %3, every %4 bar(s): %5 steps, seed %6, %7 passes, "
                                          "%8 read days, %9 periods pending\n")
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
    return out;
}

QString overlapTable(const Report& r) {
    using evaluation::ReportTexts;
    QString out = ReportTexts::overlapSection() + QLatin1Char('\n') + ReportTexts::overlapColumns() + QLatin1Char('\n');
    for (const PeriodFigures& f : r.periods) {
        const evaluation::PeriodEvaluation& e = f.evaluation;
        const QString w = e.wilson95Overlap ? percent(e.wilson95Overlap->low) + QLatin1Char('-') + percent(e.wilson95Overlap->high)
                                            : QStringLiteral("-");
        out += QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                   .arg(e.period, 6).arg(e.n, 6)
                   .arg(e.n > 0 ? QString::number(e.effectiveN, 'f', 1) : QStringLiteral("-"), 12)
                   .arg(pText(e.pOverlap), 10).arg(w, 24).arg(pText(e.pHolm), 7);
    }
    return out;
}

QString dmText(const evaluation::DmTest& t, bool any) {
    if (!any) return QStringLiteral("%1 %2 %3").arg(QStringLiteral("-"), 8).arg(QStringLiteral("-"), 10).arg(QStringLiteral("-"), 9);
    if (!t.result)
        return QStringLiteral("%1 %2 %3").arg(evaluation::ReportTexts::notPositive(), 8).arg(QStringLiteral("-"), 10).arg(QStringLiteral("-"), 9);
    return QStringLiteral("%1 %2 %3").arg(QString::number(t.result->statistic, 'f', 2), 8)
        .arg(pText(t.result->pTwoSided), 10).arg(pText(t.result->pBetter), 9);
}

QString randomWalkTable(const Report& r) {
    using evaluation::ReportTexts;
    QString out = ReportTexts::randomWalkSection() + QLatin1Char('\n') + ReportTexts::randomWalkColumns() + QLatin1Char('\n');
    for (const PeriodFigures& f : r.periods) {
        const evaluation::PeriodEvaluation& e = f.evaluation;
        const evaluation::RandomWalk& w = e.randomWalk;
        const bool any = e.n > 0;
        auto price = [any](double v) { return any ? QString::number(v, 'f', 1) : QStringLiteral("-"); };
        auto ratio = [](std::optional<double> v) { return v ? QString::number(*v, 'f', 3) : QStringLiteral("-"); };
        out += QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
                   .arg(e.period, 6).arg(price(w.mae), 8).arg(price(w.maeNoChange), 10).arg(ratio(w.maeRatio), 6)
                   .arg(price(w.rmse), 8).arg(price(w.rmseNoChange), 10).arg(ratio(w.theilU), 8)
                   .arg(dmText(w.squared, any), dmText(w.absolute, any));
    }
    return out;
}

QString rulesTable(const Report& r) {
    using evaluation::ReportTexts;
    QString out = ReportTexts::rulesSection() + QLatin1Char('\n') + ReportTexts::rulesColumns() + QLatin1Char('\n');
    for (const PeriodFigures& f : r.periods) {
        const evaluation::PeriodEvaluation& e = f.evaluation;
        QString line = QStringLiteral("%1").arg(e.period, 6);
        for (const evaluation::Baseline& b : e.baselines)
            line += QStringLiteral("  %1 %2 %3 %4 %5").arg(b.hits, 5).arg(percent(e.rate(b.hits)), 7)
                        .arg(b.forecastOnly, 4).arg(b.baselineOnly, 4).arg(pText(e.n > 0 ? std::optional(b.pOverlap) : std::nullopt), 7);
        out += line + QLatin1Char('\n');
    }
    return out;
}
}  // namespace

QString reportTable(const Report& r) {
    QString out = basicTable(r) + overlapTable(r) + randomWalkTable(r) + rulesTable(r) +
                  evaluation::ReportTexts::verdictSection() + QLatin1Char('\n');
    for (const PeriodFigures& f : r.periods) out += f.evaluation.sentence + QLatin1Char('\n');
    return out + r.verdict + QLatin1Char('\n');
}

}  // namespace backtest
