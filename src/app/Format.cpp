#include "app/Format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace fmt {

QString fixedTrim(double v, int decimals, bool leadingZero, bool zeroAsEmpty) {
    if (!std::isfinite(v)) return QString::number(v);
    if (decimals < 0) decimals = 0;
    const double a = std::fabs(v);
    // to_chars rounds the exact binary value correctly; it differs from rounding half away
    // from zero only on an exact half at the cut, that is when a * 2^(decimals + 1) is an
    // odd integer. Then the half is printed exactly, one place further, and rounded up here.
    const double scaled = std::ldexp(a, decimals + 1);
    const bool half = scaled < 9007199254740992.0 && scaled == std::floor(scaled) && std::fmod(scaled, 2.0) == 1.0;
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, decimals + (half ? 1 : 0));
    std::string s(buf, r.ptr);
    if (half) s.pop_back();  // the digit 5 of the exact half
    const auto dot = s.find('.');
    std::string ip = dot == std::string::npos ? s : s.substr(0, dot);
    std::string fp = dot == std::string::npos ? std::string() : s.substr(dot + 1);
    std::string digits = ip + fp;
    if (half) {
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
    if (ip.empty() && leadingZero) ip.assign(1, '0');
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
