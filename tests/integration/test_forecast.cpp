// The training and forecast run: what it stores, how it trains, and how it fails.
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>
#include <gtest/gtest.h>

#include "app/Format.h"
#include "forecast/Forecast.h"
#include "test_forecast_fixture.h"
#include "ui_VelkorU.h"

namespace {

constexpr int imported = 210;  // the 5-minute window of 200 bars and its periods, and a few more

struct Detail {
    int cnt, hcnt, ykno, ygcl, hg, lg, sgn;
    QString htnm, dcr, jgcl, sg, rst;
};

std::vector<Detail> details(ForecastFixture& f, int tbid) {
    Query q(QStringLiteral("d"), &f.w->data.file,
            QStringLiteral("select * from F03VDT where TBID = %1 order by CNT").arg(tbid));
    q.Open();
    std::vector<Detail> out;
    for (q.First(); !q.IsEmpty() && out.size() < size_t(q.RecordCount()); q.Next()) {
        auto s = [&](const char* n) { return q.FieldByName(QString::fromLatin1(n)).AsString(); };
        auto i = [&](const char* n) { return q.FieldByName(QString::fromLatin1(n)).AsInteger(); };
        out.push_back({i("CNT"), i("HCNT"), i("YKNO"), i("YGCL"), i("HG"), i("LG"), i("SGN"), s("HTNM"), s("DCR"),
                       s("JGCL"), s("SG"), s("RST")});
    }
    return out;
}

QStringList headerRow(ForecastFixture& f, const QString& table, int cnt) {
    Query q(QStringLiteral("h"), &f.w->data.file, QStringLiteral("select * from %1 where CNT = %2").arg(table).arg(cnt));
    q.Open();
    QStringList out;
    for (int c = 0; c < q.FieldCount(); ++c) out << q.FieldNames()[c] + QLatin1Char('=') + q.ValueAt(0, c).asString();
    return out;
}

QStringList placeholderCloses(ForecastFixture& f, const Timeframe& t) {
    Query q(QStringLiteral("p"), &f.w->data.memory,
            QStringLiteral("select CV1, HV1, LV1, M053 from %1 where CNT > %2 order by CNT").arg(t.trainingTable).arg(imported));
    q.Open();
    QStringList out;
    for (int r = 0; r < q.RecordCount(); ++r)
        out << QStringLiteral("%1/%2/%3/%4").arg(q.ValueAt(r, 0).asString(), q.ValueAt(r, 1).asString(),
                                                 q.ValueAt(r, 2).asString(), q.ValueAt(r, 3).asString());
    return out;
}

class ForecastRunPerTimeframe : public ::testing::TestWithParam<int> {};

// One run stores one header and ityk detail rows that carry exactly what a plain training
// loop with the same seed forecasts, and writes the same network.
TEST_P(ForecastRunPerTimeframe, StoresWhatAPlainTrainingLoopForecasts) {
    const int code = GetParam();
    ForecastFixture f;
    const Timeframe& t = f.t(code);
    f.fillTraining(code, imported);
    f.setPasses(code, QStringLiteral("6"));
    f.page(code).rd1E->setText(QStringLiteral("40"));
    const Reference ref = referenceRun(f, t, 6, 7u);

    f.run(code);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.dialogs.messages(), QStringList{QStringLiteral("学習時間:  00分 00秒")});

    // The header.
    EXPECT_EQ(headerRow(f, t.headerTable, 1),
              (QStringList{QStringLiteral("CNT=1"), QStringLiteral("TBID=%1").arg(t.tbid),
                           QStringLiteral("TBNM=") + t.headerTable, QStringLiteral("DT=2024/01/05"),
                           QStringLiteral("HM=") + f.scalar(QStringLiteral("csm"), QStringLiteral("select LHM from %1 where CNT = %2").arg(t.trainingTable).arg(imported)),
                           QStringLiteral("CV=") + f.scalar(QStringLiteral("csm"), QStringLiteral("select CV1 from %1 where CNT = %2").arg(t.trainingTable).arg(imported)),
                           QStringLiteral("RD=40"), QStringLiteral("LN=6"),
                           QStringLiteral("MSE=") + fmt::shortest(fmt::frac6(ref.mse).toDouble()), QStringLiteral("LT=00:00")}));
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from ") + t.headerTable), 1);

    // The details: YKNO 1..n, consecutive numbers, the forecasts of the plain loop.
    const std::vector<Detail> d = details(f, t.tbid);
    ASSERT_EQ(int(d.size()), t.periods);
    QStringList placeholders;
    for (int p = 0; p < t.periods; ++p) {
        SCOPED_TRACE(p + 1);
        const std::array<float, 3>& o = ref.outputs[size_t(p)];
        const int ygcl = scaleBack(ref.cvMin, ref.cvMax - ref.cvMin, o[0]);
        const int hg = ygcl + roundEven32(o[1] * double(ref.hvMax - ref.cvMin));
        const int lg = ygcl - roundEven32(o[2] * double(ref.cvMax - ref.lvMin));
        EXPECT_EQ(d[size_t(p)].cnt, p + 1);
        EXPECT_EQ(d[size_t(p)].hcnt, 1);
        EXPECT_EQ(d[size_t(p)].ykno, p + 1);
        EXPECT_EQ(d[size_t(p)].htnm, t.headerTable);
        EXPECT_EQ(d[size_t(p)].ygcl, ygcl);
        EXPECT_EQ(d[size_t(p)].hg, hg);
        EXPECT_EQ(d[size_t(p)].lg, lg);
        EXPECT_GE(hg, ygcl);
        EXPECT_GE(ygcl, lg);
        const QString dcr = fmt::frac6(o[0]);
        EXPECT_EQ(d[size_t(p)].dcr, fmt::shortest(dcr.toDouble()));
        EXPECT_EQ(d[size_t(p)].sgn, forecast::signal(dcr.toDouble(), t.buyThreshold, t.sellThreshold));
        EXPECT_TRUE(d[size_t(p)].jgcl.isEmpty() && d[size_t(p)].sg.isEmpty() && d[size_t(p)].rst.isEmpty());
        placeholders << QStringLiteral("%1/%2/%3/%4").arg(ygcl).arg(hg).arg(lg).arg(fmt::shortest(dcr.toDouble()));
    }
    // The placeholder rows carry the forecasts.
    EXPECT_EQ(placeholderCloses(f, t), placeholders);
    // The network file is the plain loop's network, weight for weight.
    EXPECT_EQ(f.readBytes(t.networkFile), ref.network);
    EXPECT_FALSE(QFileInfo::exists(f.file(t.networkFile + QStringLiteral(".new"))));
    EXPECT_EQ(f.w->runningNetwork, nullptr);

    // The page shows the run, the diagram page the network.
    EXPECT_EQ(f.page(code).cntL->text(), QStringLiteral("1"));
    EXPECT_EQ(f.page(code).sg->item(1, 1)->text(), QString::number(d[0].ygcl));
    EXPECT_EQ(f.w->findChild<QLabel*>(QStringLiteral("d12ms2L"))->text(), fmt::frac6(ref.mse));
    // The learning curve: the running error after each of the 6 passes, ending on the stored
    // error; the network drawn on its page.
    const auto curve = f.w->ui->dCht->chart()->series();
    ASSERT_EQ(curve.size(), 1);
    const QList<QPointF> points = static_cast<QXYSeries*>(curve[0])->points();
    ASSERT_EQ(points.size(), 6);
    EXPECT_EQ(fmt::frac6(points.last().y()), fmt::frac6(ref.mse));
    f.w->show();
    f.w->ui->pc->setCurrentWidget(f.w->ui->dts);
    EXPECT_FALSE(f.w->ui->dImg->pixmap().isNull());
    f.w->hide();
    // The progress display counted passes and ended.
    EXPECT_EQ(f.sprogress.starts, 1);
    EXPECT_EQ(f.sprogress.ends, 1);
    EXPECT_TRUE(f.sprogress.labels.last().contains(QStringLiteral("6 / 6"))) << f.sprogress.labels.last().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Timeframes, ForecastRunPerTimeframe, ::testing::Values(5, 30, 80));

// Same seed, same data, same passes: the same stored rows, bit for bit (apart from LT).
TEST(ForecastRun, SameSeedGivesSameRows) {
    auto once = [](unsigned seed) {
        ForecastFixture f(seed);
        f.fillTraining(30, imported);
        f.setPasses(30, QStringLiteral("4"));
        f.clock.setElapsedMs(-1);  // the real elapsed time
        f.run(30);
        QStringList rows = headerRow(f, QStringLiteral("F03V30H"), 1).filter(QRegularExpression(QStringLiteral("^(?!LT=)")));
        for (const Detail& d : details(f, 17))
            rows << QStringLiteral("%1 %2 %3 %4 %5 %6").arg(d.ykno).arg(d.ygcl).arg(d.hg).arg(d.lg).arg(d.dcr).arg(d.sgn);
        return rows;
    };
    const QStringList a = once(11), b = once(11), c = once(12);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

// The patterns one pass presents: rows without a close are skipped but counted, the close
// target carries over (also into the next pass), HV2/LV2 of 0 zero their targets.
TEST(ForecastRun, TrainingPatterns) {
    const QStringList fields{QStringLiteral("WEEK"), QStringLiteral("SIN"), QStringLiteral("COS"), QStringLiteral("SLP13"),
                             QStringLiteral("SLP23"), QStringLiteral("SLP33"), QStringLiteral("M053"), QStringLiteral("M203"),
                             QStringLiteral("M1H3"), QStringLiteral("ATR2"), QStringLiteral("RSI2"), QStringLiteral("B0L3"),
                             QStringLiteral("B1L3"), QStringLiteral("B4L3"), QStringLiteral("CV1"), QStringLiteral("CV3"),
                             QStringLiteral("HV2"), QStringLiteral("HV3"), QStringLiteral("LV2"), QStringLiteral("LV3")};
    struct R { std::optional<int> cv1; double cv3; int hv2; double hv3; int lv2; double lv3; };
    const std::vector<R> rows{
        {150000, 1.0, 10, .3, 5, .4},         // close target carried (0 in pass 1)
        {std::nullopt, .9, 10, .3, 5, .4},    // no close: skipped, still counted
        {150010, .6, 0, .3, 0, .4},           // HV2 and LV2 zero: targets 0
        {150020, 1.0, 20, .5, 8, .2},         // carried .6
        {150030, .2, 20, .5, 8, .2},
        {150040, 1.5, 20, .5, 8, .2},         // carried .2, the last presented row
        {150050, .7, 20, .5, 8, .2},          // beyond the rows asked for
    };
    std::vector<std::vector<DbValue>> data;
    for (size_t r = 0; r < rows.size(); ++r) {
        std::vector<DbValue> v;
        for (int k = 0; k < 14; ++k) v.push_back(DbValue::real(double(r) + k / 100.0));
        v.push_back(rows[r].cv1 ? DbValue::integer(*rows[r].cv1) : DbValue::null());
        v.push_back(DbValue::real(rows[r].cv3));
        v.push_back(DbValue::integer(rows[r].hv2));
        v.push_back(DbValue::real(rows[r].hv3));
        v.push_back(DbValue::integer(rows[r].lv2));
        v.push_back(DbValue::real(rows[r].lv3));
        data.push_back(v);
    }
    Query q(QStringLiteral("t"), nullptr, QString());
    q.OpenRows(fields, data);
    const forecast::TrainingPatterns p = forecast::trainingPatterns(q, 6);
    ASSERT_EQ(p.count, 5);
    EXPECT_EQ(p.targetsFirst, (std::vector<float>{0, .3f, .4f, .6f, 0, 0, .6f, .5f, .2f, .2f, .5f, .2f, .2f, .5f, .2f}));
    EXPECT_EQ(p.targetsLater, (std::vector<float>{.2f, .3f, .4f, .6f, 0, 0, .6f, .5f, .2f, .2f, .5f, .2f, .2f, .5f, .2f}));
    ASSERT_EQ(p.inputs.size(), size_t(5 * 14));
    EXPECT_EQ(p.inputs[14], 2.0f);  // the second pattern is row 3
    EXPECT_EQ(p.lastInputs()[13], float(5 + 13 / 100.0));
}

TEST(ForecastRun, SignalThresholds) {
    struct Case { double ddc; int code; int sgn; };
    const Case cases[] = {
        {.52, 5, 1},    {.52, 30, 0},  {.52, 80, 0},  {.46, 5, -1},  {.46, 30, -1}, {.46, 80, 0},
        {.518, 5, 0},   {.482, 5, 0},  {.5181, 5, 1}, {.4819, 5, -1}, {.53, 30, 0},  {.47, 30, 0},
        {.55, 80, 0},   {.45, 80, 0},  {.551, 80, 1}, {0, 80, -1},   {1, 5, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(forecast::signal(c.ddc, timeframeOf(c.code)->buyThreshold, timeframeOf(c.code)->sellThreshold), c.sgn) << c.ddc << " " << c.code;
}

// Passes 0, empty or not a number: no training step; the untrained network forecasts from
// the calendar inputs alone.
TEST(ForecastRun, UntrainedWhenPassesAreNoNumber) {
    struct Case { QString text; QString ln; };
    for (const Case& c : {Case{QStringLiteral("0"), QStringLiteral("0")}, Case{QString(), QString()},
                          Case{QStringLiteral("abc"), QStringLiteral("0")}}) {
        SCOPED_TRACE(c.text.toStdString());
        ForecastFixture f;
        f.fillTraining(5, imported);
        f.setPasses(5, c.text);
        const Reference ref = referenceRun(f, f.t(5), 0, 7u);
        f.run(5);
        ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
        EXPECT_EQ(f.sprogress.starts, 0);
        EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select LN from F03V05H")), c.ln);
        EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select MSE from F03V05H")), QString());
        const std::vector<Detail> d = details(f, 16);
        ASSERT_EQ(d.size(), 4u);
        for (size_t p = 0; p < 4; ++p)
            EXPECT_EQ(d[p].dcr, fmt::shortest(fmt::frac6(ref.outputs[p][0]).toDouble()));
        EXPECT_EQ(f.readBytes(QStringLiteral("DATA/USDJPY05.net")), ref.network);
    }
}

// A run that fails or is cancelled leaves everything stored as it was.
struct Unchanged {
    ForecastFixture& f;
    const Timeframe& t;
    QStringList placeholders;
    QString count;
    explicit Unchanged(ForecastFixture& fx, int code)
        : f(fx), t(fx.t(code)), placeholders(placeholderCloses(fx, t)), count(fx.page(code).cntL->text()) {}
    void check() {
        EXPECT_EQ(f.count(QStringLiteral("select count(*) from ") + t.headerTable), 0);
        EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03VDT")), 0);
        EXPECT_EQ(placeholderCloses(f, t), placeholders);
        EXPECT_FALSE(QFileInfo::exists(f.file(t.networkFile)));
        EXPECT_FALSE(QFileInfo::exists(f.file(t.networkFile + QStringLiteral(".new"))));
        EXPECT_EQ(f.w->runningNetwork, nullptr);
        EXPECT_EQ(f.page(t.code).cntL->text(), count);
        EXPECT_TRUE(f.dialogs.messages().isEmpty());
        EXPECT_TRUE(f.w->findChild<QLabel*>(QStringLiteral("dImg"))->pixmap().isNull());
    }
};

TEST(ForecastRun, CancelLeavesEverythingAsItWas) {
    ForecastFixture f;
    f.fillTraining(5, imported);
    f.setPasses(5, QStringLiteral("1000"));
    f.clock.setElapsedMs(-1);
    f.sprogress.onUpdate = [](qint64) { return false; };
    Unchanged before(f, 5);
    f.run(5);
    EXPECT_TRUE(f.dialogs.errors.isEmpty());
    EXPECT_EQ(f.sprogress.updates, 1);
    EXPECT_EQ(f.sprogress.ends, 1);
    before.check();
}

TEST(ForecastRun, NoImportedRowsIsAnError) {
    for (int imported : {0, -1}) {
        ForecastFixture f;
        if (imported == 0) f.fillTraining(80, 0);  // placeholder rows only; -1: an empty table
        Unchanged before(f, 80);
        f.setPasses(80, QStringLiteral("5"));
        f.run(80);
        ASSERT_EQ(f.dialogs.errors.size(), 1);
        EXPECT_TRUE(f.dialogs.errors[0].contains(QStringLiteral("F02R4H"))) << f.dialogs.errors[0].toStdString();
        before.check();
    }
}

TEST(ForecastRun, MissingDataFolderIsAnErrorNamingTheFile) {
    ForecastFixture f;
    f.fillTraining(30, imported);
    f.setPasses(30, QStringLiteral("2"));
    ASSERT_TRUE(QDir(f.file(QStringLiteral("DATA"))).removeRecursively());
    Unchanged before(f, 30);
    f.run(30);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains(f.file(QStringLiteral("DATA/USDJPY30.net")))) << f.dialogs.errors[0].toStdString();
    before.check();
}

// A failure while storing undoes the header, the details and the placeholder forecasts.
TEST(ForecastRun, StoringFailureRollsBackEverything) {
    ForecastFixture f;
    f.fillTraining(5, imported);
    f.setPasses(5, QStringLiteral("2"));
    ASSERT_TRUE(f.exec(QStringLiteral("csq"), QStringLiteral("drop table F03VDT")));
    Unchanged before(f, 5);
    f.run(5);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains(QStringLiteral("F03VDT"))) << f.dialogs.errors[0].toStdString();
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03V05H")), 0);
    EXPECT_EQ(placeholderCloses(f, f.t(5)), before.placeholders);
    EXPECT_FALSE(QFileInfo::exists(f.file(QStringLiteral("DATA/USDJPY05.net"))));
    EXPECT_EQ(f.w->runningNetwork, nullptr);
    EXPECT_EQ(f.page(5).cntL->text(), before.count);
    // The browse view shows the table as stored.
    const Query& browse = f.w->data.trainingQuery(0);
    EXPECT_TRUE(browse.ValueAt(browse.RecordCount() - 1, browse.FieldIndex(QStringLiteral("CV1"))).isNull());
}

// The training time comes from the elapsed timer: a run across midnight lasting 75 min 5 s
// stores 15:05 (hours dropped).
TEST(ForecastRun, TrainingTimeFromTheElapsedTimer) {
    ForecastFixture f;
    f.clock.setTimeOfDay(QTime(23, 59, 50));
    f.clock.setElapsedMs(1000);
    f.fillTraining(5, imported);
    f.setPasses(5, QStringLiteral("3"));
    f.sprogress.onUpdate = [&](qint64) {
        f.clock.setElapsedMs(1000 + (75 * 60 + 5) * 1000);
        f.clock.setTimeOfDay(QTime(1, 14, 55));
        return true;
    };
    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select LT from F03V05H")), QStringLiteral("15:05"));
    EXPECT_EQ(f.page(5).lt2L->text(), QStringLiteral("15:05"));
    EXPECT_EQ(f.dialogs.messages(), QStringList{QStringLiteral("学習時間:  15分 05秒")});
}

// A second run gets the next numbers and replaces the network file.
TEST(ForecastRun, SecondRunGetsNextNumbers) {
    ForecastFixture f;
    f.fillTraining(80, imported);
    f.setPasses(80, QStringLiteral("2"));
    f.run(80);
    f.run(80);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(CNT) from F03V4HH")), QStringLiteral("1,2"));
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(CNT || ':' || HCNT || ':' || YKNO) from F03VDT")),
              QStringLiteral("1:1:1,2:1:2,3:2:1,4:2:2"));
    EXPECT_EQ(f.page(80).cntL->text(), QStringLiteral("2"));
}

}  // namespace

namespace {
// After a run the browse view of the training table shows the forecasts written into the
// placeholder rows, on its last row, and its grid shows them too.
TEST(ForecastRun, BrowseViewShowsTheForecasts) {
    ForecastFixture f;
    f.fillTraining(5, imported);
    f.setPasses(5, QStringLiteral("2"));
    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    const QStringList stored = queryRows(&f.w->data.file, QStringLiteral("select YGCL from F03VDT order by CNT"));
    ASSERT_EQ(stored.size(), 4);
    const Query& b = f.w->data.trainingQuery(0);
    QStringList shown, inGrid;
    QAbstractItemModel* m = f.w->ui->fDG->model();
    int col = -1;
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == QStringLiteral("終値1")) col = c;
    for (int r = b.RecordCount() - 4; r < b.RecordCount(); ++r) {
        shown << b.ValueAt(r, b.FieldIndex(QStringLiteral("CV1"))).asString();
        inGrid << m->data(m->index(r, col)).toString();
    }
    EXPECT_EQ(shown, stored);
    EXPECT_EQ(inGrid, stored);
    EXPECT_EQ(b.RecNo(), b.RecordCount() - 1);
}
}  // namespace

// A run writes its network beside the file under a name of its own process and installs it
// by rename: the temporary file of another run of the same timeframe in the same folder
// (here a cut one of 4,096 bytes) is neither installed nor touched, and nothing of this run
// stays beside the file.
TEST(ForecastRun, NetworkFileIsInstalledFromATemporaryFileOfItsOwn) {
    ForecastFixture f;
    const Timeframe& t = f.t(5);
    f.fillTraining(5, 210);
    f.setPasses(5, QStringLiteral("3"));
    const QByteArray others(4096, 'x');
    for (const QString& name : {t.networkFile + QStringLiteral(".new"), t.networkFile + QStringLiteral(".1.new")})
        f.writeBytes(name, others);
    const QStringList before = QDir(f.file(QStringLiteral("DATA"))).entryList(QDir::Files);
    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    const QByteArray net = f.readBytes(t.networkFile);
    EXPECT_TRUE(net.startsWith("FANN_FLO")) << net.left(16).constData();
    EXPECT_NE(net, others);
    for (const QString& name : {t.networkFile + QStringLiteral(".new"), t.networkFile + QStringLiteral(".1.new")})
        EXPECT_EQ(f.readBytes(name), others) << name.toStdString();
    QStringList after = QStringList(before) << QFileInfo(t.networkFile).fileName();
    after.sort();
    EXPECT_EQ(QDir(f.file(QStringLiteral("DATA"))).entryList(QDir::Files), after);
}
