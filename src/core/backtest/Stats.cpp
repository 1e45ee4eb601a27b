#include "backtest/Stats.h"

#include <cmath>

namespace backtest {

std::optional<Interval> wilson(int hits, int n, double z) {
    if (n <= 0) return std::nullopt;
    const double p = double(hits) / n, z2 = z * z;
    const double denom = 1 + z2 / n;
    const double centre = (p + z2 / (2.0 * n)) / denom;
    const double half = z / denom * std::sqrt(p * (1 - p) / n + z2 / (4.0 * n * n));
    return Interval{std::max(0.0, centre - half), std::min(1.0, centre + half)};
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
