// The training table builder, the window ranges and the previous closes.
#include <gtest/gtest.h>

#include <QProcess>
#include <cmath>

#include "app/Format.h"
#include "db/SqlBuilder.h"
#include "integration/test_market_fixture.h"
#include "market/MarketCommon.h"
#include "net/Scaling.h"

namespace {

const char* const kQuoteColumns =
    "CNT, SYMD, SHM, HV, LV, CV, M05, M20, M1H, M4H, M1D, ATR, RSI, B0L, B0U, B1L, B1U, B4L, B4U, LYMD, LHM";

QStringList fiveMinuteBars(int count, const QDateTime& first) {
    QStringList out;
    for (int i = 0; i < count; ++i) {
        const QDateTime t = first.addSecs(qint64(i) * 300), l = t.addSecs(7 * 3600);
        Bar b{t.toString("yyyy/MM/dd"), t.toString("HH:mm")};
        b.lymd = l.toString("yyyy/MM/dd");
        b.lhm = l.toString("HH:mm");
        out.append(b.line());
    }
    return out;
}

QDateTime utc(const char* text) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), "yyyy/MM/dd HH:mm");
    t.setTimeSpec(Qt::UTC);
    return t;
}

QString orNull(const QString& v) { return v.isEmpty() ? QStringLiteral("NULL") : v; }

}  // namespace

// Four 4-hour bars and two rows of coming bars, all warm-up rows scaled with the ranges
// the fields hold before the build: the expected file was worked out by hand from the
// column rules (Sunday/Monday weekdays, a close above the window, a high equal to the
// close, a zero-width band, RSI 0 and 100, a missing MA4H, the previous closes of the
// coming bars) and the two statistics lines.
TEST(TrainingTable, SmallFourHourTableAndCsvFile) {
    MarketFixture f;
    const char* rows[] = {
        "1,'2024/01/07','00:00',147250,147150,147200,147100,147100,147200,147300,147000,0.04,55.2,"
        "147000,147400,147000,147400,147100,147500,'2024/01/07','07:00'",
        "2,'2024/01/07','04:00',148000,147900,148000,147000,147100,147000,147300,147000,0.07,0,"
        "147000,147000,146900,147300,147300,147300,'2024/01/07','11:00'",
        "3,'2024/01/08','09:00',146100,145900,146000,0,147100,147000,147200,147000,0,100,"
        "147000,147400,146800,147600,147000,147600,'2024/01/08','16:00'",
        "4,'2024/01/08','13:00',147240,147100,147240,147300,147200,147100,NULL,147000,0.0351,45.5,"
        "147000,147400,146800,147600,147000,147600,'2024/01/08','20:00'",
        "5,'2024/01/08','17:00',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,"
        "'2024/01/09','00:00'",
        "6,'2024/01/08','21:00',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,"
        "'2024/01/09','04:00'",
    };
    for (const char* r : rows)
        ASSERT_TRUE(f.exec("csm", QStringLiteral("insert into F01CSV (%1) values (%2)").arg(kQuoteColumns, r)));
    TVelkorF& w = *f.w;
    f.imported.closeMoveScale = {100, -100, 100};
    f.imported.stats.atrMax = "0.06";
    f.imported.stats.atrMin = "0.02";
    f.imported.stats.rsiMax = "70";
    f.imported.stats.rsiMin = "30";
    f.build(80);

    const QStringList expected = textfile::readLines(QStringLiteral(VELKOR_SOURCE_DIR "/tests/data/market/TS4H_small.txt"));
    ASSERT_EQ(expected.size(), 8);
    EXPECT_TEXT(f.readBytes("DATA/CSV/TS4H.CSV"), MarketFixture::fileBytes(expected));
    // Row 4 is scaled over the three rows before it: closes 146000 to 148000.
    EXPECT_TEXT(f.scalar("csm", "select (select count(*) from F02R4H) || ' ' || typeof(CV3) || ' ' || CV3 from F02R4H "
                                "where CNT = 4"),
                "6 real 0.596");
    EXPECT_EQ(w.data.training4h.RecordCount(), 6);
    EXPECT_EQ(w.data.training4h.RecNo(), 5);
}

TEST(TrainingTable, ComingBarLineOfAFiveMinuteImport) {
    MarketFixture f;
    f.writeQuotes("USDJPYM05.CSV", fiveMinuteBars(504, utc("2024/01/03 16:10")));  // last bar Friday 10:05
    f.import(5);
    f.build(5);
    const QStringList lines = textfile::readLines(f.file("DATA/CSV/TS05M.CSV"));
    ASSERT_EQ(lines.size(), 508 + 2);
    QStringList want = {"505", "'2024/01/05'", "'10:10'", ".857143", ".730874", ".056495"};
    for (int i = 0; i < 9; ++i) want << "NULL";
    want << "147000" << "NULL" << "NULL" << "147000" << "NULL" << "NULL" << "147000" << "NULL" << "NULL";
    for (int i = 0; i < 28; ++i) want << "NULL";
    want << "'2024/01/05'" << "'17:10'";
    EXPECT_TEXT(lines[504], want.join(','));
    EXPECT_TRUE(lines[505].startsWith("506,'2024/01/05','10:15',.857143,")) << str(lines[505]);
    EXPECT_TRUE(lines[508].startsWith("終値最大変化率: 0 ATR最大:0.0351  最小: 0.0351 RSI 最大: 55.2 最小: 55.2"));
    EXPECT_TRUE(lines[509].startsWith("平均  高値:")) << str(lines[509]);
    EXPECT_TRUE(lines[509].contains(", 4HAV:, 45AV:, ATR:")) << str(lines[509]);
}

// The window ranges kept in memory during the build against the range query on the
// finished table, row by row, on generated quotes with a gap in the quote numbering and
// training rows whose insert fails.
TEST(TrainingTable, BuildRangesAgreeWithTheRangeQuery) {
    MarketFixture f;
    QProcess gen;
    gen.start(QStringLiteral(VELKOR_BINARY_DIR "/velkor-sample"),
              {"--out", f.file("data"), "--end", "2024-01-10", "--days5", "4", "--days30", "20", "--days4h", "60"});
    ASSERT_TRUE(gen.waitForFinished(60000));
    ASSERT_EQ(gen.exitCode(), 0) << gen.readAllStandardError().toStdString();
    f.setReadDays(3);
    f.import(5);
    ASSERT_TRUE(f.exec("csm", "delete from F01CSV where CNT = 300"));
    ASSERT_TRUE(f.exec("csm", "update F01CSV set M20 = NULL, B0L = 'x' where CNT in (250, 251, 420)"));
    TVelkorF& w = *f.w;
    const int rows = f.scalar("csm", "select count(*) from F01CSV").toInt();
    ASSERT_GT(rows, 600);
    Query quotes(QStringLiteral("q"), &w.data.memory, QStringLiteral("select CV, ATR from F01CSV order by CNT"));
    quotes.Open();

    // The second build goes into a table that already holds the rows of the first, built
    // from other prices.
    for (int build = 1; build <= 2; ++build) {
        if (build == 2)
            ASSERT_TRUE(f.exec("csm", "update F01CSV set HV = HV + 700, CV = CV + 300, M05 = M05 + 200 where CNT % 7 = 0"));
        f.build(5);
        EXPECT_TEXT(f.scalar("csm", "select count(*) from F02R05M"), QString::number(build * (rows - 3)));
        const QStringList csv = textfile::readLines(f.file("DATA/CSV/TS05M.CSV"));
        ASSERT_EQ(csv.size(), rows + 2);
        int compared = 0;
        const int length = timeframeOf(5)->windowLength;
        for (int n = 1; n <= rows; ++n) {  // the rows before the first full window too
            const QStringList c = csv[n - 1].split(',');
            if (c[12] == "NULL") continue;  // a row of a coming bar
            const market::WindowScale w = f.w->windowScaleOf("F02R05M", n, length);
            const int q = c[12].toInt(), h = c[6].toInt(), l = c[9].toInt();
            const double atr = quotes.ValueAt(n - 1, 1).asFloat();
            QStringList want, got;
            want << orNull(fmt::frac6(std::min(1.0, guardedDivide(std::max(0, h - q), double(w.high[0]) - w.close[1]))))
                 << orNull(fmt::frac6(std::clamp(guardedDivide(q - l, double(w.close[0]) - w.low[1]), 0.0, 1.0)))
                 << QString::number(w.close[2]) << orNull(fmt::frac6(scaleIntoWindow(q, w.close[1], w.close[2])))
                 << QString::number(w.m05[2]) << orNull(fmt::frac6(scaleIntoWindow(c[24].toInt(), w.m05[1], w.m05[2])))
                 << QString::number(w.m20[1]) << QString::number(w.m1h[1])
                 << orNull(fmt::frac6(scaleIntoWindow(c[30].toInt(), w.m1h[1], w.m1h[2])))
                 << orNull(fmt::frac6(std::clamp(guardedDivide(atr - w.atr[1], w.atr[2]) * 0.8 + 0.1, 0.0, 1.0)));
            got << c[8] << c[11] << c[13] << c[14] << c[25] << c[26] << c[28] << c[31] << c[32] << c[40];
            ASSERT_TEXT(got.join(' '), want.join(' ')) << "build " << build << " row " << n;
            ++compared;
        }
        EXPECT_GT(compared, 400);
    }
}

TEST(TrainingTable, RangeQueryWindowAndEmptyWindow) {
    MarketFixture f;
    for (int n = 1; n <= 10; ++n)
        ASSERT_TRUE(f.exec("csm", QStringLiteral("insert into F02R05M (CNT, CV1, HV1, LV1, M051, M201, M1H1, ATR1) "
                                                 "values (%1, %2, %3, %4, %5, %6, NULL, %7)")
                                      .arg(n).arg(1000 + n).arg(2000 - n).arg(3000 + 10 * n).arg(n % 3)
                                      .arg(n == 7 ? QString("NULL") : QString::number(n))
                                      .arg(0.01 * n)));
    TVelkorF& w = *f.w;
    market::WindowScale s = w.windowScaleOf("F02R05M", 10, 5);
    EXPECT_EQ(s.close[2], 3);  // rows 6 to 9
    EXPECT_EQ(s.close, (std::array<int, 3>{1009, 1006, 3}));
    EXPECT_EQ(s.high, (std::array<int, 3>{1994, 1991, 3}));
    EXPECT_EQ(s.low, (std::array<int, 3>{3090, 3060, 30}));
    EXPECT_EQ(s.m05, (std::array<int, 3>{2, 0, 2}));
    EXPECT_EQ(s.m20, (std::array<int, 3>{9, 6, 3}));  // the NULL of row 7 is left out
    EXPECT_EQ(s.m1h, (std::array<int, 3>{0, 0, 0}));  // no value at all
    EXPECT_DOUBLE_EQ(s.atr[0], 0.09);
    EXPECT_DOUBLE_EQ(s.atr[1], 0.06);
    for (auto [icn, ik] : {std::pair{1, 5}, std::pair{10, 1}}) {
        s = w.windowScaleOf("F02R05M", icn, ik);
        EXPECT_EQ(s.close[2], 0);
        EXPECT_EQ(s.close, (std::array<int, 3>{0, 0, 0}));
        EXPECT_EQ(s.low, (std::array<int, 3>{0, 0, 0}));
        EXPECT_EQ(s.atr, (std::array<double, 3>{0, 0, 0}));
    }

    // The window kept in memory gives the same aggregates for every row.
    market::RangeWindow window;
    Query t(QStringLiteral("t"), &w.data.memory, "select CV1, HV1, LV1, M051, M201, M1H1, ATR1 from F02R05M order by CNT");
    t.Open();
    for (int n = 1; n <= 11; ++n) {
        if (n > 4) {
            EXPECT_TRUE(market::windowScale(window.window(n, 4)) == w.windowScaleOf("F02R05M", n, 4)) << n;
        }
        if (n <= 10) {
            std::array<DbValue, market::kRangeColumns> v;
            for (int c = 0; c < market::kRangeColumns; ++c) v[size_t(c)] = t.ValueAt(n - 1, c);
            if (n != 8) window.add(n, v);  // row 8 stands for a failed insert: it leaves the table too
        }
        if (n == 8) ASSERT_TRUE(f.exec("csm", "delete from F02R05M where CNT = 8"));
    }
}

TEST(TrainingTable, GapInTheQuoteNumberingUsesTheQuoteRowsOwnNeighbours) {
    MarketFixture f;
    for (int n : {1, 2, 3, 4, 6, 7})
        ASSERT_TRUE(f.exec("csm", QStringLiteral("insert into F01CSV (CNT, SYMD, SHM, HV, LV, CV) values "
                                                 "(%1, '2024/01/09', '10:0%1', %2, %2, %2)")
                                      .arg(n).arg(147000 + 10 * n)));
    f.build(5);
    // Training row 5 is quote row 6: its previous closes are those of quote rows 5 (none), 4 and 3.
    EXPECT_TEXT(f.rows("select CNT, SHM, SLP11, SLP21, SLP31, SLP32 from F02R05M where CNT >= 5 order by CNT"),
                (QStringList{"5|10:06||147040|147030|30", "6|10:07|147060||147040|30"}));
}

TEST(TrainingTable, AQuoteDateThatIsNoDateNamesTheQuoteFileLine) {
    MarketFixture f;
    QStringList lines = fiveMinuteBars(12, utc("2024/01/09 10:00"));
    lines[5].replace(0, 10, "2024/02/30");
    f.writeQuotes("USDJPYM05.CSV", lines);
    f.import(5);
    try {
        f.build(5);
        FAIL() << "no error";
    } catch (const VelkorError& e) {
        EXPECT_TEXT(e.text(), f.file("data/USDJPYM05.CSV") + " の 6 行目: '2024/02/30 10:25:00' は日付と時刻として読めません");
    }
    EXPECT_TEXT(f.scalar("csm", "select count(*) from F02R05M"), "5");
    EXPECT_FALSE(QFile::exists(f.file("DATA/CSV/TS05M.CSV")));
}

// Rows inserted through the prepared statement are stored exactly as the statement text
// of the SQL builder stores them.
TEST(TrainingTable, PreparedInsertStoresWhatTheStatementTextStores) {
    Connection c(QStringLiteral("t"));
    c.open();
    CatalogTable t{QStringLiteral("T1"), QStringLiteral("1"), {}};
    auto column = [](const char* name, const char* type, const char* length) {
        CatalogColumn col;
        col.name = name;
        col.type = type;
        col.length = length;
        return col;
    };
    t.columns = {column("N", "Integer", ""), column("R", "Real", ""), column("S", "nchar", "14"),
                 column("E", "varchar", "")};
    execOrThrow(c, " create table T1 ( N Integer, R Real, S nchar(14), E nchar ) ");
    execOrThrow(c, " create table T2 ( N Integer, R Real, S nchar(14), E nchar ) ");
    market::SlotInsert fast(c, t);
    ASSERT_TRUE(fast.usable());
    const char* values[] = {"12", "-5", "+5", ".5", "1.", "1e3", "1.5e-3", "007", "0.0351", "99999999999999999999",
                            "-0", "", "NULL", "-9223372036854775808", "147000.5", "12a", "0.1"};
    const char* texts[] = {"abc", "it's", "ABCDEFGHIJKLMNOPQ", "", "NULL", "147.123"};
    int row = 0;
    for (const char* v : values) {
        for (const char* s : texts) {
            Slots sa;
            sa[11] = QString::number(++row);
            sa[12] = v;
            sa[13] = s;
            sa[14] = s;  // no length: a value becomes the empty text
            Slots sb = sa;
            bool bad = false;
            const QString sql = sqlb::insert(t, sb, bad);
            const bool viaText = !bad && execOne(c, QString(sql).replace(" T1 ", " T2 "));
            EXPECT_EQ(fast.insert(sa), viaText) << v << " " << s;
            for (int i = 12; i <= 14; ++i) EXPECT_TEXT(sa[i], sb[i]);
        }
    }
    auto dump = [&](const char* table) {
        Query q(QStringLiteral("d"), &c,
                QStringLiteral("select N, typeof(R), quote(R), typeof(S), quote(S), quote(E) from %1 order by N").arg(table));
        q.Open();
        QStringList out;
        for (int r = 0; r < q.RecordCount(); ++r) {
            QStringList f;
            for (int k = 0; k < 6; ++k) f << q.ValueAt(r, k).asString();
            out << f.join('|');
        }
        return out;
    };
    const QStringList a = dump("T1");
    EXPECT_EQ(a.size(), 16 * 6);
    EXPECT_TEXT(a, dump("T2"));

    CatalogTable textColumn{QStringLiteral("T3"), QStringLiteral("3"), {column("N", "Text", "")}};
    execOrThrow(c, " create table T3 ( N Text ) ");
    EXPECT_FALSE(market::SlotInsert(c, textColumn).usable());
}
