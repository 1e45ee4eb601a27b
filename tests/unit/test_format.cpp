#include <gtest/gtest.h>

#include "app/Format.h"
#include "app/TextFile.h"
#include "net/Scaling.h"
#include "app/VelkorError.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(Format, Frac6RoundsTheExactBinaryValueHalfAwayFromZero) {
    struct Case { double v; const char* want; } cases[] = {
        {0.5, ".5"}, {1, "1"}, {0, ""}, {0.0000004, ""}, {-0.0000004, ""},
        {0.0703125, ".070313"}, {-0.0703125, "-.070313"}, {1.0000005, "1.000001"},
        {0.8571428571, ".857143"}, {0.1428571428, ".142857"}, {147.25, "147.25"},
        {0.9999996, "1"}, {-2.5, "-2.5"}, {0.552, ".552"}, {0.0351, ".0351"},
        // 0.1234565 is stored just below the half, so it rounds down.
        {0.1234565, ".123456"},
    };
    for (const Case& c : cases) EXPECT_EQ(fmt::frac6(c.v), QString::fromLatin1(c.want)) << c.v;
}

TEST(Format, OtherPatterns) {
    EXPECT_EQ(fmt::zfrac6(0), "0");
    EXPECT_EQ(fmt::zfrac6(0.25), "0.25");
    EXPECT_EQ(fmt::frac8(0.123456789), ".12345679");
    EXPECT_EQ(fmt::frac8(0.52), ".52");
    EXPECT_EQ(fmt::shortest(0.1), "0.1");
    EXPECT_EQ(fmt::shortest(147.5), "147.5");
    EXPECT_EQ(fmt::shortest(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(fmt::minSec(75 * 60 * 1000), "15:00");
    EXPECT_EQ(fmt::minSec(61500), "01:01");
    EXPECT_EQ(fmt::minSecJa(61500), "01分 01秒");
}

TEST(Scaling, Functions) {
    EXPECT_DOUBLE_EQ(ClSc(150, 100, 100), 0.5);
    EXPECT_DOUBLE_EQ(ClSc(100, 100, 100), 0.1);
    EXPECT_NEAR(ClSc(200, 100, 100), 0.9, 1e-12);
    EXPECT_EQ(ClSc(300, 100, 100), 1.0);
    EXPECT_EQ(ClSc(0, 100, 100), 0.0);
    EXPECT_EQ(ClSc(150, 100, 0), 0.0);
    EXPECT_EQ(ClRSc(100, 100, 0.5), 150);
    EXPECT_EQ(ClRSc(100, 100, 0.1), 100);
    EXPECT_EQ(ClRSc(100, 0, 0.7), 0);
    EXPECT_EQ(ClRSc(2, 1, 0.5), 2);   // 2.5 rounds to the even 2
    EXPECT_EQ(ClRSc(3, 1, 0.5), 4);   // 3.5 rounds to 4
    EXPECT_DOUBLE_EQ(ClSlp(0, 100, 0.8), 0.5);
    EXPECT_DOUBLE_EQ(ClSlp(40, 100, 0.8), 0.75);
    EXPECT_DOUBLE_EQ(ClSlp(80, 100, 0.8), 1.0);
    EXPECT_DOUBLE_EQ(ClSlp(-200, 100, 0.8), 0.0);
    EXPECT_DOUBLE_EQ(ClSlp(0, 0, 0.8), 0.5);  // a timeframe whose close never moves
    EXPECT_DOUBLE_EQ(ClSlp(5, 0, 0.8), 1.0);
    EXPECT_DOUBLE_EQ(ClSlp(-5, 0, 0.8), 0.0);
    EXPECT_DOUBLE_EQ(Divid(6, 3), 2);
    EXPECT_DOUBLE_EQ(Divid(5, 0), 5);
    EXPECT_DOUBLE_EQ(Divid(0, 0), 0);
    EXPECT_EQ(Cvs2i(""), 0);
    EXPECT_EQ(Cvs2i("12a"), 0);
    EXPECT_EQ(Cvs2i("-7"), -7);
    EXPECT_EQ(Cvs2i("99999999999"), 0);
    EXPECT_THROW(ClRSc(0, 2000000000, 1.0e3), std::exception);
}

TEST(TextFile, LineEndsAndByteOrderMark) {
    EXPECT_EQ(textfile::splitCommas("a,\"b,c\",,d "), (QStringList{"a", "b,c", "", "d "}));
    QTemporaryDir d;
    const QString p = d.filePath("t.txt");
    textfile::writeLines(p, {"一", "b"});
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\xEF\xBB\xBF") + QString("一").toUtf8() + "\r\nb\r\n");
    f.close();
    EXPECT_EQ(textfile::readLines(p), (QStringList{"一", "b"}));
    struct Case { QByteArray bytes; QStringList lines; } cases[] = {
        {"a\nb\n", {"a", "b"}}, {"a\r\nb", {"a", "b"}}, {"a\rb\r", {"a", "b"}}, {"a\n\nb\n", {"a", "", "b"}}, {"", {}},
    };
    for (const Case& c : cases) {
        QFile g(p);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly | QIODevice::Truncate));
        g.write(c.bytes);
        g.close();
        EXPECT_EQ(textfile::readLines(p), c.lines) << c.bytes.constData();
    }
    EXPECT_THROW(textfile::readLines(d.filePath("missing.txt")), VelkorError);

    // A rebuilt file has the same bytes, replaces the old one and leaves nothing beside it;
    // a folder that is not there is named in the error.
    QTemporaryDir r;
    textfile::writeLines(r.filePath("a.csv"), {"old"}, textfile::Replace::Rebuilt);
    textfile::writeLines(r.filePath("a.csv"), {"一", "b"}, textfile::Replace::Rebuilt);
    QFile a(r.filePath("a.csv"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), QByteArray("\xEF\xBB\xBF") + QString("一").toUtf8() + "\r\nb\r\n");
    EXPECT_EQ(QDir(r.path()).entryList(QDir::Files), QStringList{"a.csv"});
    try {
        textfile::writeLines(r.filePath("none/a.csv"), {"x"}, textfile::Replace::Rebuilt);
        ADD_FAILURE() << "no error";
    } catch (const VelkorError& e) {
        EXPECT_TRUE(e.text().contains(r.filePath("none/a.csv"))) << e.text().toStdString();
    }
}
