// Databases, catalog, settings files, data folder and the start-up sequence.
#include <QAbstractItemModelTester>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "window/batch/Batch.h"
#include "support/Fixture.h"
#include "ui_VelkorU.h"

namespace {
const QStringList kFileTables{"F01CSV", "F02R05M", "F02R30M", "F02R4H", "F03V05H", "F03V30H", "F03V4HH", "F03VDT", "F04CSV"};

QStringList tables(WindowFixture& f, const QString& key) {
    Query q("t", &f.w->data.connection(key == QLatin1String("csm") ? Db::Memory : Db::File), "select name from sqlite_master where type = 'table' order by name");
    q.Open();
    QStringList out;
    for (q.First(); !q.Eof(); q.Next()) {
        out.append(q.FieldByName("name").AsString());
        if (q.RecNo() == q.RecordCount() - 1) break;
    }
    return out;
}

QByteArray cini(const char* l1, const char* l2, const char* l3) {
    return QByteArray("\xEF\xBB\xBF") + l1 + "\r\n" + l2 + "\r\n" + l3 + "\r\n";
}
}  // namespace

TEST(Databases, FirstStartLoadsTheCatalogAndCreatesEveryTable) {
    WindowFixture f;
    f.openDatabases();
    EXPECT_EQ(f.dialogs.messages(), QStringList{"AAATBN, AAATSTﾃｰﾌﾞﾙを作成し、ﾃｰﾌﾞﾙﾃﾞｰﾀを読み込みます"});
    QStringList want = kFileTables;
    want << "AAATBN" << "AAATST";
    want.sort();
    EXPECT_EQ(tables(f, "csq"), want);
    EXPECT_EQ(tables(f, "csm"), (QStringList{"F01CSV", "F02R05M", "F02R30M", "F02R4H"}));
    EXPECT_EQ(f.scalar("csq", "select count(*) from AAATST where TBID = 13"), "54");
    EXPECT_EQ(f.scalar("csq", "select TBID from AAATBN where TNAM = 'F03V4HH'"), "18");
    // A new export catalog offers the forecast tables; a user's rows are never touched.
    EXPECT_EQ(f.scalar("csq", "select group_concat(TBN) from F04CSV"), "F03V05H,F03V30H,F03V4HH,F03VDT");
    ASSERT_TRUE(f.exec("csq", "delete from F04CSV where CNT > 1"));

    // A second start keeps the catalog and the stored rows, and again has empty memory tables.
    ASSERT_TRUE(f.exec("csq", "insert into F03V05H (CNT, TBID) values (41, 16)"));
    ASSERT_TRUE(f.exec("csm", "insert into F01CSV (CNT) values (1)"));
    f.dialogs.log.clear();
    f.make();
    f.openDatabases();
    EXPECT_TRUE(f.dialogs.messages().isEmpty());
    EXPECT_EQ(f.scalar("csq", "select count(*) from F03V05H"), "1");
    EXPECT_EQ(f.scalar("csq", "select count(*) from F04CSV"), "1");
    EXPECT_EQ(f.scalar("csm", "select count(*) from F01CSV"), "0");
    EXPECT_EQ(f.w->newNumber("F03V05H", "CNT"), "42");
    EXPECT_EQ(f.w->newNumber("F03V30H", "CNT"), "1");
}

TEST(Databases, ABadCatalogFileNamesItsLineAndChangesNothing) {
    QTemporaryDir cat;
    QFile::copy(VELKOR_SOURCE_DIR "/data/catalog/tbl.csv", cat.filePath("tbl.csv"));
    QFile s(cat.filePath("tblstrc.csv"));
    ASSERT_TRUE(s.open(QIODevice::WriteOnly));
    s.write("1,1,11,1,CNT,Integer,,7,x\r\n2,1,11,2,SYMD,nchar\r\n");
    s.close();
    WindowFixture f;
    TVelkorF::Options o;
    o.workDir = f.wd();
    o.catalogDir = cat.path();
    o.dialogs = &f.dialogs;
    TVelkorF w(o);
    try {
        w.openDatabases();
        FAIL() << "no error";
    } catch (const VelkorError& e) {
        EXPECT_TRUE(e.text().contains("tblstrc.csv")) << e.text().toStdString();
        EXPECT_TRUE(e.text().contains("2 行目")) << e.text().toStdString();
    }
    Query q("t", &w.data.file, "select count(*) from sqlite_master where name = 'AAATST'");
    q.Open();
    EXPECT_EQ(q.ValueAt(0, 0).asString(), "0");
}

TEST(Databases, ExecutorAndBuilderFailQuietly) {
    WindowFixture f;
    f.openDatabases();
    ASSERT_TRUE(f.exec("csq", "delete from F04CSV"));
    TVelkorF& w = *f.w;
    EXPECT_FALSE(w.execute(Db::File, QStringLiteral("insert into F04CSV (CNT) values (1); delete from F04CSV")));
    EXPECT_EQ(f.scalar("csq", "select count(*) from F04CSV"), "0");
    EXPECT_FALSE(w.execute(Db::File, QStringLiteral("insert into NOPE values (1)")));
    EXPECT_TRUE(w.execute(Db::File, QStringLiteral("insert into F04CSV (CNT) values (1)")));

    // A text for a number column makes the row's insert fail; a quote in a text is stored.
    Slots sa;
    sa[11] = "2"; sa[12] = "x); delete from F04CSV; --"; sa[13] = "p"; sa[14] = "F0'1";
    sa[15] = ""; sa[16] = ""; sa[17] = "";
    EXPECT_FALSE(w.execute(Db::File, w.insertStatement("F04CSV", sa)));
    sa[11] = "2"; sa[12] = "3"; sa[14] = "F0'1";
    EXPECT_TRUE(w.execute(Db::File, w.insertStatement("F04CSV", sa)));
    EXPECT_EQ(f.scalar("csq", "select TBN from F04CSV where CNT = 2"), "F0'1");
    EXPECT_EQ(f.scalar("csq", "select count(*) from F04CSV"), "2");
    EXPECT_TRUE(f.dialogs.errors.isEmpty());

    // An unknown table is reported and gives no statement.
    const SqlText unknown = w.selectStatement("NOSUCH", QString());
    EXPECT_EQ(f.dialogs.messages().last(), "NOSUCH ﾃｰﾌﾞﾙ名が見つかりません");
    EXPECT_TRUE(unknown.bad);
    EXPECT_FALSE(w.execute(Db::File, unknown));
}

TEST(Settings, DefaultsLoadAndEdits) {
    WindowFixture f;
    TVelkorF& w = *f.w;
    w.loadSettings();
    EXPECT_EQ(f.readBytes("cini.txt"), cini("05分足読込日数学習回数,40,1000", "30分足読込日数学習回数,200,1000",
                                            "4時間足読込日数学習回数,200,600"));
    f.writeBytes("cini.txt", "x,10,20\ny,30,40\nz,50,60\nignored\n");
    w.loadSettings();
    EXPECT_EQ(w.settings[0], (TimeframeSettings{10, 20}));
    EXPECT_EQ(w.settings[2], (TimeframeSettings{50, 60}));

    struct Case { QByteArray text; const char* line; } bad[] = {
        {"a,1,2\nb,3\nc,5,6\n", "2 行目"}, {"a,1,2\nb,3,4\n", "3 行目"}, {"a,1,x\nb,3,4\nc,5,6\n", "1 行目"},
    };
    for (const Case& c : bad) {
        f.writeBytes("cini.txt", c.text);
        try {
            w.loadSettings();
            ADD_FAILURE() << "no error for " << c.text.constData();
        } catch (const VelkorError& e) {
            EXPECT_TRUE(e.text().contains("cini.txt") && e.text().contains(QString::fromUtf8(c.line)))
                << e.text().toStdString();
        }
    }

    // The edits: a number is taken (also an unchanged one, or a negative one), 0 or text restores.
    w.writeDefaultSettings();
    w.page(1).rd1E->setText("300");
    w.acceptSettingsEdit(timeframes()[1], false);
    EXPECT_EQ(w.settings[1].readDays, 300);
    EXPECT_TRUE(w.settingsEdited);
    w.settingsEdited = false;
    w.page(0).ln1E->setText("abc");
    w.acceptSettingsEdit(timeframes()[0], true);
    EXPECT_EQ(w.page(0).ln1E->text(), "1000");
    EXPECT_FALSE(w.settingsEdited);
    w.page(2).rd1E->setText("-5");
    w.acceptSettingsEdit(timeframes()[2], false);
    EXPECT_EQ(w.settings[2].readDays, -5);
    w.closeDown();
    EXPECT_TRUE(f.readBytes("cini.txt").contains("30分足読込日数学習回数,300,1000\r\n4時間足読込日数学習回数,-5,600"));
}

TEST(DataFolder, AskedUntilAFolderHoldsTheThirtyMinuteFile) {
    WindowFixture f;
    TVelkorF& w = *f.w;
    QTemporaryDir empty, good;
    QFile(good.filePath("USDJPYM30.CSV")).open(QIODevice::WriteOnly);
    f.dialogs.files = {empty.filePath("x.csv"), good.filePath("USDJPYM30.CSV")};
    QString found = w.settleDataFolder(true);
    EXPECT_EQ(f.dialogs.log, (QStringList{"open", "open"}));
    EXPECT_EQ(f.readBytes("config.txt"), QByteArray("\xEF\xBB\xBF") + good.path().toUtf8() + "/\r\n");
    EXPECT_EQ(found, good.path() + "/USDJPYM30.CSV");

    // A folder written without its separator is taken as the folder.
    f.writeBytes("config.txt", good.path().toUtf8() + "\r\n");
    f.dialogs.log.clear();
    found = w.settleDataFolder(false);
    EXPECT_TRUE(f.dialogs.log.isEmpty());
    EXPECT_EQ(found, good.path() + "/USDJPYM30.CSV");

    // Cancelling the dialog ends the start-up.
    f.writeBytes("config.txt", empty.path().toUtf8() + "/\r\n");
    EXPECT_THROW(w.settleDataFolder(false), StartupAborted);
}

TEST(Startup, RunsOnceAndAgainAfterAnEarlyFailure) {
    WindowFixture f;
    f.writeBytes("cini.txt", "a,1\n");
    f.w->startUp();
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains("cini.txt"));
    EXPECT_FALSE(f.w->startupDone());

    QTemporaryDir data;
    QFile(data.filePath("USDJPYM30.CSV")).open(QIODevice::WriteOnly);
    f.writeBytes("cini.txt", "a,1,2\nb,3,4\nc,5,6\n");
    f.dialogs.files = {data.filePath("USDJPYM30.CSV")};
    f.dialogs.errors.clear();
    f.w->startUp();
    EXPECT_TRUE(f.w->startupDone());
    EXPECT_EQ(f.w->ui->pc->currentIndex(), 0);
    EXPECT_EQ(f.w->page(2).ln1E->text(), "6");
    EXPECT_EQ(f.w->page(0).rd1E->text(), "1");
    EXPECT_EQ(f.w->settingsEdited, 0);
    const int boxes = int(f.dialogs.log.size());
    f.w->startUp();
    EXPECT_EQ(int(f.dialogs.log.size()), boxes);
}

TEST(Window, BrowserKeysAndGrids) {
    WindowFixture f;
    f.openDatabases();
    TVelkorF& w = *f.w;
    w.browseTrainingTable(timeframes()[0]);
    EXPECT_EQ(w.ui->f12stbE->text(), "05分足変動率");
    EXPECT_EQ(w.ui->f13tidL->text(), "13");
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(w.ui->f12stbE, Qt::Key_Down);
        seen << w.ui->f13tidL->text();
    }
    EXPECT_EQ(seen, (QStringList{"14", "15", "13"}));
    QTest::keyClick(w.ui->f12stbE, Qt::Key_Up);
    EXPECT_EQ(w.ui->f12stbE->text(), "4時間足変動率");
    EXPECT_EQ(w.ui->fDG->model(), w.data.trainingSource4h.get());

    // The export catalog grid: the columns in the grid's order, widths from the catalog.
    w.openExportCatalog();
    QAbstractItemModelTester tester(w.data.exportSource.get(), QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(w.data.exportSource->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "ﾍﾟｰｼﾞNo");
    EXPECT_EQ(w.data.exportSource->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), "CNT");
    EXPECT_EQ(w.data.exportSource->displayWidth(6), 4);

    // The grid's current row and the query's cursor follow each other.
    ASSERT_TRUE(f.exec("csq", "delete from F04CSV"));
    ASSERT_TRUE(f.exec("csq", "insert into F04CSV (CNT, TBN) values (1, 'A')"));
    ASSERT_TRUE(f.exec("csq", "insert into F04CSV (CNT, TBN) values (2, 'B')"));
    w.openExportCatalog();
    w.ui->gDG->selectRow(1);
    EXPECT_EQ(w.data.exportCatalog.FieldByName("TBN").AsString(), "B");
    w.data.exportCatalog.First();
    EXPECT_EQ(w.ui->gDG->currentIndex().row(), 0);
}

TEST(Batch, Options) {
    BatchOptions o;
    QString err;
    EXPECT_TRUE(parseOptions({"--batch", "--workdir", "/x", "--today", "2024-01-05", "--seed", "3", "--yes"}, o, err));
    EXPECT_EQ(o.workDir, "/x");
    EXPECT_EQ(*o.seed, 3u);
    for (const QStringList& bad : {QStringList{"--batch", "--today", "2024-13-01"}, QStringList{"--batch", "--seed"},
                                   QStringList{"--batch", "--nope"}, QStringList{"--batch", "fly"}}) {
        BatchOptions b;
        EXPECT_FALSE(parseOptions(bad, b, err)) << bad.join(' ').toStdString();
    }
}
