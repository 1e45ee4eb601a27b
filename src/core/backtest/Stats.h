#pragma once
// The statistics of a backtest report: intervals and tests of hit counts against chance.
// Pure functions of counts; no files, no database.
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace backtest {

// The Wilson score interval of `hits` in `n` at normal quantile z (95 %: 1.959964). Nothing
// for n = 0.
struct Interval {
    double low = 0, high = 0;
};
std::optional<Interval> wilson(int hits, int n, double z = 1.959963984540054);

// P(X >= hits) for X binomial(n, 1/2): the exact one-sided p-value of `hits` hits in `n`
// against a hit rate of 50 %. 1 for hits <= 0.
double binomialUpperTail(int hits, int n);

// P(Z >= z) for a standard normal Z.
double normalUpperTail(double z);

// A 2 x 2 table of direction forecasts against what followed (ties left out by the caller).
struct DirectionTable {
    int upUp = 0;      // forecast up, actual up
    int upDown = 0;    // forecast up, actual down
    int downUp = 0;    // forecast down, actual up
    int downDown = 0;  // forecast down, actual down
    int n() const { return upUp + upDown + downUp + downDown; }
};

// The Pesaran-Timmermann test of directional accuracy (Pesaran & Timmermann 1992, Journal
// of Business & Economic Statistics 10(4):461-465): the share of right directions against
// the share expected when forecast and outcome are independent with the same marginals,
// asymptotically standard normal; one-sided p-value P(Z >= statistic). Nothing when the
// variance is not positive: no pair, or every forecast or every outcome in one direction.
struct PtResult {
    double statistic = 0, pValue = 1;
};
std::optional<PtResult> pesaranTimmermann(const DirectionTable& t);

// The number of verified forecasts a true hit rate `rate` needs to be told from 50 % by a
// one-sided test at 5 % with 80 % power (normal approximation), rounded up. Nothing for a
// rate not above 50 % (or of 100 %, which any sample tells).
std::optional<long long> forecastsNeeded(double rate);

// What a trader reads about one forecast period: whether its hit rate is distinguishable from
// chance at 5 %, and if not, about how many more forecasts would tell.
QString periodSentence(int period, int hits, int n, double pValue);

// The regularized incomplete beta function I_x(a, b) for a, b > 0 and 0 <= x <= 1.
double incompleteBeta(double a, double b, double x);

// P(T <= t) for T Student-distributed with `df` > 0 degrees of freedom.
double studentLowerTail(double t, double df);

// P(X >= hits) for X binomial(n, 1/2), with hits and n scaled by effectiveN / n (a sample
// that holds the information of effectiveN independent forecasts): I_1/2(k, m - k + 1) with
// k = hits * effectiveN / n, m = effectiveN. Equal to binomialUpperTail(hits, n) when
// effectiveN is n (or more).
double scaledUpperTail(int hits, int n, double effectiveN);

// The Wilson interval of a rate observed on `effectiveN` forecasts (effectiveN may be
// fractional); wilson(hits, n) is wilsonOfRate(hits / n, n).
std::optional<Interval> wilsonOfRate(double rate, double effectiveN, double z = 1.959963984540054);

// The spread of a series of values taken at base bars `position` (ascending) by forecasts
// `horizon` bars ahead: two forecasts whose base bars lie fewer than `horizon` bars apart
// share bars and are counted as dependent. `variance` is the plain variance (divisor n);
// `longRun` adds twice the sum of the cross products of the dependent pairs over n (for
// base bars one bar apart: the autocovariances of lags 1 .. horizon-1, as for an h-step
// forecast error). Built one value at a time.
struct Spread {
    int n = 0;
    double mean = 0, variance = 0, longRun = 0;
    long long dependentPairs = 0;
    // The number of independent forecasts that would give the same variance of the mean:
    // n * variance / longRun, never above n (nor below 1); n without dependent pairs or where
    // the long-run variance is not larger than the plain one.
    double effectiveN() const;
};
class SpreadAccumulator {
public:
    explicit SpreadAccumulator(int horizon) : horizon_(horizon) {}
    // `position` must not be smaller than that of the value added before.
    void add(double value, qint64 position);
    Spread spread() const;

private:
    int horizon_;
    std::vector<std::pair<double, qint64>> window_;  // the values still within reach, in order
    size_t first_ = 0;                               // window_[first_..] are within reach
    double windowSum_ = 0;
    int n_ = 0;
    double sum_ = 0, squares_ = 0;
    double pairProducts_ = 0, pairSums_ = 0;  // over dependent pairs: x_i x_j and x_i + x_j
    long long pairs_ = 0;
};
Spread spreadOf(const std::vector<double>& values, const std::vector<qint64>& positions, int horizon);

// The Diebold-Mariano test of equal accuracy with the small-sample correction of Harvey,
// Leybourne and Newbold, for the loss differential d (loss of the forecast minus loss of the
// benchmark) of h-step forecasts: DM = mean(d) / sqrt(longRun / n), times
// sqrt((n + 1 - 2h + h(h - 1)/n) / n), against Student's t with n - 1 degrees of freedom.
// Positive when the forecast's loss is the larger; `pBetter` is the one-sided p-value that
// the forecast is the more accurate (P(T <= statistic)). Nothing when the long-run variance
// (or the correction) is not positive, or for fewer than 2 forecasts.
struct DmResult {
    double statistic = 0, pTwoSided = 1, pBetter = 1;
};
std::optional<DmResult> dieboldMariano(const Spread& lossDifference, int horizon);

// The exact McNemar test of two classifiers on the same cases: `firstOnly` cases right by the
// first alone, `secondOnly` by the second alone; two-sided p-value 2 P(X >= max) for X
// binomial(firstOnly + secondOnly, 1/2), at most 1. With effectiveShare < 1 (dependent cases)
// both counts are scaled by it first.
double mcnemarExact(int firstOnly, int secondOnly, double effectiveShare = 1);

// Holm's step-down adjustment of a family of p-values (nothing: not part of the family):
// the i-th smallest of m becomes max over j <= i of min(1, (m - j + 1) p_(j)).
std::vector<std::optional<double>> holm(const std::vector<std::optional<double>>& p);

// A count with thousands separators ("12,345").
QString grouped(long long v);
// A count rounded to two significant digits ("3,900" for 3862).
long long roughly(long long v);

}  // namespace backtest
