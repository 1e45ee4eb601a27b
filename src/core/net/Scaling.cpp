#include "net/Scaling.h"

#include <cmath>
#include <limits>

#include "app/Format.h"
#include "app/Texts.h"
#include "app/VelkorError.h"

double scaleIntoWindow(int ivt, int ivm, int ivs) {
    if (ivs == 0) return 0;
    double r = double(qint64(ivt) - ivm) * 0.8 / ivs + 0.1;
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

int scaleBack(int ivm, int ivs, double dvr) {
    if (ivs == 0) return 0;
    const double v = (dvr - 0.1) * ivs / 0.8 + ivm;
    return roundEven32(v);
}

double changeAroundHalf(int idg, int idmx, double dslmx) {
    const double den = idmx * dslmx;
    if (den == 0) return idg == 0 ? 0.5 : idg > 0 ? 1.0 : 0.0;
    const double d = idg / den * 0.5;
    double r = d == 0 ? 0.5 : 0.5 + d;
    if (r > 1) r = 1;
    if (r < 0) r = 0;
    return r;
}

double guardedDivide(double d01, double d02) { return d02 == 0 ? d01 : d01 / d02; }

int textToInt(const QString& snm) {
    bool ok = false;
    const int v = snm.toInt(&ok, 10);
    return ok ? v : 0;
}
