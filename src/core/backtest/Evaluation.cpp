#include "backtest/Evaluation.h"

#include <algorithm>
#include <cmath>

#include "app/Timeframe.h"
#include "backtest/ReportTexts.h"

namespace evaluation {

using backtest::Spread;
using backtest::SpreadAccumulator;

bool ruleHit(Rule rule, const VerifiedForecast& f) {
    const int b = f.baseClose, a = f.actualClose;
    switch (rule) {
    case Rule::AlwaysUp: return a > b;
    case Rule::AlwaysDown: return a < b;
    case Rule::Persistence: {
        const int move = f.previousClose ? b - *f.previousClose : 0;
        return (move > 0 && a > b) || (move < 0 && a < b);
    }
    }
    return false;
}

namespace {

// The forecasts of one period in base-bar order, with the series each test reads.
struct PeriodSeries {
    std::vector<const VerifiedForecast*> forecasts;
    std::vector<qint64> bars;
    std::vector<double> series(double (*of)(const VerifiedForecast&)) const {
        std::vector<double> v;
        v.reserve(forecasts.size());
        for (const VerifiedForecast* f : forecasts) v.push_back(of(*f));
        return v;
    }
};

double forecastError(const VerifiedForecast& f) { return double(f.actualClose) - f.forecastClose; }
double noChangeError(const VerifiedForecast& f) { return double(f.actualClose) - f.baseClose; }

RandomWalk randomWalk(const PeriodSeries& s, int horizon) {
    RandomWalk r;
    const double n = double(s.forecasts.size());
    std::vector<double> squared, absolute;
    for (const VerifiedForecast* f : s.forecasts) {
        const double e1 = forecastError(*f), e2 = noChangeError(*f);
        r.mae += std::fabs(e1) / n;
        r.maeNoChange += std::fabs(e2) / n;
        r.rmse += e1 * e1 / n;
        r.rmseNoChange += e2 * e2 / n;
        squared.push_back(e1 * e1 - e2 * e2);
        absolute.push_back(std::fabs(e1) - std::fabs(e2));
    }
    r.rmse = std::sqrt(r.rmse);
    r.rmseNoChange = std::sqrt(r.rmseNoChange);
    if (r.maeNoChange > 0) r.maeRatio = r.mae / r.maeNoChange;
    if (r.rmseNoChange > 0) r.theilU = r.rmse / r.rmseNoChange;
    r.squared.result = backtest::dieboldMariano(backtest::spreadOf(squared, s.bars, horizon), horizon);
    r.absolute.result = backtest::dieboldMariano(backtest::spreadOf(absolute, s.bars, horizon), horizon);
    return r;
}

// The paired comparison of the forecast's hits with a rule's: the discordant pairs, and the
// share of independent information in the series of their signs (+1 forecast only, -1 rule
// only, 0 agreed).
Baseline baseline(const PeriodSeries& s, Rule rule, int horizon) {
    Baseline b;
    SpreadAccumulator signs(horizon);
    for (size_t i = 0; i < s.forecasts.size(); ++i) {
        const VerifiedForecast& f = *s.forecasts[i];
        const bool other = ruleHit(rule, f);
        b.hits += other ? 1 : 0;
        const int sign = f.hit == other ? 0 : f.hit ? 1 : -1;
        b.forecastOnly += sign > 0 ? 1 : 0;
        b.baselineOnly += sign < 0 ? 1 : 0;
        signs.add(sign, s.bars[i]);
    }
    const Spread spread = signs.spread();
    b.pValue = backtest::mcnemarExact(b.forecastOnly, b.baselineOnly);
    b.pOverlap = backtest::mcnemarExact(b.forecastOnly, b.baselineOnly, spread.n > 0 ? spread.effectiveN() / spread.n : 1);
    return b;
}

// Hits, the overlap-aware figures and the running points of the chart in one pass.
void hitFigures(const PeriodSeries& s, int horizon, PeriodEvaluation& e) {
    SpreadAccumulator hits(horizon);
    int up = 0, persistence = 0;
    for (size_t i = 0; i < s.forecasts.size(); ++i) {
        const VerifiedForecast& f = *s.forecasts[i];
        e.hits += f.hit ? 1 : 0;
        up += ruleHit(Rule::AlwaysUp, f) ? 1 : 0;
        persistence += ruleHit(Rule::Persistence, f) ? 1 : 0;
        hits.add(f.hit ? 1 : 0, s.bars[i]);
        const Spread sp = hits.spread();
        const double k = double(i + 1);
        const backtest::Interval band = *backtest::wilsonOfRate(sp.mean, sp.effectiveN());
        e.running.push_back({f.baseTime, sp.mean, band.low, band.high, up / k, persistence / k});
    }
    e.n = int(s.forecasts.size());
    if (e.n == 0) return;
    e.effectiveN = hits.spread().effectiveN();
    e.pValue = backtest::binomialUpperTail(e.hits, e.n);
    e.pOverlap = backtest::scaledUpperTail(e.hits, e.n, e.effectiveN);
    e.wilson95 = backtest::wilson(e.hits, e.n);
    e.wilson95Overlap = backtest::wilsonOfRate(double(e.hits) / e.n, e.effectiveN);
}

PeriodEvaluation periodEvaluation(int period, const PeriodSeries& s) {
    PeriodEvaluation e;
    e.period = period;
    hitFigures(s, period, e);
    if (e.n == 0) return e;
    e.randomWalk = randomWalk(s, period);
    for (size_t r = 0; r < rules.size(); ++r) e.baselines[r] = baseline(s, rules[r], period);
    return e;
}

// Holm's adjustment across the periods of one p-value of each period.
template <class Get, class Set>
void adjust(std::vector<PeriodEvaluation>& periods, Get get, Set set) {
    std::vector<std::optional<double>> p;
    for (const PeriodEvaluation& e : periods) p.push_back(e.n > 0 ? get(e) : std::nullopt);
    const std::vector<std::optional<double>> adjusted = backtest::holm(p);
    for (size_t i = 0; i < periods.size(); ++i) set(periods[i], adjusted[i]);
}

void adjustAll(std::vector<PeriodEvaluation>& periods) {
    adjust(periods, [](const PeriodEvaluation& e) { return e.pOverlap; },
           [](PeriodEvaluation& e, std::optional<double> p) { e.pHolm = p; });
    for (size_t r = 0; r < rules.size(); ++r)
        adjust(periods, [r](const PeriodEvaluation& e) { return std::optional(e.baselines[r].pOverlap); },
               [r](PeriodEvaluation& e, std::optional<double> p) { e.baselines[r].pHolm = p; });
    for (DmTest RandomWalk::*test : {&RandomWalk::squared, &RandomWalk::absolute}) {
        auto two = [test](const PeriodEvaluation& e) {
            const auto& result = (e.randomWalk.*test).result;
            return result ? std::optional(result->pTwoSided) : std::nullopt;
        };
        adjust(periods, two, [test](PeriodEvaluation& e, std::optional<double> p) { (e.randomWalk.*test).pTwoSidedHolm = p; });
    }
}

}  // namespace

namespace {

bool beatsChance(const PeriodEvaluation& e) { return e.pHolm && *e.pHolm < 0.05 && 2 * e.hits > e.n; }
bool beatsRule(const PeriodEvaluation& e, size_t r) {
    const Baseline& b = e.baselines[r];
    return b.pHolm && *b.pHolm < 0.05 && e.hits > b.hits;
}
bool beatsRandomWalk(const PeriodEvaluation& e) {
    const DmTest& t = e.randomWalk.absolute;
    return t.pTwoSidedHolm && *t.pTwoSidedHolm < 0.05 && e.randomWalk.mae < e.randomWalk.maeNoChange;
}

QString periodSentence(const PeriodEvaluation& e) {
    if (e.n == 0) return ReportTexts::noForecast(e.period);
    const double rate = double(e.hits) / e.n;
    const QString head = ReportTexts::chance(e.period, e.hits, e.n, rate, e.wilson95Overlap->low, e.wilson95Overlap->high,
                                             e.effectiveN, e.pHolm.value_or(1), backtest::forecastsNeeded(rate));
    QStringList clauses;
    for (size_t r = 0; r < rules.size(); ++r)
        clauses << ReportTexts::againstRule(rules[r], rate, double(e.baselines[r].hits) / e.n, e.baselines[r].pHolm);
    clauses << ReportTexts::againstNoChange(e.randomWalk.mae, e.randomWalk.maeNoChange, e.randomWalk.absolute.pTwoSidedHolm);
    return ReportTexts::sentence(head, clauses);
}

QString timeframeVerdict(const Timeframe& t, const std::vector<PeriodEvaluation>& periods) {
    int verified = 0, chance = 0, allRules = 0, randomWalk = 0;
    QStringList skilled;
    for (const PeriodEvaluation& e : periods) {
        if (e.n == 0) continue;
        ++verified;
        const bool rulesBeaten = beatsRule(e, 0) && beatsRule(e, 1) && beatsRule(e, 2);
        chance += beatsChance(e) ? 1 : 0;
        allRules += rulesBeaten ? 1 : 0;
        randomWalk += beatsRandomWalk(e) ? 1 : 0;
        if (beatsChance(e) && rulesBeaten && beatsRandomWalk(e)) skilled << QString::number(e.period);
    }
    if (verified == 0) return ReportTexts::noVerdict(t.name);
    return ReportTexts::verdict(t.name, verified, chance, allRules, randomWalk, skilled.join(QStringLiteral(", ")));
}

}  // namespace

Evaluation evaluate(const Timeframe& t, std::vector<VerifiedForecast> forecasts) {
    std::stable_sort(forecasts.begin(), forecasts.end(), [](const VerifiedForecast& a, const VerifiedForecast& b) {
        return a.baseBar != b.baseBar ? a.baseBar < b.baseBar : a.baseTime < b.baseTime;
    });
    std::vector<PeriodSeries> byPeriod(size_t(t.periods));
    for (const VerifiedForecast& f : forecasts) {
        if (f.period < 1 || f.period > t.periods) continue;
        PeriodSeries& s = byPeriod[size_t(f.period - 1)];
        s.forecasts.push_back(&f);
        s.bars.push_back(f.baseBar);
    }
    Evaluation ev;
    ev.timeframe = t.code;
    for (int p = 1; p <= t.periods; ++p) ev.periods.push_back(periodEvaluation(p, byPeriod[size_t(p - 1)]));
    adjustAll(ev.periods);
    for (PeriodEvaluation& e : ev.periods) e.sentence = periodSentence(e);
    ev.verdict = timeframeVerdict(t, ev.periods);
    return ev;
}

}  // namespace evaluation
