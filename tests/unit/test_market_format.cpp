// Exactness the market data preparation relies on: the fixed-decimal formats round as the
// exact decimal expansion does, the numeric-literal check accepts what the literal pattern
// accepts, and the bar-line test on a line's first field decides as the split line would.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "app/Format.h"
#include "db/SqlBuilder.h"
#include "app/TextFile.h"
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

// The bar-line test reads only the first field of a line; it decides as the first field of
// the split line does, quoted fields and odd characters included.
TEST(MarketFormat, BarLineTestOnTheFirstField) {
    const QString sdt = QStringLiteral("2026/12/01");
    struct Case { const char16_t* line; bool barLine; } cases[] = {
        {u"", false},
        {u"2026/11/30,00:00,1", false},      // the day before the first day read
        {u"2026/12/01,00:00,1", true},       // the first day read
        {u"2026/12/02", true},               // no comma: the whole line is the first field
        {u"Date,Time,High", false},          // a header sorts after "999999"
        {u"999999,1", true},
        {u"9999999,1", false},
        {u",2026/12/01", false},             // an empty first field
        {u"\"2026/11/30\",00:00", false},    // a quoted field loses its quotes
        {u"\"2026/12/01\",00:00", true},
        {u"\"2026/12/01,x\",00:00", true},   // a comma inside quotes
        {u"2026/12/01\"x,1", true},          // a quote inside the field is part of it
        {u"\uFF12\uFF10,1", false},          // full-width digits
        {u"\uFEFF2026/12/01,1", false},      // a byte-order mark starting a later line
    };
    for (const Case& c : cases) {
        const QString line = QStringView(c.line).toString();  // keeps a byte-order mark
        EXPECT_EQ(market::isBarLine(line, sdt), c.barLine) << line.toStdString();
        const QString first = textfile::splitCommas(line).first();
        EXPECT_EQ(market::isBarLine(line, sdt), !line.isEmpty() && first >= sdt && first <= QLatin1String("999999"))
            << line.toStdString();
    }
}
