// The evaluation of verified forecasts against chance, the naive rules and the random walk:
// every statistic against values worked out by hand on small tables, the overlap and Holm
// corrections shown to matter, the live record read from SQDB.DB, and the language chosen by
// the locale.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>

#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "backtest/Evaluation.h"
#include "backtest/LiveRecord.h"
#include "backtest/QuoteFile.h"
#include "backtest/Report.h"
#include "backtest/ReportTexts.h"
#include "backtest/Stats.h"
#include "db/Database.h"

using namespace backtest;
using evaluation::VerifiedForecast;

// Student's t in closed form: df 1: 1/2 + atan(t)/pi; df 2: 1/2 + t / (2 sqrt(2 + t²));
// df 3: 1/2 + (t/√3 / (1 + t²/3) + atan(t/√3)) / pi. The incomplete beta at 1/2 with integer
// arguments is the binomial tail: I_1/2(k, n - k + 1) = P(X >= k), X ~ binomial(n, 1/2).
TEST(EvaluationStats, IncompleteBetaAndStudentT) {
    for (double t : {-3.0, -0.5, 0.0, 1.0, 2.5}) {
        EXPECT_NEAR(studentLowerTail(t, 1), 0.5 + std::atan(t) / M_PI, 1e-12) << t;
        EXPECT_NEAR(studentLowerTail(t, 2), 0.5 + t / (2 * std::sqrt(2 + t * t)), 1e-12) << t;
        const double u = t / std::sqrt(3.0);
        EXPECT_NEAR(studentLowerTail(t, 3), 0.5 + (u / (1 + u * u) + std::atan(u)) / M_PI, 1e-12) << t;
    }
    for (int n : {1, 6, 41, 400})
        for (int k = 1; k <= n; k += std::max(1, n / 7))
            EXPECT_NEAR(incompleteBeta(k, n - k + 1, 0.5), binomialUpperTail(k, n), 1e-12) << k << "/" << n;
    // Scaled to 4.5 of 6: I_1/2(3, 2.5) = .4089029 (Simpson's rule over the beta density).
    EXPECT_NEAR(scaledUpperTail(4, 6, 4.5), 0.4089029251, 1e-9);
    EXPECT_EQ(scaledUpperTail(4, 6, 6), binomialUpperTail(4, 6));
}

// Spread of hits 1 1 0 0 1 1 (mean 2/3, deviations ±1/3, -2/3; plain variance 2/9):
//   base bars 0..5, horizon 2: lag-1 products 1/9 - 2/9 + 4/9 - 2/9 + 1/9 = 2/9, long-run
//     2/9 + 2 (2/9) / 6 = 8/27, effective n = 6 (2/9) / (8/27) = 4.5
//   base bars 0 0 3 3 6 6, horizon 2: only the pairs on one bar, 1/9 + 4/9 + 1/9 = 6/9, long-run
//     2/9 + 2 (6/9) / 6 = 4/9, effective n = 3 (three distinct bars)
//   horizon 1: no dependent pair, effective n = 6
// Hits 1 0 1 1 on bars 0..3, horizon 2: lag-1 sum -.3125, long-run .1875 - .15625 = .03125 below
// the plain variance: effective n stays 4 (never above n).
TEST(EvaluationStats, SpreadOverDependentPairs) {
    const std::vector<double> hits{1, 1, 0, 0, 1, 1};
    struct Case { std::vector<qint64> bars; int horizon; double longRun, effectiveN; long long pairs; };
    for (const Case& c : {Case{{0, 1, 2, 3, 4, 5}, 2, 8.0 / 27, 4.5, 5}, Case{{0, 0, 3, 3, 6, 6}, 2, 4.0 / 9, 3, 3},
                          Case{{0, 1, 2, 3, 4, 5}, 1, 2.0 / 9, 6, 0}}) {
        const Spread s = spreadOf(hits, c.bars, c.horizon);
        EXPECT_NEAR(s.mean, 2.0 / 3, 1e-12);
        EXPECT_NEAR(s.variance, 2.0 / 9, 1e-12);
        EXPECT_NEAR(s.longRun, c.longRun, 1e-12);
        EXPECT_NEAR(s.effectiveN(), c.effectiveN, 1e-12);
        EXPECT_EQ(s.dependentPairs, c.pairs);
    }
    const Spread negative = spreadOf({1, 0, 1, 1}, {0, 1, 2, 3}, 2);
    EXPECT_NEAR(negative.longRun, 0.03125, 1e-12);
    EXPECT_EQ(negative.effectiveN(), 4);
    // Far more values than a window holds: the running sums agree with the plain variance.
    SpreadAccumulator far(3);
    for (int i = 0; i < 1000; ++i) far.add(i % 2, qint64(i) * 10);
    EXPECT_NEAR(far.spread().longRun, 0.25, 1e-12);
}

// Diebold-Mariano with the HLN correction, as R's dm.test(e1, e2, h, power):
//   d = 3 1 5, h 1: mean 3, variance 8/3, DM = 3 / sqrt(8/9), k = sqrt(2/3), statistic 3√3/2 =
//     2.5980762; t with 2 df: P(T <= s) = .9391550, two-sided 2 (1 - .9391550) = .1216899
//   d = 1 3 9 7, h 2: mean 5, γ0 10, γ1 2, long-run 14, DM = 5 / sqrt(3.5), k = sqrt(.375),
//     statistic 1.6366342; t with 3 df: .8998862, two-sided .2002276 (h 1 would give 2.7386128)
//   d = 1 1 1: no variance: nothing
TEST(EvaluationStats, DieboldMarianoOfSmallTables) {
    struct Case { std::vector<double> d; int h; double statistic, pBetter, pTwoSided; };
    for (const Case& c : {Case{{3, 1, 5}, 1, 2.598076211353316, 0.9391550328268399, 0.12168993434632025},
                          Case{{1, 3, 9, 7}, 2, 1.6366341767699426, 0.8998861853617213, 0.20022762927655746}}) {
        std::vector<qint64> bars;
        for (size_t i = 0; i < c.d.size(); ++i) bars.push_back(qint64(i));
        const std::optional<DmResult> r = dieboldMariano(spreadOf(c.d, bars, c.h), c.h);
        ASSERT_TRUE(r);
        EXPECT_NEAR(r->statistic, c.statistic, 1e-9);
        EXPECT_NEAR(r->pBetter, c.pBetter, 1e-9);
        EXPECT_NEAR(r->pTwoSided, c.pTwoSided, 1e-9);
    }
    EXPECT_FALSE(dieboldMariano(spreadOf({1, 1, 1}, {0, 1, 2}, 1), 1));
    EXPECT_FALSE(dieboldMariano(spreadOf({2}, {0}, 1), 1));
}

// Exact McNemar, two-sided 2 P(X >= max(b, c)), X ~ binomial(b + c, 1/2):
//   1 and 6: 2 (7 + 1) / 128 = .125;  0 and 5: 2 / 32 = .0625;  2 and 8: 2 (45 + 10 + 1) / 1024 =
//   .109375;  3 and 3: 1;  none discordant: 1. Scaled by .5, 2 and 8 are 1 and 4 of 5: 2 (5 + 1) / 32.
// Holm: .01 .04 .03 -> .03 .06 .06; with one left out .02 - .04 -> .04 - .04; .6 .7 -> 1 1.
TEST(EvaluationStats, McNemarAndHolm) {
    struct Case { int b, c; double p; };
    for (const Case& c : {Case{1, 6, 0.125}, Case{6, 1, 0.125}, Case{0, 5, 0.0625}, Case{2, 8, 0.109375}, Case{3, 3, 1},
                          Case{0, 0, 1}})
        EXPECT_NEAR(mcnemarExact(c.b, c.c), c.p, 1e-12) << c.b << " " << c.c;
    EXPECT_NEAR(mcnemarExact(2, 8, 0.5), 12.0 / 32, 1e-9);

    using P = std::vector<std::optional<double>>;
    struct HolmCase { P in, out; };
    for (const HolmCase& c : {HolmCase{{0.01, 0.04, 0.03}, {0.03, 0.06, 0.06}},
                              HolmCase{{0.02, std::nullopt, 0.04}, {0.04, std::nullopt, 0.04}},
                              HolmCase{{0.6, 0.7}, {1.0, 1.0}}}) {
        const P got = holm(c.in);
        ASSERT_EQ(got.size(), c.out.size());
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(bool(got[i]), bool(c.out[i]));
            if (got[i]) EXPECT_NEAR(*got[i], *c.out[i], 1e-12);
        }
    }
}

namespace {
VerifiedForecast forecast(int period, qint64 bar, std::optional<int> previous, int forecastClose, int actual, bool hit) {
    return {.period = period, .baseTime = QStringLiteral("2024/03/%1 08:00").arg(11 + bar, 2, 10, QLatin1Char('0')),
            .baseBar = bar, .baseClose = 150000, .forecastClose = forecastClose, .actualClose = actual,
            .previousClose = previous, .hit = hit};
}

// Six 4-hour runs on base bars 0..5 (base close 150000). Period 1 hit 5 of 6; period 2 hit
// 1 1 0 0 1 1, against always up 1 1 0 0 0 1, always down 0 0 1 1 1 0, persistence 1 0 0 0 1 1.
std::vector<VerifiedForecast> sixRuns() {
    const std::optional<int> up = 149990, down = 150010, none;
    const struct { std::optional<int> previous; int forecast, actual; bool hit1, hit2; } rows[] = {
        {up, 150005, 150010, true, true},     {down, 150020, 150010, true, true},  {up, 150010, 149990, true, false},
        {none, 150010, 149990, true, false}, {down, 149990, 149980, true, true}, {up, 150010, 150020, false, true},
    };
    std::vector<VerifiedForecast> out;
    for (int i = 0; i < 6; ++i) {
        out.push_back(forecast(1, i, rows[i].previous, rows[i].forecast, rows[i].actual, rows[i].hit1));
        out.push_back(forecast(2, i, rows[i].previous, rows[i].forecast, rows[i].actual, rows[i].hit2));
    }
    return out;
}
}  // namespace

// Period 1 does not overlap: p = P(X >= 5 | 6) = 7/64 both ways, effective n 6. Period 2 (h 2,
// base bars one apart) is worth 4.5 forecasts: p = 22/64 plain, I_1/2(3, 2.5) = .4089029 with
// the overlap, Wilson of 2/3 on 4.5 [.2609285, .9188961] against [.2999933, .9032286] on 6.
// Holm over the two: 2 (7/64) = .21875 for period 1, max(.21875, .4089029) for period 2.
// Without the overlap correction period 2 stays at 22/64; without Holm period 1 at 7/64.
TEST(Evaluation, OverlapAndHolmChangeTheFigures) {
    const evaluation::Evaluation e = evaluation::evaluate(*timeframeOf(80), sixRuns());
    ASSERT_EQ(e.periods.size(), size_t(2));
    const evaluation::PeriodEvaluation &p1 = e.periods[0], &p2 = e.periods[1];
    EXPECT_EQ(p1.n, 6);
    EXPECT_EQ(p1.hits, 5);
    EXPECT_EQ(p1.effectiveN, 6);
    EXPECT_NEAR(*p1.pValue, 7.0 / 64, 1e-12);
    EXPECT_EQ(*p1.pOverlap, *p1.pValue);
    EXPECT_DOUBLE_EQ(p1.wilson95Overlap->low, p1.wilson95->low);
    EXPECT_NEAR(*p1.pHolm, 0.21875, 1e-12);

    EXPECT_EQ(p2.hits, 4);
    EXPECT_NEAR(p2.effectiveN, 4.5, 1e-12);
    EXPECT_NEAR(*p2.pValue, 22.0 / 64, 1e-12);
    EXPECT_NEAR(*p2.pOverlap, 0.4089029251, 1e-9);
    EXPECT_NEAR(p2.wilson95->low, 0.2999933151, 1e-9);
    EXPECT_NEAR(p2.wilson95Overlap->low, 0.2609285260, 1e-9);
    EXPECT_NEAR(p2.wilson95Overlap->high, 0.9188961344, 1e-9);
    EXPECT_NEAR(*p2.pHolm, 0.4089029251, 1e-9);
    // The chart's running band ends on the overlap-aware interval.
    ASSERT_EQ(p2.running.size(), size_t(6));
    EXPECT_NEAR(p2.running.back().low, p2.wilson95Overlap->low, 1e-12);
    EXPECT_NEAR(p2.running.back().alwaysUp, 0.5, 1e-12);
    EXPECT_EQ(p2.running.front().baseTime, "2024/03/11 08:00");
}

// The naive rules on the same bars: hits and the discordant pairs of each; no move (no
// previous close) is no direction for persistence.
TEST(Evaluation, NaiveRulesOnTheSameBars) {
    const evaluation::PeriodEvaluation p2 = evaluation::evaluate(*timeframeOf(80), sixRuns()).periods[1];
    struct Case { int hits, forecastOnly, baselineOnly; double p; };
    const Case want[] = {{3, 1, 0, 1}, {3, 3, 2, 1}, {3, 1, 0, 1}};
    for (size_t r = 0; r < 3; ++r) {
        EXPECT_EQ(p2.baselines[r].hits, want[r].hits) << r;
        EXPECT_EQ(p2.baselines[r].forecastOnly, want[r].forecastOnly) << r;
        EXPECT_EQ(p2.baselines[r].baselineOnly, want[r].baselineOnly) << r;
        EXPECT_DOUBLE_EQ(p2.baselines[r].pValue, want[r].p) << r;
    }
}

// The random walk on four period-2 forecasts (base bars 0..3) with errors (forecast, no change)
// (1, 0) (2, 1) (3, 0) (4, 3): MAE 2.5 against 1, RMSE sqrt(7.5) against sqrt(2.5), Theil's U √3;
// squared-loss differences 1 3 9 7 (the table above), absolute ones 1 1 3 1: mean 1.5, γ0 .75,
// γ1 -.3125, long-run .125, statistic 1.5 / sqrt(.125 / 4) * sqrt(.375) = 3√3 = 5.1961524;
// t with 3 df: P(T <= s) = .9930766, two-sided .0138468. A period where every no-change error
// has the same size as the forecast's has no positive variance: its test is nothing.
TEST(Evaluation, AgainstTheRandomWalk) {
    std::vector<VerifiedForecast> f{forecast(2, 0, 149990, 149999, 150000, false), forecast(2, 1, 149990, 149999, 150001, false),
                                    forecast(2, 2, 149990, 149997, 150000, false), forecast(2, 3, 149990, 149999, 150003, false),
                                    forecast(1, 0, 149990, 150001, 150002, true), forecast(1, 1, 149990, 150001, 150002, true)};
    const evaluation::Evaluation e = evaluation::evaluate(*timeframeOf(80), f);
    const evaluation::RandomWalk& w = e.periods[1].randomWalk;
    EXPECT_DOUBLE_EQ(w.mae, 2.5);
    EXPECT_DOUBLE_EQ(w.maeNoChange, 1);
    EXPECT_NEAR(w.rmse, std::sqrt(7.5), 1e-12);
    EXPECT_NEAR(w.rmseNoChange, std::sqrt(2.5), 1e-12);
    EXPECT_NEAR(*w.maeRatio, 2.5, 1e-12);
    EXPECT_NEAR(*w.theilU, std::sqrt(3.0), 1e-12);
    ASSERT_TRUE(w.squared.result && w.absolute.result);
    EXPECT_NEAR(w.squared.result->statistic, 1.6366341767699426, 1e-9);
    EXPECT_NEAR(w.absolute.result->statistic, 3 * std::sqrt(3.0), 1e-9);
    EXPECT_NEAR(w.absolute.result->pBetter, 0.9930765835055706, 1e-9);
    EXPECT_NEAR(w.absolute.result->pTwoSided, 0.013846832988858804, 1e-9);
    // Period 1: both errors 1 and 2 each time: no variance of the differences.
    EXPECT_FALSE(e.periods[0].randomWalk.squared.result);
    EXPECT_FALSE(e.periods[0].randomWalk.absolute.pTwoSidedHolm);
    // Holm over the one period with a test leaves it as it is.
    EXPECT_NEAR(*w.absolute.pTwoSidedHolm, 0.013846832988858804, 1e-9);
    EXPECT_TRUE(e.periods[1].sentence.contains("significantly further off than no change (mean absolute error 2.5 against 1.0"))
        << e.periods[1].sentence.toStdString();
    EXPECT_TRUE(e.periods[0].sentence.contains("no Diebold-Mariano test: the long-run variance is not positive"))
        << e.periods[0].sentence.toStdString();
}

// The sentences name what was compared, and the verdict counts over the periods.
TEST(Evaluation, SentencesAndVerdict) {
    const evaluation::Evaluation e = evaluation::evaluate(*timeframeOf(80), sixRuns());
    const QString& s2 = e.periods[1].sentence;
    for (const char* part : {"Period 2: 4 hits in 6 verified forecasts (66.7 %, 95 % interval 26.1 % to 91.9 %, worth 4.5 "
                             "independent forecasts as they overlap) are not distinguishable from chance at 5 % (p = 0.4089",
                             "better than always buying (50.0 %, p = 1.0000, not significant)",
                             "better than always selling (50.0 %", "better than persistence (the base bar's move goes on) (50.0 %"})
        EXPECT_TRUE(s2.contains(QString::fromUtf8(part))) << s2.toStdString();
    EXPECT_TRUE(e.verdict.startsWith(QString::fromUtf8("4時間足: of 2 periods, 0 beat chance, 0 beat all three naive rules")))
        << e.verdict.toStdString();
    EXPECT_TRUE(e.verdict.endsWith("No period shows skill beyond chance, the naive rules and the random walk."));
    const evaluation::Evaluation none = evaluation::evaluate(*timeframeOf(30), {});
    EXPECT_EQ(none.periods.size(), size_t(3));
    EXPECT_EQ(none.periods[2].sentence, "Period 3: no verified forecast yet.");
    EXPECT_EQ(none.verdict, QString::fromUtf8("30分足: no verified forecast yet."));
}

namespace {
QString barLine(const QString& server, int close, const QString& local) {
    const QString p = QString::number(close / 1000.0, 'f', 3);
    QStringList f{server.left(10), server.mid(11), p, p, p};
    for (int i = 5; i < 18; ++i) f << (i == 10 ? "0.03" : i == 11 ? "50" : p);
    f << local.left(10) << local.mid(11);
    return f.join(',');
}

void exec(Connection& c, const QString& sql) { ASSERT_TRUE(execOne(c, sql)) << sql.toStdString(); }
}  // namespace

// The live record: runs in base-bar order with their periods, placed in the quote file (the
// bar's number and the close before it); a base bar missing from the file places every run by
// its time; no database, no runs. The report built on it is a schema-2 document.
TEST(EvaluationLiveRecord, RunsPlacedInTheQuoteFile) {
    QTemporaryDir tmp;
    const QString db = tmp.filePath("SQDB.DB"), quotes = tmp.filePath("USDJPYH04.CSV");
    textfile::writeLines(quotes, {barLine("2024/03/11 00:00", 150100, "2024/03/11 07:00"),
                                  barLine("2024/03/11 04:00", 150200, "2024/03/11 11:00"),
                                  barLine("2024/03/11 08:00", 150150, "2024/03/11 15:00"),
                                  barLine("2024/03/11 12:00", 150300, "2024/03/11 19:00")});
    {
        Connection c("w");
        c.setDatabase(db);
        c.open();
        exec(c, "create table F03V4HH (CNT integer, TBID integer, TBNM varchar(7), DT varchar(10), HM varchar(5), CV integer)");
        exec(c, "create table F03VDT (CNT integer, TBID integer, HTNM varchar(7), HCNT integer, YKNO integer, YGCL integer, "
                "JGCL integer, RST integer)");
        // Run 1 on the third bar, run 2 on the second (stored later, placed first).
        exec(c, "insert into F03V4HH values (1, 18, 'F03V4HH', '2024/03/11', '15:00', 150150)");
        exec(c, "insert into F03V4HH values (2, 18, 'F03V4HH', '2024/03/11', '11:00', 150200)");
        exec(c, "insert into F03VDT values (1, 18, 'F03V4HH', 1, 1, 150200, 150300, 1)");
        exec(c, "insert into F03VDT values (2, 18, 'F03V4HH', 1, 2, 150250, NULL, NULL)");
        exec(c, "insert into F03VDT values (3, 18, 'F03V4HH', 2, 1, 150100, 150150, 1)");
        exec(c, "insert into F03VDT values (4, 18, 'F03V4HH', 2, 2, 150300, 150300, -1)");
        exec(c, "insert into F03VDT values (5, 17, 'F03V30H', 2, 1, 1, 1, 1)");  // another timeframe
    }
    const QuoteFile q(quotes);
    const std::vector<StepOutcome> runs = readLiveRecord(db, *timeframeOf(80), &q);
    ASSERT_EQ(runs.size(), size_t(2));
    EXPECT_EQ(runs[0].local, "2024/03/11 11:00");
    EXPECT_EQ(runs[0].barNumber, 1);
    EXPECT_EQ(runs[0].move, 100);   // 150200 - 150100
    EXPECT_EQ(runs[1].barNumber, 2);
    EXPECT_EQ(runs[1].move, -50);
    EXPECT_TRUE(runs[1].periods[0].verified);
    EXPECT_FALSE(runs[1].periods[1].verified);
    EXPECT_EQ(verifiedForecasts(runs).size(), size_t(3));

    // Without the quote file: by local time in 4-hour bars, four hours apart.
    const std::vector<StepOutcome> timed = readLiveRecord(db, *timeframeOf(80), nullptr);
    EXPECT_EQ(timed[1].barNumber - timed[0].barNumber, 1);
    EXPECT_EQ(timed[0].move, 0);
    EXPECT_TRUE(readLiveRecord(tmp.filePath("none.db"), *timeframeOf(80), &q).empty());

    const Report r = makeLiveReport(*timeframeOf(80), tmp.path(), runs);
    const QJsonObject doc = QJsonDocument::fromJson(reportJson(r)).object();
    EXPECT_EQ(doc["schema"].toInt(), 2);
    EXPECT_EQ(doc["source"].toString(), "live");
    EXPECT_EQ(doc["pending"].toInt(), 1);
    const QJsonObject p1 = doc["periods"].toArray()[0].toObject();
    EXPECT_EQ(p1["n"].toInt(), 2);
    for (const char* k : {"effective_n", "p_value_overlap", "wilson95_overlap", "p_value_holm", "random_walk", "baselines", "sentence"})
        EXPECT_TRUE(p1.contains(k)) << k;
    const QJsonObject rw = p1["random_walk"].toObject();
    for (const char* k : {"mae", "rmse", "mae_no_change", "rmse_no_change", "mae_ratio", "theil_u", "dm_squared", "dm_absolute"})
        EXPECT_TRUE(rw.contains(k)) << k;
    // Forecast errors |150150 - 150100| and |150300 - 150200|; no change |150150 - 150200| and
    // |150300 - 150150|. Up from the base close: the second run only.
    EXPECT_DOUBLE_EQ(rw["mae"].toDouble(), 75);
    EXPECT_DOUBLE_EQ(rw["mae_no_change"].toDouble(), 100);
    const QJsonObject up = p1["baselines"].toObject()["always_up"].toObject();
    EXPECT_EQ(up["hits"].toInt(), 1);
    EXPECT_DOUBLE_EQ(up["hit_rate"].toDouble(), 0.5);
    const QStringList csv = reportCsvLines(r);
    ASSERT_EQ(csv.size(), 3);
    EXPECT_TRUE(csv[0].endsWith(",sentence"));
    EXPECT_EQ(textfile::splitCommas(csv[1]).size(), textfile::splitCommas(csv[0]).size());
}

// Japanese where the first of LC_ALL, LC_MESSAGES and LANG that is set names it, or none is
// set; English otherwise, the C locale included. The Japanese texts are in the program.
TEST(EvaluationLanguage, ChosenByTheLocale) {
    using evaluation::localeLanguage;
    struct Case { const char *all, *messages, *lang, *want; };
    for (const Case& c : {Case{"", "", "", "ja"}, Case{"", "", "ja_JP.UTF-8", "ja"}, Case{"C", "", "ja_JP.UTF-8", "en"},
                          Case{"", "ja_JP.UTF-8", "en_US.UTF-8", "ja"}, Case{"", "", "C", "en"},
                          Case{"en_GB.UTF-8", "", "", "en"}, Case{"ja_JP", "", "C", "ja"}})
        EXPECT_EQ(localeLanguage(c.all, c.messages, c.lang), c.want) << c.all << "|" << c.messages << "|" << c.lang;
    EXPECT_EQ(evaluation::installTranslation("ja"), "ja");
    EXPECT_EQ(evaluation::ReportTexts::ruleName(evaluation::Rule::AlwaysUp), QString::fromUtf8("常に買い"));
    EXPECT_EQ(evaluation::installTranslation("en"), "en");
    EXPECT_EQ(evaluation::ReportTexts::ruleName(evaluation::Rule::AlwaysUp), "always buying");
}
