#include "app/Format.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <string>

namespace fmt {

namespace {
// The magnitude scaled by 10^decimals and rounded half away from zero, computed exactly
// from the binary value; false when it does not fit the fast path.
bool scaledExact(double a, int decimals, unsigned long long& out) {
    if (!(a < 1e12) || decimals > 9) return false;
    int e = 0;
    const double f = std::frexp(a, &e);  // a = f * 2^e, f in [0.5, 1)
    const auto m = static_cast<unsigned long long>(std::ldexp(f, 53));  // a = m * 2^(e - 53)
    unsigned __int128 p = m;
    for (int i = 0; i < decimals; ++i) p *= 10;
    const int k = 53 - e;  // a * 10^d = p / 2^k
    if (k <= 0) {
        out = static_cast<unsigned long long>(p << -k);
        return true;
    }
    if (k >= 120) { out = 0; return true; }  // p < 2^84: far below one half
    const unsigned __int128 q = p >> k;
    const unsigned __int128 rem = p - (q << k);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (k - 1);
    out = static_cast<unsigned long long>(q + (rem >= half ? 1 : 0));
    return true;
}
}  // namespace

QString fixedTrim(double v, int decimals, bool leadingZero, bool zeroAsEmpty) {
    if (!std::isfinite(v)) return QString::number(v);
    if (decimals < 0) decimals = 0;
    const double a = std::fabs(v);
    unsigned long long scaled10 = 0;
    if (scaledExact(a, decimals, scaled10)) {
        if (scaled10 == 0) return zeroAsEmpty ? QString() : QStringLiteral("0");
        char digits[32];
        int n = 0;
        for (unsigned long long x = scaled10; x; x /= 10) digits[n++] = char('0' + x % 10);
        while (n <= decimals) digits[n++] = '0';  // at least one integer digit
        // digits[] holds the number backwards: digits[0..decimals) is the fraction.
        int fracFrom = 0;
        while (fracFrom < decimals && digits[fracFrom] == '0') ++fracFrom;
        char out[48];
        char* o = out;
        if (v < 0) *o++ = '-';
        const bool intZero = n == decimals + 1 && digits[decimals] == '0';
        if (!intZero || leadingZero)
            for (int i = n - 1; i >= decimals; --i) *o++ = digits[i];
        if (fracFrom < decimals) {
            *o++ = '.';
            for (int i = decimals - 1; i >= fracFrom; --i) *o++ = digits[i];
        }
        return QString::fromLatin1(out, qsizetype(o - out));
    }
    // to_chars rounds the exact binary value correctly; it differs from rounding half away
    // from zero only on an exact half at the cut, that is when a * 2^(decimals + 1) is an
    // odd integer. Then the half is printed exactly, one place further, and rounded up here.
    const double scaled = std::ldexp(a, decimals + 1);
    const bool half = scaled < 9007199254740992.0 && scaled == std::floor(scaled) && std::fmod(scaled, 2.0) == 1.0;
    char buf[400];
    const auto r = std::to_chars(buf + 1, buf + sizeof buf, a, std::chars_format::fixed, decimals + (half ? 1 : 0));
    // Digits without the point, in place: buf[1..n), one spare place in front for a carry.
    char* end = r.ptr;
    if (half) --end;  // the digit 5 of the exact half
    char* dot = std::find(buf + 1, end, '.');
    qsizetype intLen = dot - (buf + 1);
    if (dot != end) {
        std::memmove(dot, dot + 1, size_t(end - dot - 1));
        --end;
    }
    char* first = buf + 1;
    if (half) {
        char* p = end - 1;
        while (p >= first && *p == '9') *p-- = '0';
        if (p >= first) ++*p;
        else { *--first = '1'; ++intLen; }
    }
    const char* fracBegin = first + intLen;
    const char* fracEnd = end;
    while (fracEnd > fracBegin && fracEnd[-1] == '0') --fracEnd;
    const char* intBegin = first;
    while (intBegin < fracBegin && *intBegin == '0') ++intBegin;
    if (intBegin == fracBegin && fracBegin == fracEnd) return zeroAsEmpty ? QString() : QStringLiteral("0");
    char out[420];
    char* o = out;
    if (v < 0) *o++ = '-';
    if (intBegin == fracBegin && leadingZero) *o++ = '0';
    o = std::copy(intBegin, fracBegin, o);
    if (fracEnd > fracBegin) {
        *o++ = '.';
        o = std::copy(fracBegin, fracEnd, o);
    }
    return QString::fromLatin1(out, qsizetype(o - out));
}

QString frac6(double v) { return fixedTrim(v, 6, false, true); }
QString zfrac6(double v) { return fixedTrim(v, 6, true, false); }
QString frac8(double v) { return fixedTrim(v, 8, false, true); }

QString shortest(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

static void splitMinSec(qint64 ms, qint64& m, qint64& s) {
    if (ms < 0) ms = 0;
    const qint64 total = ms / 1000;
    m = (total / 60) % 60;
    s = total % 60;
}

QString minSec(qint64 ms) {
    qint64 m, s;
    splitMinSec(ms, m, s);
    return QStringLiteral("%1:%2").arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
}

QString minSecJa(qint64 ms) {
    qint64 m, s;
    splitMinSec(ms, m, s);
    return QStringLiteral("%1分 %2秒").arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
}

}  // namespace fmt
