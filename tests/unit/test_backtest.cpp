// The backtest's pure parts: the statistics of its report checked against small tables worked
// out by hand, the base bars and cuts of a quote file, and the checks of its arguments and of
// its output folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/TextFile.h"
#include "db/Slots.h"
#include "app/VelkorError.h"
#include "backtest/Plan.h"
#include "backtest/QuoteFile.h"
#include "backtest/Stats.h"
#include "market/QuoteLine.h"

using namespace backtest;

// Wilson: centre (p + z²/2n) / (1 + z²/n), half width z / (1 + z²/n) * sqrt(p(1-p)/n + z²/4n²),
// z = 1.959964 (z² = 3.841459).
//   8 of 10: p = .8, 1 + z²/n = 1.3841459, centre = .99207295 / 1.3841459 = .716740,
//            half = 1.959964 * sqrt(.016 + .0096036) / 1.3841459 = .226578 -> [.490162, .943318]
//   0 of 5:  centre = .3841459 / 1.7682918 = .217241 = half -> [0, .434482]
//   5 of 5:  the mirror of 0 of 5 -> [.565518, 1]
TEST(BacktestStats, WilsonIntervalsOfSmallCounts) {
    struct Case { int hits, n; double low, high; };
    for (const Case& c : {Case{8, 10, 0.490162, 0.943318}, Case{0, 5, 0.0, 0.434482}, Case{5, 5, 0.565518, 1.0},
                          Case{1, 1, 0.206549, 1.0}}) {
        const std::optional<Interval> w = wilson(c.hits, c.n);
        ASSERT_TRUE(w);
        EXPECT_NEAR(w->low, c.low, 1e-6) << c.hits << "/" << c.n;
        EXPECT_NEAR(w->high, c.high, 1e-6) << c.hits << "/" << c.n;
    }
    EXPECT_FALSE(wilson(0, 0));
}

// P(X >= k), X ~ binomial(n, 1/2), as sums of binomial coefficients over 2^n:
//   k = 8, n = 10: (45 + 10 + 1) / 1024 = .0546875
//   k = 5, n = 10: (252 + 210 + 120 + 45 + 10 + 1) / 1024 = .623046875
//   k = 3, n = 20: 1 - (1 + 20 + 190) / 1048576 = .99979877471923828
//   k = 540, n = 1000: the sum of C(1000, i) / 2^1000 for i = 540..1000 in exact integers, .00622207313858589
TEST(BacktestStats, ExactBinomialTailAgainstHalf) {
    struct Case { int hits, n; double p; };
    for (const Case& c : {Case{8, 10, 0.0546875}, Case{5, 10, 0.623046875}, Case{3, 20, 0.99979877471923828},
                          Case{540, 1000, 0.00622207313858589}, Case{10, 10, 1.0 / 1024}, Case{0, 10, 1.0},
                          Case{11, 10, 0.0}, Case{0, 0, 1.0}})
        EXPECT_NEAR(binomialUpperTail(c.hits, c.n), c.p, 1e-12 + 1e-9 * c.p) << c.hits << "/" << c.n;
    // P(X >= k) + P(X >= n - k + 1) = 1 for every k.
    for (int k = 0; k <= 41; ++k) EXPECT_NEAR(binomialUpperTail(k, 41) + binomialUpperTail(42 - k, 41), 1.0, 1e-12) << k;
}

// Pesaran-Timmermann: P right share, Py outcomes up, Px forecasts up, P* = Py Px + (1-Py)(1-Px),
// var(P) = P*(1-P*)/n, var(P*) = (2Py-1)² Px(1-Px)/n + (2Px-1)² Py(1-Py)/n + 4 Py Px (1-Py)(1-Px)/n²,
// S = (P - P*) / sqrt(var(P) - var(P*)), p = 1 - Φ(S).
//   4 1 / 1 4 (up-up, up-down / down-up, down-down): P .8, Py .5, Px .5, P* .5, var .025 - .0025,
//     S = .3 / .15 = 2, p = .0227501319
//   8 4 / 2 6: P .7, Py .5, Px .6, P* .5, var .0125 - (.0005 + .0006), S = .2 / sqrt(.0114) = 1.8731716, p = .0305223448
//   5 1 / 2 2: P .7, Py .7, Px .6, P* .54, var .02484 - (.00384 + .00084 + .002016),
//     S = .16 / sqrt(.018144) = 1.1878277, p = .1174506412
TEST(BacktestStats, PesaranTimmermannOfSmallTables) {
    struct Case { DirectionTable t; double s, p; };
    for (const Case& c : {Case{{4, 1, 1, 4}, 2.0, 0.0227501319}, Case{{8, 4, 2, 6}, 1.8731716, 0.0305223448},
                          Case{{5, 1, 2, 2}, 1.1878277, 0.1174506412}}) {
        const std::optional<PtResult> r = pesaranTimmermann(c.t);
        ASSERT_TRUE(r);
        EXPECT_NEAR(r->statistic, c.s, 1e-6);
        EXPECT_NEAR(r->pValue, c.p, 1e-9);
    }
    // No variance to test against: nothing, not a number.
    EXPECT_FALSE(pesaranTimmermann({}));
    EXPECT_FALSE(pesaranTimmermann({6, 4, 0, 0}));  // every forecast up
    EXPECT_FALSE(pesaranTimmermann({6, 0, 4, 0}));  // every outcome up
}

// n = ((1.644854 * .5 + .841621 * sqrt(r(1-r))) / (r - .5))², rounded up: at 52 % 3,863 (about
// 3,900), at 55 % 617 (about 620).
TEST(BacktestStats, ForecastsNeededAndTheSentence) {
    EXPECT_EQ(forecastsNeeded(0.52), 3863);
    EXPECT_EQ(forecastsNeeded(0.55), 617);
    EXPECT_FALSE(forecastsNeeded(0.5));
    EXPECT_FALSE(forecastsNeeded(0.45));
    EXPECT_EQ(roughly(3863), 3900);
    EXPECT_EQ(roughly(617), 620);
    EXPECT_EQ(roughly(54), 54);
    EXPECT_EQ(grouped(1234567), "1,234,567");
    EXPECT_EQ(grouped(999), "999");

    struct Case { int hits, n; const char* has; };
    const Case cases[] = {
        {0, 0, "Period 2: no verified forecast yet."},
        {540, 1000, "are distinguishable from chance at 5 % (p = 0.0062)."},
        {52, 100, "not distinguishable from chance at 5 % (p = 0.3822); if 52.0 % were the true rate, about 3,900 "
                  "verified forecasts would be needed to tell it from 50 % (80 % power), about 3,800 more."},
        {45, 100, "a hit rate not above 50 % shows no skill"},
    };
    for (const Case& c : cases) {
        const QString s = periodSentence(2, c.hits, c.n, binomialUpperTail(c.hits, c.n));
        EXPECT_TRUE(s.contains(QString::fromUtf8(c.has))) << s.toStdString();
    }
}

namespace {
QString barLine(const QString& server, double close, const QString& local) {
    const QString p = QString::number(close, 'f', 3);
    QStringList f{server.left(10), server.mid(11), p, p, p};
    for (int i = 5; i < 18; ++i) f << (i == 10 ? "0.03" : i == 11 ? "50" : p);
    f << local.left(10) << local.mid(11);
    return f.join(',');
}
}  // namespace

// Base bars: the bar lines of the range in file order that have the history asked for, every
// EVERY-th from the first; lines that are no bar lines (a header, an empty line) count for
// nothing. A cut keeps the file up to its last line not later than the time, in file order
// also when the file is out of order.
TEST(BacktestQuoteFile, BaseBarsCutsAndPreviousCloses) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("q.csv");
    const QStringList lines{
        "Date,Time,High",                                                   // 1: no bar line
        barLine("2024/03/07 23:55", 150.100, "2024/03/08 06:55"),           // 2
        barLine("2024/03/08 00:00", 150.200, "2024/03/08 07:00"),           // 3
        "",                                                                 // 4
        barLine("2024/03/08 00:05", 150.150, "2024/03/08 07:05"),           // 5
        barLine("2024/03/08 00:15", 150.300, "2024/03/08 07:15"),           // 6
        barLine("2024/03/08 00:10", 150.250, "2024/03/08 07:10"),           // 7: out of order
        barLine("2024/03/11 00:00", 150.400, "2024/03/11 07:00"),           // 8
    };
    textfile::writeLines(path, lines);  // with a byte-order mark and CR LF
    const QuoteFile q(path);
    ASSERT_EQ(q.lines().size(), size_t(8));

    struct Case { QDate from, to; int every; std::vector<int> bases; };
    const Case cases[] = {
        {QDate(2024, 3, 8), QDate(2024, 3, 8), 1, {2, 4, 5, 6}},
        {QDate(2024, 3, 8), QDate(2024, 3, 8), 2, {2, 5}},
        {QDate(2024, 3, 7), QDate(2024, 3, 11), 3, {1, 5}},
        {QDate(2024, 3, 9), QDate(2024, 3, 10), 1, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(q.baseBars(c.from, c.to, c.every), c.bases) << c.from.toString().toStdString();

    // The rows a bar's step imports: the bar lines of its cut dated from its read days on.
    const std::vector<int> bars{1, 2, 4, 5, 6, 7};
    EXPECT_EQ(q.importedRows(bars, 0), (std::vector<int>{1, 1, 2, 4, 4, 1}));
    EXPECT_EQ(q.importedRows(bars, 3), (std::vector<int>{1, 2, 3, 5, 5, 5}));
    // Base bars with a history of 2 and of 4 bars before them; the others are left out.
    std::vector<int> leftOut;
    EXPECT_EQ(q.baseBars(QDate(2024, 3, 8), QDate(2024, 3, 8), 1, {0, 2}, &leftOut), (std::vector<int>{5, 6}));
    EXPECT_EQ(leftOut, (std::vector<int>{2, 4}));
    EXPECT_EQ(q.baseBars(QDate(2024, 3, 7), QDate(2024, 3, 11), 2, {3, 4}), (std::vector<int>{5, 7}));

    auto cutLines = [&](const QString& at) { return q.cutAfter(*serverDateTime(at.left(10), at.mid(11))); };
    EXPECT_EQ(q.text(), lines);
    EXPECT_EQ(cutLines("2024/03/07 23:50"), 0);
    EXPECT_EQ(cutLines("2024/03/08 00:00"), 3);   // the header and the first two bar lines
    EXPECT_EQ(cutLines("2024/03/08 00:05"), 5);   // the empty line 4 with them
    EXPECT_EQ(cutLines("2024/03/08 00:10"), 7);   // line 7 is at 00:10: line 6 (00:15) is kept before it
    EXPECT_EQ(cutLines("2024/03/08 00:12"), 7);
    EXPECT_EQ(cutLines("2024/03/11 00:00"), 8);

    EXPECT_FALSE(q.previousClose(1));
    EXPECT_EQ(q.previousClose(2), 150100);
    EXPECT_EQ(q.previousClose(4), 150200);  // past the empty line
    EXPECT_EQ(q.lines()[4].close, 150150);
    EXPECT_EQ(q.lines()[4].local, "2024/03/08 07:05");
    EXPECT_EQ(q.lines()[4].serverText, "2024/03/08 00:05");
}

// The base bars are the lines the import takes (its test without the read-days cutoff); a bar
// line whose date cannot be read stops the backtest with the file and line named.
TEST(BacktestQuoteFile, BarLinesAreThoseTheImportTakes) {
    QTemporaryDir tmp;
    const QString good = barLine("2024/03/08 00:00", 150.2, "2024/03/08 07:00");
    const QStringList lines{good, "A" + good, "999999" + good.mid(10), "\"2024/03/08\"" + good.mid(10), "", "ZZZ,1,2"};
    const QString path = tmp.filePath("q.csv");
    textfile::writeLines(path, lines);
    const QuoteFile q(path);
    ASSERT_EQ(q.lines().size(), size_t(lines.size()));
    for (int i = 0; i < lines.size(); ++i) {
        Slots s;
        market::ImportStats x;
        bool taken = false;
        try {
            taken = market::takeQuoteLine(s, x, lines[i], QString(), path, i + 1, 1);
        } catch (const VelkorError&) {
            taken = true;  // a bar line with too few fields: taken, and refused
        }
        EXPECT_EQ(q.lines()[size_t(i)].bar, taken) << lines[i].toStdString();
    }
    // Line 3 ("999999,...") is a bar line whose date is no date.
    try {
        q.baseBars(QDate(2024, 3, 8), QDate(2024, 3, 8), 1);
        FAIL() << "no error";
    } catch (const VelkorError& e) {
        EXPECT_TRUE(e.text().contains(path + ", line 3:")) << e.text().toStdString();
    }
}

TEST(BacktestPlan, CommandWordsAreChecked) {
    struct Case { QStringList words; const char* error; };
    const Case cases[] = {
        {{"backtest", "5", "2024-03-01", "2024-03-08"}, nullptr},
        {{"backtest", "80", "2024-03-08", "2024-03-08", "3"}, nullptr},
        {{"backtest", "7", "2024-03-01", "2024-03-08"}, "timeframe of 5|30|80, not 7"},
        {{"backtest", "5", "2024-03-09", "2024-03-08"}, "FROM 2024-03-09 lies after TO 2024-03-08"},
        {{"backtest", "5", "2024-02-30", "2024-03-08"}, "dates YYYY-MM-DD, not 2024-02-30"},
        {{"backtest", "5", "2024/03/01", "2024-03-08"}, "dates YYYY-MM-DD, not 2024/03/01"},
        {{"backtest", "5", "2024-03-01", "2024-03-08", "0"}, "EVERY as a whole number of 1 or more, not 0"},
        {{"backtest", "5", "2024-03-01", "2024-03-08", "x"}, "not x"},
        {{"backtest", "5", "2024-03-01"}, "needs TF FROM TO [EVERY]"},
        {{"backtest", "5", "2024-03-01", "2024-03-08", "1", "stats"}, "needs TF FROM TO [EVERY]"},
        {{"verify", "backtest", "5", "2024-03-01", "2024-03-08"}, "backtest runs alone"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(checkWords(c.words, error), c.error == nullptr) << c.words.join(' ').toStdString();
        if (c.error) EXPECT_TRUE(error.contains(QString::fromUtf8(c.error))) << error.toStdString();
    }
}

// The plan takes its settings from the working directory's cini.txt (TF's overridden), its data
// folder from config.txt or --data-dir; an output folder is new, this very backtest's, or refused.
TEST(BacktestPlan, SettingsDataFolderAndOutputFolder) {
    QTemporaryDir tmp;
    const QString wd = tmp.filePath("wd"), data = tmp.filePath("data");
    QDir().mkpath(wd);
    QDir().mkpath(data);
    for (const char* f : {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"}) textfile::writeLines(data + "/" + f, {"x"});
    textfile::writeLines(wd + "/cini.txt", {"a,5,7", "b,20,8", "c,80,9"});
    Request r;
    r.words = QStringList{"backtest", "30", "2024-03-01", "2024-03-08"};
    r.workDir = wd;
    r.passes = 2;
    Plan p;
    QString error;
    EXPECT_FALSE(makePlan(r, 2, p, error));
    EXPECT_TRUE(error.contains("no data folder known")) << error.toStdString();
    r.dataDir = data;
    ASSERT_TRUE(makePlan(r, 2, p, error)) << error.toStdString();
    EXPECT_EQ(p.settings, (Settings{{{5, 7}, {20, 2}, {80, 9}}}));
    EXPECT_EQ(p.dataDir, data + "/");
    EXPECT_EQ(p.jobs, 2);
    EXPECT_EQ(p.seed, 1u);
    EXPECT_EQ(p.outDir, wd + "/backtest-30-2024-03-01-2024-03-08-1");

    EXPECT_EQ(checkOutDir(p, error), OutDir::Fresh);
    QDir().mkpath(p.outDir);
    EXPECT_EQ(checkOutDir(p, error), OutDir::Fresh);
    textfile::writeLines(p.outDir + "/backtest.lock", {"1"});
    textfile::writeLines(p.outDir + "/velkor.lock", {});
    EXPECT_EQ(checkOutDir(p, error), OutDir::Fresh);
    QFile id(p.outDir + "/backtest.json");
    ASSERT_TRUE(id.open(QIODevice::WriteOnly));
    id.write(QJsonDocument(p.identity()).toJson());  // as the version before wrote it
    id.close();
    EXPECT_EQ(checkOutDir(p, error), OutDir::Resume);
    QJsonObject withDigest = p.identity();
    withDigest.insert(Plan::quoteDigestKey, "ab12");
    ASSERT_TRUE(id.open(QIODevice::WriteOnly | QIODevice::Truncate));
    id.write(QJsonDocument(withDigest).toJson());
    id.close();
    EXPECT_EQ(checkOutDir(p, error), OutDir::Resume);
    Plan other = p;
    other.seed = 2;
    EXPECT_EQ(checkOutDir(other, error), OutDir::Refused);
    EXPECT_TRUE(error.contains("holds another backtest")) << error.toStdString();
    other = p;
    other.outDir = wd;  // the working directory itself
    EXPECT_EQ(checkOutDir(other, error), OutDir::Refused);
    EXPECT_TRUE(error.contains("is not empty and holds no backtest")) << error.toStdString();

    textfile::writeLines(wd + "/cini.txt", {"a,5,7", "b,x,8"});
    EXPECT_FALSE(makePlan(r, 2, p, error));
    EXPECT_TRUE(error.contains(wd + "/cini.txt, line 2")) << error.toStdString();
}
