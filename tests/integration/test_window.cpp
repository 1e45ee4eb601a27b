// The window as a user drives it: the export button of page "7:CSV", the table switch of page
// "6:Fx予測" with its column widths, the tab bar at the design size, the delete confirmation
// and page "4:学図".
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>
#include <gtest/gtest.h>

#include "test_forecast_fixture.h"
#include "window/DarkStyle.h"
#include "ui_VelkorU.h"

namespace {

// The window shown at a client size, as a user sees it.
void showAt(TVelkorF& w, QSize size) {
    w.resize(size);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
}

// The program's own look (style and palette) for one test; the test binary's look after it.
struct DarkLook {
    QString style = QApplication::style()->name();
    QPalette palette = QApplication::palette();
    DarkLook() { applyDarkStyle(*qApp); }
    ~DarkLook() {
        QApplication::setStyle(QStyleFactory::create(style));
        QApplication::setPalette(palette);
    }
};

void clickRow(QTableView* grid, int row) {
    const QRect cell = grid->visualRect(grid->model()->index(row, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

}  // namespace

// "書出" writes the table of the current catalog row, not the first one, as one line per
// row in catalog order (UTF-8 with a byte-order mark, CR LF), between its two messages.
TEST(CsvPage, WriteButtonExportsTheTableOfTheCurrentRow) {
    ForecastFixture f;
    ASSERT_TRUE(f.exec(QStringLiteral("csq"),
                       QStringLiteral("insert into F03V30H values (1, 17, 'F03V30H', '2024/01/05', '10:30', 150100, "
                                      "200, 1000, .0123, '01:02')")));
    ASSERT_TRUE(f.exec(QStringLiteral("csq"),
                       QStringLiteral("insert into F03V30H values (2, 17, 'F03V30H', '2024/01/06', '11:00', 150200, "
                                      "200, 1000, NULL, '00:59')")));
    showAt(*f.w, QSize(904, 641));
    f.w->ui->pc->setCurrentWidget(f.w->ui->gts);
    QTableView* gDG = f.w->ui->gDG;
    ASSERT_EQ(gDG->model()->rowCount(), 4);  // the catalog a new database offers
    ASSERT_EQ(gDG->model()->index(1, 2).data().toString(), QStringLiteral("F03V30H"));

    clickRow(gDG, 1);
    QTest::mouseClick(f.w->ui->g13wtB, Qt::LeftButton);
    EXPECT_EQ(f.dialogs.log, (QStringList{QStringLiteral("message: F03V30H ﾃｰﾌﾞﾙをCSVﾌｧｲﾙに書き出します"),
                                          QStringLiteral("message: 書出終了")}));
    EXPECT_EQ(f.readBytes(QStringLiteral("DATA/CSV/F03V30H.CSV")),
              QByteArray("\xEF\xBB\xBF"
                         "1,17,F03V30H,2024/01/05,10:30,150100,200,1000,0.0123,01:02\r\n"
                         "2,17,F03V30H,2024/01/06,11:00,150200,200,1000,,00:59\r\n"));
    EXPECT_FALSE(QFileInfo::exists(f.file(QStringLiteral("DATA/CSV/F03V05H.CSV"))));
    // Under the closing box: the file written and its row count.
    const QString written = f.dialogs.messageDetails.last();
    EXPECT_TRUE(written.contains(QDir::toNativeSeparators(f.file(QStringLiteral("DATA/CSV/F03V30H.CSV"))))) << written.toStdString();
    EXPECT_TRUE(written.endsWith(QStringLiteral("2 row(s) written")) || written.contains(QStringLiteral("2 行"))) << written.toStdString();

    // "読込" beside it asks first: No keeps the table, Yes replaces it by the file's rows.
    ASSERT_TRUE(f.exec(QStringLiteral("csq"), QStringLiteral("delete from F03V30H where CNT = 2")));
    f.dialogs.log.clear();
    f.dialogs.answers = {false};
    QTest::mouseClick(f.w->ui->g13riB, Qt::LeftButton);
    EXPECT_EQ(f.dialogs.log.last(), QStringLiteral("confirm: ﾃｰﾌﾞﾙﾃﾞｰﾀは削除されますが実行しますか?"));
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(CNT) from F03V30H")), QStringLiteral("1"));
    f.dialogs.answers = {true};
    QTest::mouseClick(f.w->ui->g13riB, Qt::LeftButton);
    EXPECT_EQ(f.dialogs.log.last(), QStringLiteral("message:  CSVﾌｧｲﾙからの読込終了 "));
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(CNT) from F03V30H")), QStringLiteral("1,2"));
    EXPECT_TRUE(f.dialogs.unexpected.isEmpty()) << f.dialogs.unexpected.join('\n').toStdString();

    // A file that cannot be written is named in the error box; the window stays usable.
    f.dialogs.log.clear();
    ASSERT_TRUE(f.exec(QStringLiteral("csq"), QStringLiteral("update F04CSV set PAS = 'no/such/' where TBN = 'F03V30H'")));
    f.writeBytes(QStringLiteral("no"), "a file, not a folder");
    f.w->openExportCatalog();
    clickRow(gDG, 1);
    QTest::mouseClick(f.w->ui->g13wtB, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.errors.size(), 1) << f.dialogs.log.join('\n').toStdString();
    EXPECT_TRUE(f.dialogs.errors[0].contains(f.file(QStringLiteral("no/such/F03V30H.CSV")))) << f.dialogs.errors[0].toStdString();
    EXPECT_FALSE(f.dialogs.log.contains(QStringLiteral("message: 書出終了")));
}

// However often the arrow keys switch the browsed table, the grid keeps one selection model,
// and its current row and the shown table's cursor move together both ways.
TEST(TrainingBrowser, SwitchingKeepsTheGridAndTheCursorTogether) {
    ForecastFixture f;
    for (int code : {5, 30, 80}) f.fillTraining(code, 6);
    f.w->browseTrainingTable(timeframes()[0]);
    QTableView* fDG = f.w->ui->fDG;
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(f.w->ui->f12stbE, key);  // ends on the 30-minute table
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(fDG->findChildren<QItemSelectionModel*>().size(), 1);
    ASSERT_EQ(f.w->ui->f13tidL->text(), QStringLiteral("14"));
    Query& q = f.w->data.trainingQuery(1);
    fDG->selectionModel()->setCurrentIndex(fDG->model()->index(2, 0), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(q.RecNo(), 2);
    q.SetRecNo(4);
    EXPECT_EQ(fDG->currentIndex().row(), 4);
}

// Whichever way and however often the arrow keys switch the browsed table, and after a
// forecast run reopened a table's browse view, every column of every table is as wide as its
// catalog display width asks: a date, a time or a fraction is never cut.
TEST(TrainingBrowser, ArrowKeysKeepEveryTablesColumnWidths) {
    ForecastFixture f;
    for (int code : {5, 30, 80}) {
        f.fillTraining(code, 3);
        const Timeframe& t = f.t(code);
        f.w->applyDisplayWidths(f.w->data.trainingQuery(t.index), t.trainingTable);
    }
    f.w->browseTrainingTable(timeframes()[0]);
    showAt(*f.w, QSize(1280, 900));
    f.w->ui->pc->setCurrentWidget(f.w->ui->fts);
    QTableView* fDG = f.w->ui->fDG;
    QLineEdit* edit = f.w->ui->f12stbE;
    edit->setFocus();

    const QFontMetrics fm(fDG->font());
    auto widths = [&] {
        QList<int> out;
        for (int c = 0; c < fDG->model()->columnCount(); ++c) out << fDG->columnWidth(c);
        return out;
    };
    // Every column holds its display width in digits, and the first row's texts whole.
    auto checkFits = [&](const QString& table) {
        const CatalogTable* cat = f.w->data.catalog.find(table);
        ASSERT_NE(cat, nullptr);
        const auto* ds = static_cast<DataSource*>(fDG->model());
        for (int c = 0; c < ds->columnCount(); ++c) {
            int dpw = 0;
            for (const CatalogColumn& col : cat->columns)
                if (col.name == ds->columns()[size_t(c)].field) dpw = col.displayWidth;
            const QString text = ds->index(0, c).data().toString();
            const int need = std::max(dpw * fm.horizontalAdvance(QLatin1Char('0')), fm.horizontalAdvance(text) + 6);
            EXPECT_GE(fDG->columnWidth(c), need) << table.toStdString() << " column " << c << " '" << text.toStdString() << "'";
        }
    };

    std::map<QString, QList<int>> first;
    // Down walks 5, 30, 4-hour and round again, up walks back; twice over.
    const std::vector<std::pair<Qt::Key, QString>> walk{
        {Qt::Key_Down, "F02R30M"}, {Qt::Key_Down, "F02R4H"}, {Qt::Key_Down, "F02R05M"}, {Qt::Key_Up, "F02R4H"},
        {Qt::Key_Up, "F02R30M"},   {Qt::Key_Up, "F02R05M"},  {Qt::Key_Down, "F02R30M"}, {Qt::Key_Up, "F02R05M"}};
    first[QStringLiteral("F02R05M")] = widths();
    checkFits(QStringLiteral("F02R05M"));
    for (const auto& [key, table] : walk) {
        QTest::keyClick(edit, key);
        ASSERT_EQ(f.w->data.catalog.find(table)->tbid, f.w->ui->f13tidL->text());
        checkFits(table);
        if (!first.count(table)) first[table] = widths();
        EXPECT_EQ(widths(), first[table]) << table.toStdString();
    }
    // The browse view reopened on its table as a forecast run leaves it, while it is shown.
    f.w->openOnTable(f.w->data.trainingQuery(0), Db::Memory, QStringLiteral("F02R05M"), QStringLiteral(" order by cnt "));
    checkFits(QStringLiteral("F02R05M"));
    EXPECT_EQ(widths(), first[QStringLiteral("F02R05M")]);
}

// At the design size (904 x 641) the nine tabs fit the bar whole: no scroll arrows, no tab
// beyond the bar's right end or narrower than its text.
TEST(Window, AllNineTabsFitAtTheDesignSize) {
    DarkLook look;
    WindowFixture f;
    showAt(*f.w, QSize(904, 641));
    QTabBar* bar = f.w->ui->pc->tabBar();
    ASSERT_EQ(bar->count(), 9);
    const QFontMetrics fm(bar->font());
    for (int i = 0; i < bar->count(); ++i) {
        const QRect r = bar->tabRect(i);
        EXPECT_LE(r.right(), bar->width() - 1) << bar->tabText(i).toStdString();
        EXPECT_GE(r.width(), fm.horizontalAdvance(bar->tabText(i))) << bar->tabText(i).toStdString();
    }
    EXPECT_LE(bar->tabRect(8).right(), f.w->ui->pc->width() - 1);
    for (const QToolButton* arrow : bar->findChildren<QToolButton*>()) EXPECT_FALSE(arrow->isVisible());
}

// F12 asks the timeframe's own question and names, under it, the run the answer deletes: the
// selected one, not the newest.
TEST(Window, DeleteConfirmationNamesTheSelectedRun) {
    ForecastFixture f;
    for (int cnt : {1, 2})
        ASSERT_TRUE(f.exec(QStringLiteral("csq"), QStringLiteral("insert into F03V4HH values (%1, 18, 'F03V4HH', "
                                                                 "'2024/01/0%1', '0%1:00', 150000, 200, 600, .01, '00:10')")
                                                      .arg(cnt)));
    f.w->refreshPage(*timeframeOf(80));
    QTableView* e3G = f.w->ui->e3G;
    e3G->selectRow(0);
    f.dialogs.answers = {false};
    QTest::keyClick(e3G, Qt::Key_F12);
    EXPECT_EQ(f.dialogs.log.last(), QStringLiteral("confirm: 4時間足のﾚｺｰﾄﾞと明細を削除します"));
    EXPECT_EQ(f.dialogs.details, (QStringList{QStringLiteral("ﾚｺｰﾄﾞ No.1  2024/01/01 01:00")}));
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03V4HH")), 2);
}

// After a run, page "4:学図" shows the run's error, its learning curve pass by pass and the
// network drawn at the size of the image area, drawn anew when the window grows.
TEST(TrainingPageView, ShowsTheRunsCurveAndNetwork) {
    WindowFixture f;
    static const unsigned layers[] = {14, 14, 14, 3};
    const NeuralNetwork net(std::span<const unsigned>(layers), 1.0f, 3u);
    f.w->showTrainingPage({0.05, 0.03, 0.025}, net.NeuronShape(), QStringLiteral(".025"));
    EXPECT_EQ(f.w->ui->d12ms2L->text(), QStringLiteral(".025"));
    const auto series = f.w->ui->dCht->chart()->series();
    ASSERT_EQ(series.size(), 1);
    EXPECT_EQ(static_cast<QXYSeries*>(series[0])->points(), (QList<QPointF>{{1, 0.05}, {2, 0.03}, {3, 0.025}}));

    showAt(*f.w, QSize(904, 641));
    f.w->ui->pc->setCurrentWidget(f.w->ui->dts);
    QLabel* img = f.w->ui->dImg;
    EXPECT_EQ(img->pixmap().size(), img->contentsRect().size());
    const QSize small = img->pixmap().size();
    f.w->resize(1280, 900);
    QApplication::processEvents();
    EXPECT_EQ(img->pixmap().size(), img->contentsRect().size());
    EXPECT_GT(img->pixmap().width(), small.width());

    // A run without passes: an empty curve.
    f.w->showTrainingPage({}, net.NeuronShape(), QStringLiteral(".5"));
    EXPECT_TRUE(f.w->ui->dCht->chart()->series().isEmpty());
}

TEST(Window, EveryControlHasANameInWords) {
    WindowFixture f;
    QStringList unnamed;
    for (QWidget* w : f.w->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QPushButton*>(w) ||
                             qobject_cast<QTableView*>(w) || qobject_cast<QChartView*>(w);
        if (control && !w->objectName().isEmpty() && !w->objectName().startsWith("qt_") && w->accessibleName().isEmpty())
            unnamed << w->objectName();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(' ').toStdString();
}
