#include "backtest/Stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace backtest {

std::optional<Interval> wilson(int hits, int n, double z) {
    if (n <= 0) return std::nullopt;
    return wilsonOfRate(double(hits) / n, n, z);
}

namespace {
// P(X >= k) for k > n/2: the terms fall from k on, so they are summed relative to the first.
double fallingTail(int k, int n) {
    const double logFirst = std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) - n * std::log(2.0);
    double term = 1, sum = 0;
    for (int i = k; i <= n; ++i) {
        sum += term;
        term *= double(n - i) / (i + 1);
        if (term < 1e-17 * sum) break;
    }
    return std::exp(logFirst) * sum;
}
}  // namespace

double binomialUpperTail(int hits, int n) {
    if (hits <= 0) return 1;
    if (hits > n) return 0;
    // P(X >= k) = 1 - P(X <= k - 1) = 1 - P(X >= n - k + 1) by symmetry.
    if (2 * hits > n) return fallingTail(hits, n);
    return 1 - fallingTail(n - hits + 1, n);
}

double normalUpperTail(double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); }

std::optional<PtResult> pesaranTimmermann(const DirectionTable& t) {
    const double n = t.n();
    if (n <= 0) return std::nullopt;
    const double p = (t.upUp + t.downDown) / n;    // right directions
    const double py = (t.upUp + t.downUp) / n;     // outcomes up
    const double px = (t.upUp + t.upDown) / n;     // forecasts up
    const double pStar = py * px + (1 - py) * (1 - px);
    const double varP = pStar * (1 - pStar) / n;
    const double varPStar = (2 * py - 1) * (2 * py - 1) * px * (1 - px) / n +
                            (2 * px - 1) * (2 * px - 1) * py * (1 - py) / n + 4 * py * px * (1 - py) * (1 - px) / (n * n);
    const double var = varP - varPStar;
    if (!(var > 1e-15)) return std::nullopt;
    const double s = (p - pStar) / std::sqrt(var);
    return PtResult{s, normalUpperTail(s)};
}

std::optional<long long> forecastsNeeded(double rate) {
    if (!(rate > 0.5) || rate >= 1) return std::nullopt;
    constexpr double zAlpha = 1.6448536269514722;  // one-sided 5 %
    constexpr double zBeta = 0.8416212335729143;   // 80 % power
    const double root = (zAlpha * 0.5 + zBeta * std::sqrt(rate * (1 - rate))) / (rate - 0.5);
    return (long long)std::ceil(root * root);
}

namespace {
// The continued fraction of I_x(a, b) (modified Lentz), good for x < (a + 1) / (a + b + 2).
double betaFraction(double a, double b, double x) {
    constexpr double tiny = 1e-300, epsilon = 1e-15;
    double c = 1, d = 1 - (a + b) * x / (a + 1);
    if (std::fabs(d) < tiny) d = tiny;
    d = 1 / d;
    double f = d;
    for (int m = 1; m <= 1000; ++m) {
        for (int half = 0; half < 2; ++half) {
            const double num = half == 0 ? m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m))
                                         : -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1));
            d = 1 + num * d;
            if (std::fabs(d) < tiny) d = tiny;
            c = 1 + num / c;
            if (std::fabs(c) < tiny) c = tiny;
            d = 1 / d;
            f *= d * c;
            if (half == 1 && std::fabs(d * c - 1) < epsilon) return f;
        }
    }
    return f;
}
}  // namespace

double incompleteBeta(double a, double b, double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    const double logFront = std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x);
    if (x < (a + 1) / (a + b + 2)) return std::exp(logFront) * betaFraction(a, b, x) / a;
    return 1 - std::exp(logFront) * betaFraction(b, a, 1 - x) / b;
}

double studentLowerTail(double t, double df) {
    const double tail = 0.5 * incompleteBeta(df / 2, 0.5, df / (df + t * t));  // P(T >= |t|)
    return t > 0 ? 1 - tail : tail;
}

double scaledUpperTail(int hits, int n, double effectiveN) {
    if (effectiveN >= n || n <= 0) return binomialUpperTail(hits, n);
    if (hits <= 0) return 1;
    if (hits > n) return 0;
    const double k = hits * effectiveN / n;
    return incompleteBeta(k, effectiveN - k + 1, 0.5);
}

std::optional<Interval> wilsonOfRate(double p, double n, double z) {
    if (!(n > 0)) return std::nullopt;
    const double z2 = z * z;
    const double denom = 1 + z2 / n;
    const double centre = (p + z2 / (2.0 * n)) / denom;
    const double half = z / denom * std::sqrt(p * (1 - p) / n + z2 / (4.0 * n * n));
    return Interval{std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

double Spread::effectiveN() const {
    if (dependentPairs == 0 || !(variance > 0) || !(longRun > variance)) return n;
    return std::max(1.0, n * variance / longRun);
}

void SpreadAccumulator::add(double value, qint64 position) {
    while (first_ < window_.size() && position - window_[first_].second >= horizon_) windowSum_ -= window_[first_++].first;
    const long long within = (long long)(window_.size() - first_);
    pairProducts_ += value * windowSum_;
    pairSums_ += within * value + windowSum_;
    pairs_ += within;
    window_.emplace_back(value, position);
    windowSum_ += value;
    if (first_ > 64 && 2 * first_ > window_.size()) {  // drop what is out of reach for good
        window_.erase(window_.begin(), window_.begin() + std::ptrdiff_t(first_));
        first_ = 0;
    }
    ++n_;
    sum_ += value;
    squares_ += value * value;
}

Spread SpreadAccumulator::spread() const {
    Spread s;
    s.n = n_;
    s.dependentPairs = pairs_;
    if (n_ == 0) return s;
    const double m = sum_ / n_;
    s.mean = m;
    s.variance = std::max(0.0, squares_ / n_ - m * m);
    // Over the dependent pairs: sum of (x_i - m)(x_j - m) = sum x_i x_j - m sum (x_i + x_j) + pairs m².
    const double cross = pairProducts_ - m * pairSums_ + double(pairs_) * m * m;
    s.longRun = s.variance + 2 * cross / n_;
    return s;
}

Spread spreadOf(const std::vector<double>& values, const std::vector<qint64>& positions, int horizon) {
    SpreadAccumulator a(horizon);
    for (size_t i = 0; i < values.size(); ++i) a.add(values[i], positions[i]);
    return a.spread();
}

std::optional<DmResult> dieboldMariano(const Spread& d, int h) {
    const double n = d.n;
    if (n < 2 || !(d.longRun > 0)) return std::nullopt;
    const double correction = (n + 1 - 2.0 * h + h * (h - 1.0) / n) / n;
    if (!(correction > 0)) return std::nullopt;
    const double statistic = d.mean / std::sqrt(d.longRun / n) * std::sqrt(correction);
    const double lower = studentLowerTail(statistic, n - 1);
    return DmResult{statistic, std::min(1.0, 2 * studentLowerTail(-std::fabs(statistic), n - 1)), lower};
}

double mcnemarExact(int firstOnly, int secondOnly, double share) {
    const int discordant = firstOnly + secondOnly;
    if (discordant == 0) return 1;
    const int larger = std::max(firstOnly, secondOnly);
    const double tail = share >= 1 ? binomialUpperTail(larger, discordant)
                                   : scaledUpperTail(larger, discordant, discordant * share);
    return std::min(1.0, 2 * tail);
}

std::vector<std::optional<double>> holm(const std::vector<std::optional<double>>& p) {
    std::vector<size_t> order;
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i]) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return *p[a] < *p[b]; });
    std::vector<std::optional<double>> out(p.size());
    const size_t m = order.size();
    double running = 0;
    for (size_t j = 0; j < m; ++j) {
        running = std::max(running, std::min(1.0, double(m - j) * *p[order[j]]));
        out[order[j]] = running;
    }
    return out;
}

QString grouped(long long v) {
    QString digits = QString::number(v < 0 ? -v : v);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
    return v < 0 ? QLatin1Char('-') + digits : digits;
}

long long roughly(long long v) {
    long long scale = 1;
    while (v / scale >= 100) scale *= 10;
    return (v + scale / 2) / scale * scale;
}

namespace {
QString percent(double fraction) { return QString::number(100 * fraction, 'f', 1) + QStringLiteral(" %"); }
QString pText(double p) { return p < 0.0001 ? QStringLiteral("p < 0.0001") : QStringLiteral("p = ") + QString::number(p, 'f', 4); }
}  // namespace

QString periodSentence(int period, int hits, int n, double pValue) {
    const QString head = QStringLiteral("Period %1: ").arg(period);
    if (n <= 0) return head + QStringLiteral("no verified forecast yet.");
    const double rate = double(hits) / n;
    const Interval w = *wilson(hits, n);
    QString s = head + QStringLiteral("%1 hits in %2 verified forecasts (%3, 95 % interval %4 to %5) ")
                           .arg(grouped(hits), grouped(n), percent(rate), percent(w.low), percent(w.high));
    if (pValue < 0.05) return s + QStringLiteral("are distinguishable from chance at 5 % (%1).").arg(pText(pValue));
    s += QStringLiteral("are not distinguishable from chance at 5 % (%1); ").arg(pText(pValue));
    const std::optional<long long> need = forecastsNeeded(rate);
    if (!need) return s + QStringLiteral("a hit rate not above 50 % shows no skill, however many forecasts are added.");
    s += QStringLiteral("if %1 were the true rate, about %2 verified forecasts would be needed to tell it from 50 % "
                        "(80 % power)")
             .arg(percent(rate), grouped(roughly(*need)));
    if (*need > n) return s + QStringLiteral(", about %1 more.").arg(grouped(roughly(*need - n)));
    return s + QStringLiteral(": about as many as there are, so the result is on the edge.");
}

}  // namespace backtest
