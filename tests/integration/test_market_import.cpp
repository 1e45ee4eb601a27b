// The quote file import: which lines become rows, how prices are stored, the rows of the
// coming bars, the statistics of the side file, and errors that name file and line.
#include <gtest/gtest.h>

#include "integration/test_market_fixture.h"

namespace {

// `count` bars `minutes` apart from `first` (server time); local time is 7 hours later.
QStringList bars(int count, const QDateTime& first, int minutes) {
    QStringList out;
    for (int i = 0; i < count; ++i) {
        const QDateTime t = first.addSecs(qint64(i) * minutes * 60);
        const QDateTime l = t.addSecs(7 * 3600);
        Bar b{t.toString("yyyy/MM/dd"), t.toString("HH:mm")};
        b.lymd = l.toString("yyyy/MM/dd");
        b.lhm = l.toString("HH:mm");
        out.append(b.line());
    }
    return out;
}

QDateTime at(const char* text) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), "yyyy/MM/dd HH:mm");
    t.setTimeSpec(Qt::UTC);
    return t;
}

QString errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VelkorError& e) {
        return e.text();
    }
    return {};
}

}  // namespace

TEST(QuoteImport, ErPeriodDropsTheFirstPointAndFloorsAtZero) {
    struct Case { const char* in; const char* out; } cases[] = {
        {"147.123", "147123"}, {"147.12", "14712"}, {"-0.5", "0"}, {"", "0"}, {"1.2.3", "12.3"},
        {" 147.123", "0"}, {"+1.5", "0"}, {"abc", "abc"}, {"0.000", "0000"},
    };
    for (const Case& c : cases) {
        QString s = QString::fromLatin1(c.in);
        QString& r = market::priceToThousandths(s);
        EXPECT_EQ(&r, &s);
        EXPECT_TEXT(s, QString::fromLatin1(c.out)) << c.in;
    }
}

// Header, empty and 9999999 lines, the day before the cutoff and the cutoff day itself,
// extremes for both statistics lines and the period of the last two bars.
TEST(QuoteImport, FiveMinuteFileRowsPlaceholdersSideFileAndScale) {
    MarketFixture f;  // today 2024-01-10, 40 days: the cutoff is 2023/12/01
    auto bar = [](const char* d, const char* t, const char* h, const char* l, const char* c, const char* atr,
                  const char* rsi, const char* lt) {
        Bar b{d, t, h, l, c};
        b.atr = atr;
        b.rsi = rsi;
        b.lhm = lt;
        return b;
    };
    Bar noLowerBand4 = bar("2024/01/05", "09:50", "146.990", "146.900", "146.980", "0.020", "0", "16:50");
    noLowerBand4.b4l = "";
    Bar beforeCutoff{"2023/11/30", "23:55"};
    Bar tooHigh{"9999999", "10:00"};
    const QStringList lines = {
        "DATE,TIME,HIGH,LOW,CLOSE,MA05,MA20,MA1H,MA4H,MA1D,ATR,RSI,BB0L,BB0U,BB1L,BB1U,BB4L,BB4U,LDATE,LTIME",
        "",
        beforeCutoff.line(),
        bar("2023/12/01", "10:00", "147.050", "146.950", "147.000", "0.0351", "55.2", "17:00").line(),
        tooHigh.line(),
        bar("2024/01/05", "09:45", "147.060", "147.000", "147.030", "0.05", "60.1", "16:45").line(),
        noLowerBand4.line(),
        bar("2024/01/05", "09:55", "147.100", "147.050", "147.100", "0", "45.5", "16:55").line(),
        bar("2024/01/05", "10:00", "147.150", "147.000", "147.100", "0.0400", "70", "17:00").line(),
        bar("2024/01/05", "10:05", "147.120", "147.080", "147.100", "0.0300", "30.25", "17:05").line(),
    };
    f.writeQuotes("USDJPYM05.CSV", lines);
    f.import(5);

    EXPECT_TEXT(f.rows("select CNT, SYMD, SHM, CV, LYMD, LHM from F01CSV order by CNT"),
              (QStringList{"1|2023/12/01|10:00|147000|2023/12/01|17:00", "2|2024/01/05|09:45|147030|2024/01/05|16:45",
                           "3|2024/01/05|09:50|146980|2024/01/05|16:50", "4|2024/01/05|09:55|147100|2024/01/05|16:55",
                           "5|2024/01/05|10:00|147100|2024/01/05|17:00", "6|2024/01/05|10:05|147100|2024/01/05|17:05",
                           "7|2024/01/05|10:10||2024/01/05|17:10", "8|2024/01/05|10:15||2024/01/05|17:15",
                           "9|2024/01/05|10:20||2024/01/05|17:20", "10|2024/01/05|10:25||2024/01/05|17:25"}));
    EXPECT_TEXT(f.scalar("csm", "select count(*) from F01CSV where CNT > 6 and coalesce(HV, LV, CV, M05, M20, M1H, "
                              "M4H, M1D, ATR, RSI, B0L, B0U, B1L, B1U, B4L, B4U) is null"),
              "4");
    EXPECT_TEXT(f.dialogs.messages(), (QStringList{"05分足ﾃﾞｰﾀを読込ます ", "11 件読込"}));
    EXPECT_EQ(f.imported.stored, 6);
    EXPECT_TEXT(f.label(0), "6");
    EXPECT_EQ(f.imported.closeMoveScale, (std::array<int, 3>{120, -50, 120}));

    const QStringList side = {
        lines[0], lines[1], lines[2], lines[3],
        "高値の最高:,147150, 高値の最低:,146990, 安値の最高:,147080, 安値の最低:,146900, 終値の最高:,147100, "
        "終値の最安:,146980, ATR最大:,0.05, ATR最小:,0.020, RSI最大:,70, RSI最小:,30.25, BBL:,146700, BBH:,147300",
        "高値-終値 最大:,50, 高値ｰ終値 最小:,0, 終値-安値 最大:,100, 終値-安値 最小:,20, 0HAVG-BBLd:,200, "
        "0HBBUp-AVG:,120, 1HAVG-BBLd:,300, 1HBBUp-AVG:,220, 4HAVG-BBLd:,146980, 4HBBUp-AVG:,320",
    };
    EXPECT_TEXT(f.readBytes("DATA/CSV/USDJPY05M10.CSV"), MarketFixture::fileBytes(side));
}

TEST(QuoteImport, PricesBecomeThousandthsAndIndicatorsStayAsRead) {
    MarketFixture f;
    QStringList lines = bars(12, at("2024/01/09 10:00"), 240);
    Bar odd{"2024/01/09", "06:00", "147.123", "147.12", "-0.5"};
    odd.m05 = "";
    odd.atr = "0.0351";
    odd.rsi = "55.2";
    lines.prepend(odd.line());
    f.writeQuotes("USDJPYH04.CSV", lines);
    f.import(80);
    EXPECT_TEXT(f.rows("select HV, LV, CV, M05, typeof(ATR), ATR, RSI from F01CSV where CNT = 1"),
              QStringList{"147123|14712|0|0|real|0.0351|55.2"});
    EXPECT_TEXT(f.label(2), "13");
    // The bars are stored as read, and the lines that look wrong are told after the count.
    const QStringList m = f.dialogs.messages();
    ASSERT_GE(m.size(), 2);
    EXPECT_TEXT(m[m.size() - 2], "16 件読込");
    EXPECT_TEXT(m.last(), f.file("data/USDJPYH04.CSV") + ": 疑わしい行が 3 行あります\n"
                          "  1 行目: 価格 '147.12' が小数 3 桁の 0 以上の数ではありません\n"
                          "  12 行目: 2024/01/11 は今日より後の日付です\n"
                          "  13 行目: 2024/01/11 は今日より後の日付です");
}

TEST(QuoteImport, ThirtyMinuteBarsOnFridayNightContinueIntoSaturday) {
    MarketFixture f;
    f.writeQuotes("USDJPYM30.CSV", bars(12, at("2024/01/05 18:00"), 30));  // ends Friday 23:30
    f.import(30);
    EXPECT_TEXT(f.rows("select CNT, SYMD, SHM, LYMD, LHM from F01CSV where CNT > 12 order by CNT"),
              (QStringList{"13|2024/01/06|00:00|2024/01/06|07:00", "14|2024/01/06|00:30|2024/01/06|07:30",
                           "15|2024/01/06|01:00|2024/01/06|08:00"}));
}

TEST(QuoteImport, FiveHundredBarsCountFiveHundredAndFiveInTheMessage) {
    MarketFixture f;
    f.writeQuotes("USDJPYM05.CSV", bars(500, at("2024/01/09 00:00"), 5));
    f.import(5);
    EXPECT_TEXT(f.scalar("csm", "select count(*) || ',' || min(CNT) || ',' || max(CNT) from F01CSV"), "504,1,504");
    EXPECT_TEXT(f.label(0), "500");
    EXPECT_TEXT(f.dialogs.messages().last(), "505 件読込");
}

TEST(QuoteImport, ReadDaysThatAreNoNumberKeepOnlyTodaysBars) {
    MarketFixture f;
    f.w->page(0).rd1E->setText("abc");
    f.writeQuotes("USDJPYM05.CSV", bars(12, at("2024/01/09 23:30"), 5));  // 6 bars on the 9th, 6 on the 10th
    f.import(5);
    EXPECT_TEXT(f.scalar("csm", "select min(SYMD) || ' ' || count(*) from F01CSV where HV is not null"), "2024/01/10 6");
}

TEST(QuoteImport, APriceThatIsNoNumberLeavesOnlyItsRowOut) {
    MarketFixture f;
    QStringList lines = bars(12, at("2024/01/09 10:00"), 5);
    QStringList fields = lines[4].split(',');
    fields[2] = "147.1x0";
    lines[4] = fields.join(',');
    f.writeQuotes("USDJPYM05.CSV", lines);
    f.import(5);
    EXPECT_TEXT(f.scalar("csm", "select group_concat(CNT) from F01CSV where CNT between 3 and 7"), "3,4,6,7");
    EXPECT_TEXT(f.dialogs.messages(),
                (QStringList{"05分足ﾃﾞｰﾀを読込ます ", "17 件読込",
                             f.file("data/USDJPYM05.CSV") + ": 疑わしい行が 1 行あります\n"
                             "  5 行目: 価格 '147.1x0' が小数 3 桁の 0 以上の数ではありません、行を記録できません (この足は欠けます)"}));
    EXPECT_TEXT(f.label(0), "12");
}

TEST(QuoteImport, BadLinesNameFileAndLineAndKeepTheRowsBefore) {
    struct Case { int field; const char* value; bool cut; const char* message; } cases[] = {
        {10, "x", false, " の 4 行目: ATR 'x' は数値ではありません"},
        {11, "", false, " の 4 行目: RSI '' は数値ではありません"},
        {19, "", true, " の 4 行目: 項目が 19 個しかありません (20 個必要です)"},
    };
    for (const Case& c : cases) {
        MarketFixture f;
        QStringList lines = bars(12, at("2024/01/09 10:00"), 5);
        QStringList fields = lines[3].split(',');
        if (c.cut) fields.removeLast();
        else fields[c.field] = c.value;
        lines[3] = fields.join(',');
        f.writeQuotes("USDJPYM05.CSV", lines);
        const QString error = errorOf([&] { f.import(5); });
        EXPECT_TEXT(error, f.file("data/USDJPYM05.CSV") + QString::fromUtf8(c.message));
        EXPECT_TEXT(f.scalar("csm", "select count(*) from F01CSV"), "3");
        EXPECT_TEXT(f.dialogs.messages(), QStringList{"05分足ﾃﾞｰﾀを読込ます "});
    }
}

TEST(QuoteImport, ShortFilesAndUnreadableLastLinesStopAfterTheBars) {
    {
        MarketFixture f;  // nine lines: no tenth line from the end to copy
        f.writeQuotes("USDJPYM05.CSV", bars(9, at("2024/01/09 10:00"), 5));
        const QString error = errorOf([&] { f.import(5); });
        EXPECT_TRUE(error.startsWith(f.file("data/USDJPYM05.CSV"))) << error.toStdString();
        EXPECT_TEXT(f.scalar("csm", "select count(*) from F01CSV"), "13");
        EXPECT_FALSE(QFile::exists(f.file("DATA/CSV/USDJPY05M10.CSV")));
    }
    {
        MarketFixture f;
        QStringList lines = bars(12, at("2024/01/09 10:00"), 5);
        lines.append("END");
        f.writeQuotes("USDJPYM05.CSV", lines);
        const QString error = errorOf([&] { f.import(5); });
        EXPECT_TRUE(error.startsWith(f.file("data/USDJPYM05.CSV") + " の 13 行目")) << error.toStdString();
        EXPECT_TEXT(f.scalar("csm", "select count(*) from F01CSV"), "12");
        EXPECT_TEXT(f.dialogs.messages(), QStringList{"05分足ﾃﾞｰﾀを読込ます "});
    }
}

TEST(QuoteImport, ViewIsOpenAtTheLastRowWithCatalogWidths) {
    MarketFixture f;
    f.writeQuotes("USDJPYM05.CSV", bars(12, at("2024/01/09 10:00"), 5));
    f.import(5);
    f.w->openQuoteRows(QString());
    Query& q = f.w->data.quoteRows;
    EXPECT_EQ(q.RecordCount(), 16);
    EXPECT_EQ(q.RecNo(), 15);
    EXPECT_TEXT(q.FieldNames().first(), "CNT");
    EXPECT_EQ(q.DisplayWidth(1), 10);  // SYMD
}
