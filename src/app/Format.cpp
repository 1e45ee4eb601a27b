#include "app/Format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace fmt {

QString fixedTrim(double v, int decimals, bool leadingZero, bool zeroAsEmpty) {
    if (!std::isfinite(v)) return QString::number(v);
    // glibc prints the exact binary value to 60 places; a double that is not an exact
    // half at the cut cannot come within 1e-60 of one, so rounding this text is exact.
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.60f", std::fabs(v));
    std::string s(buf);
    const auto dot = s.find('.');
    std::string ip = s.substr(0, dot);
    std::string fp = s.substr(dot + 1, decimals);
    const bool roundUp = s[dot + 1 + decimals] >= '5';
    std::string digits = ip + fp;
    if (roundUp) {
        int i = int(digits.size()) - 1;
        while (i >= 0) {
            if (digits[i] == '9') { digits[i] = '0'; --i; }
            else { ++digits[i]; break; }
        }
        if (i < 0) digits.insert(digits.begin(), '1');
    }
    ip = digits.substr(0, digits.size() - decimals);
    fp = digits.substr(digits.size() - decimals);
    while (!fp.empty() && fp.back() == '0') fp.pop_back();
    size_t nz = ip.find_first_not_of('0');
    ip = nz == std::string::npos ? std::string() : ip.substr(nz);
    if (ip.empty() && fp.empty()) return zeroAsEmpty ? QString() : QStringLiteral("0");
    if (ip.empty() && leadingZero) ip = "0";
    std::string out = (v < 0 ? "-" : "") + ip;
    if (!fp.empty()) out += "." + fp;
    return QString::fromStdString(out);
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
