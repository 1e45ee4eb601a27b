// Reading bar exports: every line form gives the same bar, prices and times in the accepted
// forms only, headers skipped, bad lines named with their number, bars repaired.
#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>

#include "QuotesTestSupport.h"
#include "SourceFile.h"

using namespace velkor::quotes;

namespace {
const qint64 k1355 = wallMinute(QDate(2024, 10, 29), 13 * 60 + 55);
}

TEST(QuoteSource, EveryLineFormGivesTheSameBar) {
    struct Case {
        const char* line;
        const char* form;
    } cases[] = {
        {"2024.10.29,13:55,153.613,153.674,153.610,153.674,222", "MetaTrader 4"},
        {"2024.10.29\t13:55:00\t153.613\t153.674\t153.610\t153.674\t88\t0\t3", "MetaTrader 5"},
        {"20241029 135500;153.613;153.674;153.610;153.674;0", "HistData ASCII"},
        {"2024-10-29 13:55:00,153.613,153.674,153.610,153.674", "generic (comma, date and time in one field)"},
        {"2024/10/29 13:55,153.613,153.674,153.610,153.674,9,9", "generic (comma, date and time in one field)"},
        {"20241029,135500,153.613,153.674,153.610,153.674", "generic (comma, date and time in two fields)"},
        {"2024-10-29;13:55;153.613;153.674;153.610;153.674", "generic (semicolon, date and time in two fields)"},
        {"2024.10.29 , 13:55 , 153.613 ,153.674,153.610,153.674", "MetaTrader 4"},
    };
    for (const Case& c : cases) {
        const QString line = QString::fromLatin1(c.line);
        const LineForm form = guessForm(line);
        const LineResult r = readLine(line, form);
        ASSERT_TRUE(r.bar) << c.line << ": " << r.problem.toStdString();
        EXPECT_EQ(r.bar->minute, k1355) << c.line;
        EXPECT_EQ(r.bar->open, 153613) << c.line;
        EXPECT_EQ(r.bar->high, 153674) << c.line;
        EXPECT_EQ(r.bar->low, 153610) << c.line;
        EXPECT_EQ(r.bar->close, 153674) << c.line;
        EXPECT_FALSE(r.repaired) << c.line;
        EXPECT_EQ(formName(line, form).toStdString(), c.form) << c.line;
    }
}

TEST(QuoteSource, PricesInThousandthsRoundedHalfUp) {
    const struct {
        const char* text;
        std::optional<int> thousandths;
    } cases[] = {
        {"153.613", 153613}, {"153.6", 153600},      {"153", 153000},     {"153.", 153000},
        {".5", 500},         {"153.6135", 153614},   {"153.61349", 153613}, {"0.0005", 1},
        {"0.0004", {}},      {"0", {}},              {"-1.000", {}},      {"1e3", {}},
        {"", {}},            {"15 3.1", {}},         {"1.2.3", {}},       {"9999999.999", {}},
        {"2147483.647", 2147483647},
    };
    for (const auto& c : cases) EXPECT_EQ(readPrice(QString::fromLatin1(c.text)), c.thousandths) << c.text;
}

TEST(QuoteSource, DatesAndTimesInTheAcceptedFormsOnly) {
    for (const char* ok : {"2024.10.29", "2024-10-29", "2024/10/29", "20241029"})
        EXPECT_EQ(readDate(QString::fromLatin1(ok)), QDate(2024, 10, 29)) << ok;
    for (const char* bad : {"2024.02.30", "2024-10.29", "24.10.29", "2024.1.29", "2024102", "29.10.2024", "2024x10x29"})
        EXPECT_FALSE(readDate(QString::fromLatin1(bad))) << bad;
    for (const char* ok : {"13:55", "13:55:00", "135500"}) EXPECT_EQ(readTime(QString::fromLatin1(ok)), 835) << ok;
    // A bar opens on a whole minute; 24:00 and four-digit times are no times.
    for (const char* bad : {"13:55:30", "135530", "24:00", "13:60", "1355", "13.55", "1:55"})
        EXPECT_FALSE(readTime(QString::fromLatin1(bad))) << bad;
}

TEST(QuoteSource, HeadersSkippedBadLinesNamedBarsRepaired) {
    const QByteArray text =
        "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\r\n"
        "2024.10.29\t13:55:00\t153.613\t153.674\t153.610\t153.674\t1\t0\t3\r\n"
        "\r\n"
        "2024.10.29\t14:00:00\t153.613\t153.600\t153.620\t153.650\t1\t0\t3\r\n"  // high and low inside the body
        "2024.10.29\t14:05:00\t153.613\tabc\t153.610\t153.674\t1\t0\t3\r\n"
        "2024.10.29\t14:10:00\t153.613\r\n"
        "2024.10.32\t14:15:00\t153.613\t153.674\t153.610\t153.674\t1\t0\t3\r\n"
        "# end of export\r\n"
        "2024.10.29\t14:20:00\t153.613\t153.674\t153.610\t153.674\t1\t0\t3";  // no final line end
    const SourceFile f = readSource(QStringLiteral("a.csv"), text);
    EXPECT_EQ(f.form, QStringLiteral("MetaTrader 5"));
    EXPECT_EQ(f.lines, 9);
    EXPECT_EQ(f.headers, 1);  // "# end of export" comes after the first bar: no header
    ASSERT_EQ(f.bars.size(), 3u);
    EXPECT_EQ(f.repaired, 1);
    EXPECT_EQ(f.bars[1].high, 153650);  // the largest of the four prices: the close
    EXPECT_EQ(f.bars[1].low, 153600);   // the smallest: the high as printed
    EXPECT_EQ(f.bars[2].minute, k1355 + 25);
    ASSERT_EQ(f.problems.size(), 4u);
    EXPECT_EQ(f.problems[0].line, 5);
    EXPECT_EQ(f.problems[0].reason, QStringLiteral("high \"abc\" is not a price"));
    EXPECT_EQ(f.problems[1].line, 6);
    EXPECT_EQ(f.problems[1].reason, QStringLiteral("3 fields where at least 6 are needed"));
    EXPECT_EQ(f.problems[2].line, 7);
    EXPECT_TRUE(f.problems[2].reason.contains(QStringLiteral("\"2024.10.32\" is not a date")));
    EXPECT_EQ(f.problems[3].line, 8);
}

// Only lines before the first bar may be headers: a later line that starts with a letter, a
// blank, a NUL or a byte that is no UTF-8 is named with its line number.
TEST(QuoteSource, LinesAfterTheFirstBarAreNeverHeaders) {
    const QByteArray bar = "2024.10.29,13:55,153.613,153.674,153.610,153.674,222\r\n";
    const struct {
        const char* what;
        QByteArray line;
        const char* reason;
    } cases[] = {
        {"letter", "Volume,Open\r\n", "2 fields where at least 6 are needed"},
        {"blank", " 2024.10.29 13:55,153.613\r\n", "2 fields where at least 6 are needed"},
        {"NUL", QByteArray("\0" "2024.10.29,14:00,153.613,153.674,153.610,153.674\r\n", 51),
         "\"\\x002024.10.29\" is not a date"},
        {"0xFF", "\xff" "2024.10.29,14:00,153.613,153.674,153.610,153.674\r\n",
         "\"\xef\xbf\xbd" "2024.10.29\" is not a date"},  // the byte read as U+FFFD
    };
    for (const auto& c : cases) {
        const SourceFile f = readSource(QStringLiteral("a.csv"), "Date,Time,Open\r\n" + bar + c.line + bar);
        EXPECT_EQ(f.headers, 1) << c.what;
        EXPECT_EQ(f.bars.size(), 2u) << c.what;
        ASSERT_EQ(f.problems.size(), 1u) << c.what;
        EXPECT_EQ(f.problems[0].line, 3) << c.what;
        EXPECT_TRUE(f.problems[0].reason.startsWith(QString::fromUtf8(c.reason)))
            << c.what << ": " << f.problems[0].reason.toStdString();
    }
    // A bar line with blanks before it is read; blank-only lines are skipped like empty ones.
    const SourceFile f = readSource(QStringLiteral("a.csv"), bar + "  \t\r\n" + "  " + bar);
    EXPECT_EQ(f.bars.size(), 2u);
    EXPECT_TRUE(f.problems.empty());
    EXPECT_EQ(f.lines, 3);
}

// CR LF, LF and CR each end a line, mixed in one file.
TEST(QuoteSource, EveryLineEndEndsALine) {
    const std::vector<Bar> bars = qtest::weekdayWalk(QDate(2024, 10, 29), 1);  // 288 bars
    QByteArray text;
    for (size_t i = 0; i < bars.size(); ++i) {
        if (i == 150) text += "oops\r";  // line 151, inside a block of CR-only line ends
        text += qtest::exportLine(bars[i], qtest::Form::MT4) + (i < 100 ? "\r\n" : i < 200 ? "\r" : "\n");
    }
    const SourceFile f = readSource(QStringLiteral("a.csv"), text);
    EXPECT_EQ(f.bars.size(), bars.size());
    EXPECT_EQ(f.lines, qsizetype(bars.size()) + 1);
    ASSERT_EQ(f.problems.size(), 1u);
    EXPECT_EQ(f.problems[0].line, 151);
    EXPECT_EQ(f.bars[199].minute, bars[199].minute);
    EXPECT_EQ(f.bars.back().close, bars.back().close);
}

TEST(QuoteSource, TheFirstReadableLineSetsTheForm) {
    // A broken first line does not decide the form; a later line in another form is unreadable.
    const QByteArray text = "2024.10.29,xx:55,1,1,1,1\n"
                            "2024.10.29,13:55,153.613,153.674,153.610,153.674,222\n"
                            "20241029 140000;153.613;153.674;153.610;153.674;0\n";
    const SourceFile f = readSource(QStringLiteral("a.csv"), text);
    EXPECT_EQ(f.form, QStringLiteral("MetaTrader 4"));
    ASSERT_EQ(f.bars.size(), 1u);
    ASSERT_EQ(f.problems.size(), 2u);
    EXPECT_EQ(f.problems[0].line, 1);
    EXPECT_EQ(f.problems[1].line, 3);
}

TEST(QuoteSource, ByteOrderMarkSelectsTheEncoding) {
    const QString line = QStringLiteral("2024.10.29,13:55,153.613,153.674,153.610,153.674,222\r\n");
    for (const auto encoding : {QStringConverter::Utf8, QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        QStringEncoder encode(encoding, QStringConverter::Flag::WriteBom);
        const QByteArray bytes = encode(line + line);
        const SourceFile f = readSource(QStringLiteral("a.csv"), bytes);
        EXPECT_EQ(f.bars.size(), 2u) << int(encoding);
        EXPECT_TRUE(f.problems.empty()) << int(encoding);
        EXPECT_EQ(f.headers, 0) << int(encoding);
    }
}
