#include "backtest/ReportTexts.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <cmath>

#include "backtest/Evaluation.h"
#include "backtest/Stats.h"

namespace evaluation {

QString ReportTexts::percent(double fraction) { return QString::number(100 * fraction, 'f', 1) + QStringLiteral(" %"); }

QString ReportTexts::pValue(double p) {
    return p < 0.0001 ? tr("p < 0.0001") : tr("p = %1").arg(QString::number(p, 'f', 4));
}

QString ReportTexts::yen(double thousandths) { return QString::number(thousandths, 'f', 1); }

QString ReportTexts::ruleName(Rule rule) {
    switch (rule) {
    case Rule::AlwaysUp: return tr("always buying");
    case Rule::AlwaysDown: return tr("always selling");
    case Rule::Persistence: return tr("persistence (the base bar's move goes on)");
    }
    return {};
}

QString ReportTexts::noForecast(int period) { return tr("Period %1: no verified forecast yet.").arg(period); }

QString ReportTexts::chance(int period, int hits, int n, double rate, double low, double high, double effectiveN,
                            double pHolm, std::optional<long long> needed) {
    QString worth;
    if (effectiveN < n)
        worth = tr(", worth %1 independent forecasts as they overlap").arg(QString::number(effectiveN, 'f', 1));
    QString s = tr("Period %1: %2 hits in %3 verified forecasts (%4, 95 % interval %5 to %6%7) ")
                    .arg(period)
                    .arg(backtest::grouped(hits), backtest::grouped(n), percent(rate), percent(low), percent(high), worth);
    if (pHolm < 0.05 && rate > 0.5) return s + tr("beat chance at 5 % (%1 after Holm's adjustment across the periods)").arg(pValue(pHolm));
    s += tr("are not distinguishable from chance at 5 % (%1 after Holm's adjustment across the periods)").arg(pValue(pHolm));
    if (needed && double(*needed) > effectiveN)
        s += tr(", and at this rate about %1 independent forecasts would be needed to tell it from 50 %")
                 .arg(backtest::grouped(backtest::roughly(*needed)));
    return s;
}

QString ReportTexts::againstRule(Rule rule, double forecastRate, double ruleRate, std::optional<double> pHolm) {
    const QString name = ruleName(rule), rate = percent(ruleRate);
    const QString p = pHolm ? pValue(*pHolm) : QString();
    const bool significant = pHolm && *pHolm < 0.05;
    if (forecastRate == ruleRate) return tr("level with %1 (%2)").arg(name, rate);
    if (forecastRate < ruleRate)
        return significant ? tr("significantly worse than %1 (%2, %3)").arg(name, rate, p)
                           : tr("worse than %1 (%2, %3, not significant)").arg(name, rate, p);
    return significant ? tr("significantly better than %1 (%2, %3)").arg(name, rate, p)
                       : tr("better than %1 (%2, %3, not significant)").arg(name, rate, p);
}

QString ReportTexts::againstNoChange(double mae, double maeNoChange, std::optional<double> pHolm) {
    const QString a = yen(mae), b = yen(maeNoChange);
    const QString p = pHolm ? pValue(*pHolm) : tr("no Diebold-Mariano test: the long-run variance is not positive");
    const bool significant = pHolm && *pHolm < 0.05;
    if (mae == maeNoChange) return tr("as far off as no change (mean absolute error %1 thousandths of a yen)").arg(a);
    if (mae > maeNoChange)
        return significant ? tr("significantly further off than no change (mean absolute error %1 against %2, %3)").arg(a, b, p)
                           : tr("further off than no change (mean absolute error %1 against %2, %3, not significant)").arg(a, b, p);
    return significant ? tr("significantly closer than no change (mean absolute error %1 against %2, %3)").arg(a, b, p)
                       : tr("closer than no change (mean absolute error %1 against %2, %3, not significant)").arg(a, b, p);
}

QString ReportTexts::sentence(const QString& head, const QStringList& clauses) {
    QString s = head;
    for (const QString& c : clauses) s += tr("; ") + c;
    return s + tr(".");
}

QString ReportTexts::verdict(const QString& name, int periods, int chance, int allRules, int randomWalk, const QString& skilled) {
    QString s = tr("%1: of %2 periods, %3 beat chance, %4 beat all three naive rules and %5 came closer than no change "
                   "(at 5 %, Holm-adjusted across the periods, overlapping forecasts allowed for).")
                    .arg(name)
                    .arg(periods)
                    .arg(chance)
                    .arg(allRules)
                    .arg(randomWalk);
    if (skilled.isEmpty()) return s + tr(" No period shows skill beyond chance, the naive rules and the random walk.");
    return s + tr(" Skill against all of them: period(s) %1.").arg(skilled);
}

QString ReportTexts::noVerdict(const QString& name) { return tr("%1: no verified forecast yet.").arg(name); }

QString ReportTexts::noVerifiedForecast(const QString& name, const QString& dbFile) {
    return tr("%1: %2 holds no verified forecast; nothing to evaluate").arg(name, dbFile);
}

QString ReportTexts::overlapSection() { return tr("Hit rate against chance, overlapping forecasts allowed for:"); }
QString ReportTexts::overlapColumns() {
    return tr("period      n  effective n  p overlap   95 % interval (overlap)  p Holm");
}
QString ReportTexts::randomWalkSection() {
    return tr("Price error against the random walk (no change), thousandths of a yen; Diebold-Mariano with the "
              "Harvey-Leybourne-Newbold correction, positive when the forecast is further off:");
}
QString ReportTexts::randomWalkColumns() {
    return tr("period      MAE  no change  ratio     RMSE  no change  Theil U   DM sq.  p 2-sided  p better   DM abs.  p 2-sided  p better");
}
QString ReportTexts::rulesSection() {
    return tr("Direction against the naive rules on the same base bars (hits, rate; exact McNemar: forecast only, "
              "rule only, p with overlap allowed for):");
}
QString ReportTexts::rulesColumns() {
    return tr("period  always up                        always down                      persistence");
}
QString ReportTexts::verdictSection() { return tr("Verdict:"); }
QString ReportTexts::notPositive() { return tr("not positive"); }

QString ReportTexts::liveHeader(const QString& name, int runs, const QString& from, const QString& to, int pending,
                                const QString& workDir) {
    return tr("evaluate %1: the live record of %2, %3 runs from %4 to %5, %6 periods pending")
        .arg(name, workDir)
        .arg(runs)
        .arg(from, to)
        .arg(pending);
}

QString ReportTexts::backtestTitle(const QString& name, const QString& from, const QString& to, int every, int steps,
                                   unsigned seed, int passes, int readDays) {
    return tr("Backtest %1: %2 to %3, every %4, %5 steps, seed %6, %7 passes, %8 read days")
        .arg(name, from, to)
        .arg(every)
        .arg(steps)
        .arg(seed)
        .arg(passes)
        .arg(readDays);
}
QString ReportTexts::liveTitle(const QString& name, int runs, const QString& from, const QString& to) {
    return tr("Live record %1: %2 runs, %3 to %4").arg(name).arg(runs).arg(from, to);
}
QString ReportTexts::panelTitle(int period, int n, const QString& rate, const QString& effectiveN) {
    return tr("Period %1: %2 verified (worth %3), hit rate %4").arg(period).arg(n).arg(effectiveN, rate);
}
QString ReportTexts::hitRateLine() { return tr("hit rate"); }
QString ReportTexts::bandArea() { return tr("95 % band (overlap allowed for)"); }
QString ReportTexts::alwaysUpLine() { return tr("always up"); }
QString ReportTexts::persistenceLine() { return tr("persistence"); }
QString ReportTexts::halfLine() { return tr("50 %"); }
QString ReportTexts::rateAxis() { return tr("hit rate %"); }
QString ReportTexts::timeAxis() { return tr("base bar (local time)"); }

QString localeLanguage(const QString& lcAll, const QString& lcMessages, const QString& lang) {
    for (const QString& v : {lcAll, lcMessages, lang})
        if (!v.isEmpty()) return v.startsWith(QLatin1String("ja")) ? QStringLiteral("ja") : QStringLiteral("en");
    return QStringLiteral("ja");
}

QString installTranslation(const QString& lang) {
    const QString chosen = !lang.isEmpty() ? lang
                                           : localeLanguage(qEnvironmentVariable("LC_ALL"), qEnvironmentVariable("LC_MESSAGES"),
                                                            qEnvironmentVariable("LANG"));
    static QTranslator* japanese = nullptr;
    if (japanese) {
        QCoreApplication::removeTranslator(japanese);
        delete japanese;
        japanese = nullptr;
    }
    if (chosen == QLatin1String("ja")) {
        auto* t = new QTranslator;
        if (t->load(QStringLiteral(":/i18n/velkor_ja.qm")) && QCoreApplication::installTranslator(t)) japanese = t;
        else delete t;
    }
    return chosen;
}

}  // namespace evaluation
