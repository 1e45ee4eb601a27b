// The fast paths the market data preparation relies on: the fixed-decimal formats and
// the numeric-literal check must give exactly what the slow, obvious versions give.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "app/Format.h"
#include "db/SqlBuilder.h"
#include "app/VelkorState.h"
#include "market/QuoteLine.h"

namespace {

// Rounds the 60-place expansion of the exact binary value half away from zero.
QString referenceFixedTrim(double v, int decimals, bool leadingZero, bool zeroAsEmpty) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.60f", std::fabs(v));
    std::string s(buf);
    const auto dot = s.find('.');
    std::string ip = s.substr(0, dot);
    std::string fp = s.substr(dot + 1, decimals);
    std::string digits = ip + fp;
    if (s[dot + 1 + decimals] >= '5') {
        int i = int(digits.size()) - 1;
        while (i >= 0 && digits[i] == '9') digits[i--] = '0';
        if (i < 0) digits.insert(digits.begin(), '1');
        else ++digits[i];
    }
    ip = digits.substr(0, digits.size() - decimals);
    fp = digits.substr(digits.size() - decimals);
    while (!fp.empty() && fp.back() == '0') fp.pop_back();
    const size_t nz = ip.find_first_not_of('0');
    ip = nz == std::string::npos ? std::string() : ip.substr(nz);
    if (ip.empty() && fp.empty()) return zeroAsEmpty ? QString() : QStringLiteral("0");
    if (ip.empty() && leadingZero) ip = "0";
    std::string out = (v < 0 ? "-" : "") + ip;
    if (!fp.empty()) out += "." + fp;
    return QString::fromStdString(out);
}

}  // namespace

TEST(MarketFormat, FixedDecimalsMatchTheExactExpansionOnRandomValuesAndExactHalves) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<double> values;
    for (int i = 0; i < 10000; ++i) {
        values.push_back(unit(rng));                         // scaled values
        values.push_back(unit(rng) * 0.2);                   // ATR in price units
        values.push_back(std::ldexp(double(2 * (rng() % 100000) + 1), -7));  // exact halves at 6 places
        values.push_back(std::ldexp(double(2 * (rng() % 100000) + 1), -9));  // exact halves at 8 places
        values.push_back(std::round(unit(rng) * 1e6) / 1e6);  // six-decimal texts read back
        values.push_back(-unit(rng) * 3);
    }
    for (double v : {0.0, -0.0, 1.0, 0.9999995, 0.0000005, 99.9999995, 1e-300, 123456789.0078125, 0.0078125})
        values.push_back(v);
    for (double v : values) {
        ASSERT_EQ(fmt::frac6(v), referenceFixedTrim(v, 6, false, true)) << v;
        ASSERT_EQ(fmt::zfrac6(v), referenceFixedTrim(v, 6, true, false)) << v;
        ASSERT_EQ(fmt::frac8(v), referenceFixedTrim(v, 8, false, true)) << v;
    }
}

TEST(MarketFormat, NumericLiteralCheckAcceptsWhatTheLiteralPatternAccepts) {
    const QRegularExpression re(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?\\z"));
    const char* cases[] = {"12", "-5", "+5", ".5", "5.", "0.253", "1.25e3", "1e-3", "1E+3", "007", "-0",
                           "", "+", "-", ".", "e5", "1e", "1e+", "1.2.3", "12a", "1 ", " 1", "--1", "0x10",
                           "147.1.2", "1,5", "NULL", "inf", "nan", "١٢", "12\n"};
    for (const char* c : cases) {
        const QString s = QString::fromUtf8(c);
        EXPECT_EQ(sqlb::isNumericLiteral(s), re.match(s).hasMatch()) << c;
    }
}

// The import passes over lines by their first field's bytes only where the full test would
// surely pass over them too.
TEST(MarketFormat, LinesPassedOverByTheirDateBytes) {
    const QByteArray sdt = "2026/12/01";
    struct Case { QByteArray line; bool passedOver; } cases[] = {
        {"", true},
        {"2026/11/30,00:00,1", true},         // before the first day read
        {"2026/12/01,00:00,1", false},        // the first day read
        {"2026/12/02", false},                // no comma: the whole line is the first field
        {"A,1", true},                        // sorts after "999999"
        {"999999,1", false},
        {"\"2026/11/30\",00:00", false},    // quoted: looked at whole
        {"\xEF\xBC\x92,1", false},         // not ASCII: looked at whole
        {"2026/11/30\"x,1", true},           // a quote inside the field is part of it
    };
    for (const Case& c : cases) {
        EXPECT_EQ(market::surelyNoBarLine(c.line, sdt), c.passedOver) << c.line.constData();
        if (c.passedOver) {  // the full test agrees
            VelkorState s;
            market::ImportStats x;
            market::resetStats(s);
            EXPECT_FALSE(market::takeQuoteLine(s, x, QString::fromUtf8(c.line), QString::fromLatin1(sdt),
                                               QStringLiteral("q.csv"), 1, 1));
        }
    }
}
