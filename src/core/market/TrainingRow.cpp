#include "market/TrainingRow.h"

#include <cmath>

#include "app/Format.h"
#include "net/Scaling.h"

namespace market {

namespace {

double clamp01(double r) { return r > 1 ? 1 : r < 0 ? 0 : r; }
double atMost1(double r) { return r > 1 ? 1 : r; }

// Weekday (1 Sunday .. 7 Saturday, over 7) and the time of day as a point on a circle.
void calendar(TrainingRow& r, const QDateTime& when) {
    const int dow = when.date().dayOfWeek() % 7 + 1;
    const int m = when.time().hour() * 60 + when.time().minute();
    const double angle = 2 * M_PI * m / 1440;
    r[WEEK] = fmt::frac6(dow / 7.0);
    r[SIN] = fmt::frac6((std::sin(angle) + 1) / 2);
    r[COS] = fmt::frac6((std::cos(angle) + 1) / 2);
    if (r[SIN].isEmpty()) r[SIN] = QStringLiteral("0");
    if (r[COS].isEmpty()) r[COS] = QStringLiteral("0");
}

// The distances of high and low from the close, the close in its window and its changes.
void prices(TrainingRow& r, int h, int l, int c, const WindowScale& w, int closeScale, double slopeMultiplier) {
    if (c <= 0) return;
    int d = std::max(0, h - c);
    r[HV2] = QString::number(d);
    r[HV3] = fmt::frac6(atMost1(guardedDivide(d, double(w.high[0]) - w.close[1])));
    d = c - l;
    r[LV2] = QString::number(d);
    r[LV3] = fmt::frac6(clamp01(guardedDivide(d, double(w.close[0]) - w.low[1])));
    r[CV2] = QString::number(w.close[2]);
    r[CV3] = fmt::frac6(scaleIntoWindow(c, w.close[1], w.close[2]));
    for (TrainingColumn before : {SLP11, SLP21, SLP31}) {
        if (r[before].isEmpty()) continue;
        const int change = c - textToInt(r[before]);
        r[TrainingColumn(before + 1)] = QString::number(change);
        r[TrainingColumn(before + 2)] = fmt::frac6(changeAroundHalf(change, closeScale, slopeMultiplier));
    }
}

// The moving averages in their windows (the 20-bar and 1-hour ones against their minimum).
void averages(TrainingRow& r, int m05, int m20, int m1h, const WindowScale& w) {
    if (m05 <= 0) return;
    r[M052] = QString::number(w.m05[2]);
    r[M053] = fmt::frac6(scaleIntoWindow(m05, w.m05[1], w.m05[2]));
    r[M202] = QString::number(w.m20[1]);
    r[M203] = fmt::frac6(scaleIntoWindow(m20, w.m20[1], w.m20[2]));
    r[M1H2] = QString::number(w.m1h[1]);
    r[M1H3] = fmt::frac6(scaleIntoWindow(m1h, w.m1h[1], w.m1h[2]));
}

// The ATR in its window and the RSI as a fraction of 100.
void oscillators(TrainingRow& r, double atr, double rsi, const WindowScale& w) {
    if (atr != 0) {
        r[ATR1] = fmt::frac6(atr);
        r[ATR2] = fmt::frac6(clamp01(guardedDivide(atr - w.atr[1], w.atr[2]) * 0.8 + 0.1));
    }
    if (rsi > 0) {
        r[RSI1] = fmt::frac6(rsi);
        r[RSI2] = fmt::frac6(atMost1(guardedDivide(rsi, 100)));
    }
}

// An average's distance above its lower band and its position between the bands.
void band(TrainingRow& r, TrainingColumn first, int average, const DbValue& lower, const DbValue& upper) {
    r[first] = lower.asString();
    if (average <= 0) return;
    const int b = lower.asInteger();
    const int u = upper.asInteger();
    const qint64 d = qint64(average) - b;
    r[TrainingColumn(first + 1)] = QString::number(d);
    r[TrainingColumn(first + 2)] = fmt::frac6(clamp01(guardedDivide(double(d), double(u) - b)));
}

}  // namespace

TrainingRow trainingRow(int n, const QDateTime& when, const QuoteBar& q, const std::array<QString, 3>& previous,
                        const WindowScale& w, int closeScale, double slopeMultiplier) {
    TrainingRow r;
    r[CNT] = QString::number(n);
    r[SYMD] = q.symd.asString();
    r[SHM] = q.shm.asString();
    calendar(r, when);
    r[HV1] = q.hv.asString();
    r[LV1] = q.lv.asString();
    r[CV1] = q.cv.asString();
    r[SLP11] = previous[0];
    r[SLP21] = previous[1];
    r[SLP31] = previous[2];
    prices(r, q.hv.asInteger(), q.lv.asInteger(), q.cv.asInteger(), w, closeScale, slopeMultiplier);
    r[M051] = q.m05.asString();
    r[M201] = q.m20.asString();
    r[M1H1] = q.m1h.asString();
    r[M4H1] = q.m4h.asString();
    r[M451] = q.m4h.asString();
    const int m05 = q.m05.asInteger(), m20 = q.m20.asInteger(), m1h = q.m1h.asInteger(), m4h = q.m4h.asInteger();
    averages(r, m05, m20, m1h, w);
    oscillators(r, q.atr.asFloat(), q.rsi.asFloat(), w);
    band(r, B0L1, m20, q.b0l, q.b0u);
    band(r, B1L1, m1h, q.b1l, q.b1u);
    band(r, B4L1, m4h, q.b4l, q.b4u);
    r[LYMD] = q.lymd.asString();
    r[LHM] = q.lhm.asString();
    return r;
}

}  // namespace market
