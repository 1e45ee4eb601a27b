#include "app/Format.h"

#include <charconv>
#include <cmath>

namespace fmt {

namespace {
// `decimals` places of the exact binary value rounded half away from zero (Qt's fixed
// format does that), trailing zeros and a bare point dropped; a zero integer part kept or
// dropped, zero written as "0" or as the empty text.
QString fixedTrim(double v, int decimals, bool leadingZero, bool zeroAsEmpty) {
    if (!std::isfinite(v)) return QString::number(v);
    QString s = QString::number(std::fabs(v), 'f', decimals);
    if (s.contains(u'.')) {
        while (s.endsWith(u'0')) s.chop(1);
        if (s.endsWith(u'.')) s.chop(1);
    }
    if (s == u"0") return zeroAsEmpty ? QString() : s;
    if (!leadingZero && s.startsWith(u"0.")) s.remove(0, 1);
    if (v < 0) s.prepend(u'-');
    return s;
}
}  // namespace

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
