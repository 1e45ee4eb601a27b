#include "net/Scaling.h"

#include <cmath>
#include <limits>

#include "app/Format.h"
#include "app/Texts.h"
#include "app/VelkorError.h"

double scaleIntoWindow(int value, int minimum, int span) {
    if (span == 0) return 0;
    double r = double(qint64(value) - minimum) * 0.8 / span + 0.1;
    if (r > 1) r = 1;
    if (r < 0) r = 0;
    return r;
}

int roundEven32(double v) {
    const double r = std::nearbyint(v);  // default rounding: halves to the even neighbour
    if (!std::isfinite(r) || r < double(std::numeric_limits<int>::min()) || r > double(std::numeric_limits<int>::max()))
        throw VelkorError(texts::integerOverflow(fmt::shortest(v)));
    return int(r);
}

int scaleBack(int minimum, int span, double scaled) {
    if (span == 0) return 0;
    const double v = (scaled - 0.1) * span / 0.8 + minimum;
    return roundEven32(v);
}

double changeAroundHalf(int change, int largestMove, double slopeMultiplier) {
    const double den = largestMove * slopeMultiplier;
    if (den == 0) return change == 0 ? 0.5 : change > 0 ? 1.0 : 0.0;
    const double d = change / den * 0.5;
    double r = d == 0 ? 0.5 : 0.5 + d;
    if (r > 1) r = 1;
    if (r < 0) r = 0;
    return r;
}

double guardedDivide(double dividend, double divisor) { return divisor == 0 ? dividend : dividend / divisor; }

int textToInt(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}
