#pragma once
// The statistics of a backtest report: intervals and tests of hit counts against chance.
// Pure functions of counts; no files, no database.
#include <QString>
#include <optional>

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

// A count with thousands separators ("12,345").
QString grouped(long long v);
// A count rounded to two significant digits ("3,900" for 3862).
long long roughly(long long v);

}  // namespace backtest
