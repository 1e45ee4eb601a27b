#pragma once
// How good the forecasts of one timeframe were, judged as forecasts of exchange rates are
// judged: per forecast period the price error against the random walk ("no change") with the
// Diebold-Mariano test, the direction against the naive rules "always up", "always down" and
// persistence on the same base bars, the hit rate against chance allowing for forecasts that
// share bars, Holm's adjustment across the periods, and a verdict in words. Pure: the
// verified forecasts come in as a list, from a backtest's runs or from the live record.
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "backtest/Stats.h"

struct Timeframe;

namespace evaluation {

// One verified forecast period of one run.
struct VerifiedForecast {
    int period = 0;                      // 1 .. the timeframe's periods
    QString baseTime;                    // local date and time of the base bar, "yyyy/mm/dd hh:nn"
    qint64 baseBar = 0;                  // the base bar's place among the timeframe's bars (grows with time)
    int baseClose = 0, forecastClose = 0, actualClose = 0;  // thousandths of a yen
    std::optional<int> previousClose;    // the close of the bar before the base bar; none: no move known
    bool hit = false;                    // as the verification stored it
};

// The naive rules, on the same base bars as the forecasts.
enum class Rule { AlwaysUp, AlwaysDown, Persistence };
inline constexpr std::array<Rule, 3> rules{Rule::AlwaysUp, Rule::AlwaysDown, Rule::Persistence};
// Whether the rule's direction was right: up, down, or the base bar's own move continued (no
// move: no direction, a miss), against the actual close's side of the base close.
bool ruleHit(Rule rule, const VerifiedForecast& f);

struct Baseline {
    int hits = 0;
    int forecastOnly = 0, baselineOnly = 0;  // the discordant pairs of the paired comparison
    double pValue = 1;                       // exact McNemar, two-sided
    double pOverlap = 1;                     // the same with the pairs' dependence allowed for
    std::optional<double> pHolm;             // Holm's adjustment of pOverlap across the periods
};

struct DmTest {
    std::optional<backtest::DmResult> result;  // nothing: the long-run variance is not positive
    std::optional<double> pTwoSidedHolm;        // across the periods
};

struct RandomWalk {
    double mae = 0, rmse = 0, maeNoChange = 0, rmseNoChange = 0;  // thousandths of a yen
    std::optional<double> maeRatio, theilU;                       // nothing when no change made no error
    DmTest squared, absolute;
};

// The running figures after each base bar that added a verified forecast, for the chart.
struct RunningPoint {
    QString baseTime;
    double rate = 0, low = 0, high = 0;  // hit rate and its overlap-aware Wilson band
    double alwaysUp = 0, persistence = 0;
};

struct PeriodEvaluation {
    int period = 0;
    int n = 0, hits = 0;
    double effectiveN = 0;                  // independent forecasts the hits are worth (n without overlap)
    std::optional<double> pValue, pOverlap, pHolm;  // one-sided against 50 %; nothing for n = 0
    std::optional<backtest::Interval> wilson95, wilson95Overlap;
    RandomWalk randomWalk;
    std::array<Baseline, 3> baselines;      // in the order of `rules`
    std::vector<RunningPoint> running;
    QString sentence;                       // the verdict on this period
    std::optional<double> rate(int count) const { return n > 0 ? std::optional(double(count) / n) : std::nullopt; }
};

struct Evaluation {
    int timeframe = 0;
    std::vector<PeriodEvaluation> periods;  // 1 .. the timeframe's periods
    QString verdict;                        // one sentence on the timeframe
};

// Judges the verified forecasts of timeframe `t` (in any order; those of periods outside
// 1 .. t.periods are left out). Forecasts whose base bars lie fewer bars apart than their period
// share bars: the long-run variances over those pairs (lags 0 .. h-1 for base bars one bar
// apart) carry the dependence into the Diebold-Mariano statistic, the effective number of
// forecasts, the overlap-aware p-values and the interval.
Evaluation evaluate(const Timeframe& t, std::vector<VerifiedForecast> forecasts);

}  // namespace evaluation
