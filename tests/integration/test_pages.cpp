// The timeframe result pages, the run list with its delete command, the hit statistics and
// the batch commands of the forecast.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QTest>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "window/batch/Batch.h"
#include "test_forecast_fixture.h"
#include "ui_VelkorU.h"

namespace {

// Stores a run directly: header `cnt` of the timeframe with base time `hm` and close `cv`,
// and its details (YGCL, JGCL or NULL, HG, LG, SGN, RST or NULL) from detail number `firstDetail`.
struct DetailRow { int ygcl; QString jgcl; int hg, lg, sgn; QString rst; };

void storeRun(ForecastFixture& f, int code, int cnt, const QString& hm, int cv, const std::vector<DetailRow>& rows,
              int firstDetail) {
    const Timeframe& t = f.t(code);
    ASSERT_TRUE(f.exec(QStringLiteral("csq"),
                       QStringLiteral("insert into %1 values (%2, %3, '%1', '2024/01/05', '%4', %5, 40, 1000, .0123, '01:02')")
                           .arg(t.headerTable).arg(cnt).arg(t.tbid).arg(hm).arg(cv)));
    for (size_t i = 0; i < rows.size(); ++i) {
        const DetailRow& r = rows[i];
        ASSERT_TRUE(f.exec(QStringLiteral("csq"),
                           QStringLiteral("insert into F03VDT values (%1, %2, '%3', %4, %5, %6, %7, NULL, %8, %9, .5, %10, %11)")
                               .arg(firstDetail + int(i)).arg(t.tbid).arg(t.headerTable).arg(cnt).arg(i + 1).arg(r.ygcl)
                               .arg(r.jgcl.isEmpty() ? QStringLiteral("NULL") : r.jgcl).arg(r.hg).arg(r.lg).arg(r.sgn)
                               .arg(r.rst.isEmpty() ? QStringLiteral("NULL") : r.rst)));
    }
}

QStringList gridRow(QTableWidget* g, int row) {
    QStringList out;
    for (int c = 0; c < g->columnCount(); ++c) out << (g->item(row, c) ? g->item(row, c)->text() : QString());
    return out;
}

QStringList seriesNames(QChartView* v) {
    QStringList out;
    for (QAbstractSeries* s : v->chart()->series()) out << s->name();
    return out;
}

void refresh(ForecastFixture& f, int code) {
    f.w->refreshPage(*timeframeOf(code));
}

TEST(Pages, StartupResetLaysOutTheResultGrids) {
    ForecastFixture f;
    for (int code : {5, 30, 80}) {
        QTableWidget* g = f.page(code).sg;
        EXPECT_EQ(g->rowCount(), 5);
        EXPECT_EQ(g->columnCount(), f.t(code).periods + 1);
        QStringList titles;
        for (int r = 0; r < 5; ++r) titles << g->item(r, 0)->text();
        EXPECT_EQ(titles, (QStringList{"予測分", "予測額", "実終値", "売  買", "合  否"}));
        EXPECT_EQ(g->item(1, 1)->textAlignment(), int(Qt::AlignCenter));
        EXPECT_TRUE(f.page(code).cntL->text().isEmpty());
        EXPECT_TRUE(f.page(code).cht->chart()->series().isEmpty());
    }
    EXPECT_EQ(f.page(5).ln1E->text(), QStringLiteral("1000"));
    EXPECT_EQ(f.page(80).ln1E->text(), QStringLiteral("600"));
}

// The newest run: labels, period times wrapping at midnight, a pending period with its
// forecast and signal but empty actual close and result; the chart with six series.
TEST(Pages, ShowsNewestRunWithPeriodTimesAcrossMidnight) {
    ForecastFixture f;
    storeRun(f, 5, 1, QStringLiteral("10:00"), 150000, {{1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}}, 1);
    storeRun(f, 5, 2, QStringLiteral("23:50"), 150000,
             {{150100, "150050", 150200, 149900, 1, "1"}, {149900, "149950", 150000, 149800, -1, "-1"},
              {150010, "", 150100, 149950, 0, ""}, {150020, "", 150120, 149960, 1, ""}}, 5);
    refresh(f, 5);
    TVelkorF::Page& p = f.page(5);
    EXPECT_EQ(p.dt2E->text(), QStringLiteral("2024/01/05"));
    EXPECT_EQ(p.hmL->text(), QStringLiteral("23:50"));
    EXPECT_EQ(p.cv2L->text(), QStringLiteral("150000"));
    EXPECT_EQ(p.cntL->text(), QStringLiteral("2"));
    EXPECT_EQ(p.ln2L->text(), QStringLiteral("1000"));
    EXPECT_EQ(p.lt2L->text(), QStringLiteral("01:02"));
    EXPECT_EQ(gridRow(p.sg, 0), (QStringList{"予測分", "23:55", "00:00", "00:05", "00:10"}));
    EXPECT_EQ(gridRow(p.sg, 1), (QStringList{"予測額", "150100", "149900", "150010", "150020"}));
    EXPECT_EQ(gridRow(p.sg, 2), (QStringList{"実終値", "150050", "149950", "", ""}));
    EXPECT_EQ(gridRow(p.sg, 3), (QStringList{"売  買", "買", "売", "", "買"}));
    EXPECT_EQ(gridRow(p.sg, 4), (QStringList{"合  否", "○", "×", "", ""}));
    EXPECT_EQ(seriesNames(p.cht), (QStringList{"実終値", "高値", "安値", "予測終値", "買ｻｲﾝ", "売ｻｲﾝ"}));
    // The detail grid lists the shown run.
    EXPECT_EQ(f.w->data.runDetails.RecordCount(), 4);
    EXPECT_EQ(f.w->data.runDetails.FieldByName(QStringLiteral("HCNT")).AsInteger(), 2);

    // A 4-hour run's periods step 4 hours.
    storeRun(f, 80, 1, QStringLiteral("20:00"), 150000, {{1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}}, 9);
    refresh(f, 80);
    EXPECT_EQ(gridRow(f.page(80).sg, 0), (QStringList{"予測分", "00:00", "04:00"}));
}

// F1 on a run list shows that run's periods in the detail grid; F12 deletes it after OK.
TEST(Pages, F1ShowsDetailsAndF12DeletesAfterConfirmation) {
    ForecastFixture f;
    const std::vector<DetailRow> three{{1, "", 1, 1, 0, ""}, {2, "", 2, 2, 0, ""}, {3, "", 3, 3, 0, ""}};
    storeRun(f, 30, 1, QStringLiteral("10:00"), 150000, three, 1);
    storeRun(f, 30, 2, QStringLiteral("10:30"), 150100, three, 4);
    storeRun(f, 5, 1, QStringLiteral("10:00"), 150000, {{1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}}, 7);
    refresh(f, 30);
    refresh(f, 5);
    QTableView* e2G = f.page(30).headerGrid;

    // Select the older run and press F1: its details, with the 30-minute timeframe.
    e2G->selectRow(0);
    QTest::keyClick(e2G, Qt::Key_F1);
    EXPECT_EQ(f.w->data.runDetails.RecordCount(), 3);
    EXPECT_EQ(f.w->data.runDetails.FieldByName(QStringLiteral("TBID")).AsInteger(), 17);
    EXPECT_EQ(f.w->data.runDetails.FieldByName(QStringLiteral("HCNT")).AsInteger(), 1);

    // Cancel changes nothing.
    f.dialogs.answers = {false};
    QTest::keyClick(e2G, Qt::Key_F12);
    EXPECT_EQ(f.dialogs.log.last(), QStringLiteral("confirm: 30分足のﾚｺｰﾄﾞと明細を削除します"));
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03V30H")), 2);
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03VDT")), 10);

    // OK deletes the selected run and its 3 details; the page shows the newest run.
    f.dialogs.answers = {true};
    QTest::keyClick(e2G, Qt::Key_F12);
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(CNT) from F03V30H")), QStringLiteral("2"));
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(CNT) from F03VDT")),
              QStringLiteral("4,5,6,7,8,9,10"));
    EXPECT_EQ(f.page(30).cntL->text(), QStringLiteral("2"));

    // Deleting the newest run makes its number the next one's.
    f.dialogs.answers = {true};
    QTest::keyClick(e2G, Qt::Key_F12);
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03V30H")), 0);
    f.w->showNewRunNumber(*timeframeOf(30));
    EXPECT_EQ(f.page(30).cntL->text(), QStringLiteral("1"));

    // No run left: a message, and the page shows nothing of the deleted runs.
    f.w->showCurrentRun(*timeframeOf(30));
    QTest::keyClick(e2G, Qt::Key_F12);
    EXPECT_EQ(f.dialogs.log.last(), QStringLiteral("message: 削除するﾃﾞｰﾀがありません"));
    EXPECT_TRUE(f.dialogs.unexpected.isEmpty()) << f.dialogs.unexpected.join('\n').toStdString();
    EXPECT_TRUE(f.page(30).cntL->text().isEmpty());
    EXPECT_EQ(gridRow(f.page(30).sg, 1), (QStringList{"予測額", "", "", ""}));
    EXPECT_TRUE(f.page(30).cht->chart()->series().isEmpty());
    // The 5-minute run is untouched.
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03VDT where TBID = 16")), 4);
}

// Hits, misses and rates per period; pending rows count for neither; a period without any
// verified row leaves its rate cell unwritten.
TEST(HitStats, CountsHitsMissesAndRates) {
    ForecastFixture f;
    storeRun(f, 5, 1, "10:00", 150000, {{1, "1", 1, 1, 0, "1"}, {1, "1", 1, 1, 0, "1"}, {1, "1", 1, 1, 0, "-1"}, {1, "", 1, 1, 0, ""}}, 1);
    storeRun(f, 5, 2, "10:05", 150000, {{1, "1", 1, 1, 0, "1"}, {1, "1", 1, 1, 0, "1"}, {1, "1", 1, 1, 0, "-1"}, {1, "", 1, 1, 0, ""}}, 5);
    storeRun(f, 5, 3, "10:10", 150000, {{1, "1", 1, 1, 0, "-1"}, {1, "", 1, 1, 0, ""}, {1, "1", 1, 1, 0, "-1"}, {1, "", 1, 1, 0, ""}}, 9);
    storeRun(f, 80, 1, "08:00", 150000, {{1, "1", 1, 1, 0, "1"}, {1, "1", 1, 1, 0, "1"}}, 13);
    for (int code : {5, 30, 80}) refresh(f, code);
    f.w->countStats();
    QTableWidget* g5 = f.page(5).statsGrid;
    EXPECT_EQ(gridRow(g5, 0), (QStringList{"期番", "01期", "02期", "03期", "04期", ""}));
    EXPECT_EQ(gridRow(g5, 1), (QStringList{"当り数", "2", "2", "0", "0", ""}));
    EXPECT_EQ(gridRow(g5, 2), (QStringList{"外れ数", "1", "0", "3", "0", ""}));
    EXPECT_EQ(gridRow(g5, 3), (QStringList{"当り率", "66%", "100%", "0%", "", ""}));
    EXPECT_EQ(gridRow(f.page(30).statsGrid, 3), (QStringList{"当り率", "", "", "", "", ""}));
    EXPECT_EQ(gridRow(f.page(80).statsGrid, 1), (QStringList{"当り数", "1", "1", "0", "0", ""}));
    EXPECT_EQ(gridRow(f.page(80).statsGrid, 3), (QStringList{"当り率", "100%", "100%", "", "", ""}));
    EXPECT_EQ(f.page(5).statsCount->text(), QStringLiteral("3"));
    EXPECT_EQ(f.page(30).statsCount->text(), QStringLiteral("0"));
    EXPECT_EQ(f.page(80).statsCount->text(), QStringLiteral("1"));
}

TEST(BatchCommands, ArgumentsMustBeATimeframe) {
    struct Case { QStringList cmds; bool ok; };
    const Case cases[] = {
        {{"forecast", "5", "forecast", "30", "forecast", "80"}, true},
        {{"show", "30", "delete", "80"}, true},
        {{"forecast", "7"}, false},
        {{"show", "4H"}, false},
        {{"delete", "05"}, false},
        {{"forecast"}, false},
        {{"chart", "80", "c.png", "show", "5"}, true},
        {{"chart", "4H", "c.png"}, false},
        {{"chart", "5"}, false},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(checkBatchCommands(c.cmds, error), c.ok) << c.cmds.join(' ').toStdString();
        EXPECT_EQ(error.isEmpty(), c.ok) << error.toStdString();
    }
}

// Captures what a function prints on stdout.
QString captureStdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    char name[] = "/tmp/velkor-stdout-XXXXXX";
    const int fd = mkstemp(name);
    const int saved = dup(1);
    dup2(fd, 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    QFile file(QString::fromLatin1(name));
    file.open(QIODevice::ReadOnly);
    const QString out = QString::fromUtf8(file.readAll());
    close(fd);
    std::remove(name);
    return out;
}

TEST(BatchCommands, ForecastShowAndDelete) {
    ForecastFixture f;
    f.fillTraining(30, 210);
    f.setPasses(30, QStringLiteral("2"));
    QString error;
    EXPECT_EQ(runBatchCommands(*f.w, {"forecast", "30"}, error), 0);
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03V30H")), 1);
    const QString out = captureStdout([&] { runBatchCommands(*f.w, {"show", "30"}, error); });
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 9 + 5) << out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("label b201dt2E: 2024/01/05"));
    EXPECT_EQ(lines[3], QStringLiteral("label b204cntL: 1"));
    EXPECT_EQ(lines[5], QStringLiteral("label b206ln2L: 2"));
    EXPECT_TRUE(lines[8].startsWith(QStringLiteral("label d12ms2L: .")));
    EXPECT_EQ(lines[9].split('\t').size(), 4);
    EXPECT_TRUE(lines[9].startsWith(QStringLiteral("予測分\t")));
    f.dialogs.answers = {true};
    EXPECT_EQ(runBatchCommands(*f.w, {"delete", "30"}, error), 0);
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03V30H")), 0);
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03VDT")), 0);
}

// Under --json "show" and "stats" give the shown run's fields, each period of the result grid
// with its signal and result as words, and per timeframe and period the hits, misses and hit
// rate; a page without a run gives a null run. The document is the schema scripts rely on.
TEST(BatchCommands, JsonOfShowAndStats) {
    ForecastFixture f;
    storeRun(f, 5, 1, "10:00", 150000,
             {{150100, "150050", 150300, 149900, 1, "1"}, {149900, "150050", 150200, 149800, -1, "-1"},
              {150000, "", 150100, 149950, 0, ""}, {150020, "", 150100, 149950, 1, ""}}, 1);
    refresh(f, 5);
    BatchContext context;
    context.json = true;
    QString error;
    ASSERT_EQ(runBatchCommands(*f.w, {"show", "5", "show", "30", "stats"}, error, &context), 0) << error.toStdString();
    QJsonParseError pe;
    const QJsonObject doc = QJsonDocument::fromJson(context.document(0), &pe).object();
    ASSERT_EQ(pe.error, QJsonParseError::NoError);
    const QJsonObject want = QJsonDocument::fromJson(R"({"schema": 1, "status": 0, "error": null, "results": [
      {"command": "show", "timeframe": 5,
       "run": {"number": 1, "date": "2024/01/05", "time": "10:00", "close": 150000, "readDays": 40,
               "passes": 1000, "mse": 0.0123, "trainingTime": "01:02"},
       "periods": [
         {"period": 1, "time": "10:05", "forecastClose": 150100, "actualClose": 150050, "signal": "buy", "result": "hit"},
         {"period": 2, "time": "10:10", "forecastClose": 149900, "actualClose": 150050, "signal": "sell", "result": "miss"},
         {"period": 3, "time": "10:15", "forecastClose": 150000, "actualClose": null, "signal": null, "result": null},
         {"period": 4, "time": "10:20", "forecastClose": 150020, "actualClose": null, "signal": "buy", "result": null}]},
      {"command": "show", "timeframe": 30, "run": null, "periods": []},
      {"command": "stats", "timeframes": [
        {"timeframe": 5, "runs": 1, "periods": [
          {"period": 1, "hits": 1, "misses": 0, "hitRatePercent": 100},
          {"period": 2, "hits": 0, "misses": 1, "hitRatePercent": 0},
          {"period": 3, "hits": 0, "misses": 0, "hitRatePercent": null},
          {"period": 4, "hits": 0, "misses": 0, "hitRatePercent": null}]},
        {"timeframe": 30, "runs": 0, "periods": [
          {"period": 1, "hits": 0, "misses": 0, "hitRatePercent": null},
          {"period": 2, "hits": 0, "misses": 0, "hitRatePercent": null},
          {"period": 3, "hits": 0, "misses": 0, "hitRatePercent": null},
          {"period": 4, "hits": 0, "misses": 0, "hitRatePercent": null}]},
        {"timeframe": 80, "runs": 0, "periods": [
          {"period": 1, "hits": 0, "misses": 0, "hitRatePercent": null},
          {"period": 2, "hits": 0, "misses": 0, "hitRatePercent": null},
          {"period": 3, "hits": 0, "misses": 0, "hitRatePercent": null},
          {"period": 4, "hits": 0, "misses": 0, "hitRatePercent": null}]}]}]})").object();
    ASSERT_FALSE(want.isEmpty());
    EXPECT_EQ(doc, want) << context.document(0).toStdString();
}

}  // namespace

// The detail grid follows the run list row the user highlights, with or without F1, and the
// delete confirmation acts on that very run; "当否" reads ○/× as on the result page.
TEST(Pages, DetailGridFollowsTheHighlightedRun) {
    ForecastFixture f;
    const std::vector<DetailRow> three{{1, "1", 1, 1, 0, "1"}, {2, "1", 2, 2, 0, "-1"}, {3, "", 3, 3, 0, ""}};
    storeRun(f, 30, 1, QStringLiteral("10:00"), 150000, three, 1);
    storeRun(f, 30, 2, QStringLiteral("10:30"), 150100, {{1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}}, 4);
    storeRun(f, 5, 1, QStringLiteral("10:00"), 150000, {{1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}, {1, "", 1, 1, 0, ""}}, 7);
    refresh(f, 30);
    refresh(f, 5);
    f.w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.w.get()));
    QTableView* e2G = f.page(30).headerGrid;
    auto shownRun = [&] { return f.w->data.runDetails.FieldByName(QStringLiteral("HCNT")).AsInteger(); };
    auto shownTbid = [&] { return f.w->data.runDetails.FieldByName(QStringLiteral("TBID")).AsInteger(); };
    ASSERT_EQ(shownTbid(), 16);

    // A click on the older 30-minute run shows its details.
    e2G->setFocus();
    QTest::mouseClick(e2G->viewport(), Qt::LeftButton, {}, e2G->visualRect(e2G->model()->index(0, 1)).center());
    EXPECT_EQ(e2G->currentIndex().row(), 0);
    EXPECT_EQ(shownTbid(), 17);
    EXPECT_EQ(shownRun(), 1);
    QAbstractItemModel* details = f.w->ui->e4G->model();
    QStringList marks;
    for (int r = 0; r < details->rowCount(); ++r) marks << details->index(r, 3).data().toString();
    EXPECT_EQ(marks, (QStringList{"○", "×", ""}));
    EXPECT_EQ(details->headerData(3, Qt::Horizontal).toString(), QStringLiteral("当否"));

    // The arrow key moves to the newer run; the details move with it.
    QTest::keyClick(e2G, Qt::Key_Down);
    EXPECT_EQ(shownRun(), 2);
    // Another timeframe's page refreshing leaves the grid on the highlighted list.
    refresh(f, 5);
    EXPECT_EQ(shownTbid(), 17);
    EXPECT_EQ(shownRun(), 2);

    // The confirmation names the highlighted run and the detail grid shows it.
    QTest::keyClick(e2G, Qt::Key_Up);
    f.dialogs.answers = {false};
    QTest::keyClick(e2G, Qt::Key_F12);
    EXPECT_TRUE(f.dialogs.details.last().contains(QStringLiteral("10:00"))) << f.dialogs.details.last().toStdString();
    EXPECT_EQ(shownRun(), 1);
}

// The delete confirmation's default button is Cancel: Enter keeps the run.
TEST(Pages, DeleteConfirmationDefaultsToCancel) {
    QWidget parent;
    QtDialogs dialogs(&parent);
    QString defaultText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::Cancel);
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(dialogs.confirmOkCancel(QStringLiteral("30分足のﾚｺｰﾄﾞと明細を削除します"), QStringLiteral("No. 1")));
    EXPECT_FALSE(defaultText.isEmpty());
}
