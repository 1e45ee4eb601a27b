// Bad input at start-up: quote files, settings files, the catalog files and the file
// database. For every case: what the user sees, that the window stays usable, and that the
// runs stored in "SQDB.DB" are exactly as they were.
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStringEncoder>
#include <QTableView>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include "db/SqlBuilder.h"
#include "support/Fixture.h"

namespace {

// One bar line of a quote file, `i` bars after `start`.
QString barLine(const QDateTime& start, int stepMinutes, int i) {
    const QDateTime t = start.addSecs(qint64(i) * stepMinutes * 60);
    const int cv = 147000 + (i * 37 % 200) - 100;
    auto p = [](int v) { return QStringLiteral("%1.%2").arg(v / 1000).arg(v % 1000, 3, 10, QLatin1Char('0')); };
    const QString d = t.toString(QStringLiteral("yyyy/MM/dd")), hm = t.toString(QStringLiteral("HH:mm"));
    return QStringList{d, hm, p(cv + 40), p(cv - 30), p(cv), p(cv + 5), p(cv - 5), p(cv + 10), p(cv - 10), p(cv + 2),
                       QStringLiteral("0.0%1").arg(300 + i % 50), QString::number(40 + i % 30) + QStringLiteral(".5"),
                       p(cv - 200), p(cv + 200), p(cv - 300), p(cv + 300), p(cv - 400), p(cv + 400), d, hm}
        .join(QLatin1Char(','));
}

// A header line and `n` bars ending on 2024/01/09.
QStringList quoteLines(int stepMinutes, int n = 30) {
    const QDateTime last(QDate(2024, 1, 9), QTime(20, 0));
    const QDateTime start = last.addSecs(-qint64(n - 1) * stepMinutes * 60);
    QStringList lines{QStringLiteral("Date,Time,High,Low,Close,MA05,MA20,MA1H,MA4H,MA1D,ATR,RSI")};
    for (int i = 0; i < n; ++i) lines << barLine(start, stepMinutes, i);
    return lines;
}

QByteArray crlf(const QStringList& lines) { return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8(); }

// Replaces field `field` of line `line` (0-based, the header is line 0).
QStringList withField(QStringList lines, int line, int field, const QString& value) {
    QStringList f = lines[line].split(QLatin1Char(','));
    f[field] = value;
    lines[line] = f.join(QLatin1Char(','));
    return lines;
}

const char* kInjection = "x'); delete from F03VDT; --";

// A working directory with two stored runs (one of them verified), three good quote files,
// "config.txt" and "cini.txt", and a window that has not started yet.
struct BadInputFixture : WindowFixture {
    QString before;
    QString db;

    BadInputFixture() {
        openDatabases();
        const char* runs[] = {
            "insert into F03V05H (CNT, TBID, TBNM, DT, HM, CV, RD, LN, MSE, LT) values "
            "(1, 16, 'F03V05H', '2024/01/08', '10:00', 147000, 40, 1000, .01, '00:03')",
            "insert into F03V4HH (CNT, TBID, TBNM, DT, HM, CV, RD, LN, MSE, LT) values "
            "(1, 18, 'F03V4HH', '2024/01/08', '08:00', 146900, 200, 600, .02, '00:02')",
        };
        for (const char* r : runs) EXPECT_TRUE(exec(QStringLiteral("csq"), QString::fromUtf8(r)));
        for (int k = 1; k <= 4; ++k)
            EXPECT_TRUE(exec(QStringLiteral("csq"),
                             QStringLiteral("insert into F03VDT (CNT, TBID, HTNM, HCNT, YKNO, YGCL, HG, LG, DCR, SGN, JGCL, SG, RST) "
                                            "values (%1, 16, 'F03V05H', 1, %1, 147010, 147050, 146990, .5, 1, 147020, -20, 1)")
                                 .arg(k)));
        for (int k = 1; k <= 2; ++k)
            EXPECT_TRUE(exec(QStringLiteral("csq"),
                             QStringLiteral("insert into F03VDT (CNT, TBID, HTNM, HCNT, YKNO, YGCL, HG, LG, DCR, SGN) "
                                            "values (%1, 18, 'F03V4HH', 1, %2, 146950, 147000, 146900, .4, 0)")
                                 .arg(4 + k)
                                 .arg(k)));
        db = file(QStringLiteral("SQDB.DB"));
        writeQuotes(QStringLiteral("USDJPYM05.CSV"), crlf(quoteLines(5)));
        writeQuotes(QStringLiteral("USDJPYM30.CSV"), crlf(quoteLines(30)));
        writeQuotes(QStringLiteral("USDJPYH04.CSV"), crlf(quoteLines(240)));
        textfile::writeLines(file(QStringLiteral("config.txt")), {file(QStringLiteral("data")) + QLatin1Char('/')});
        w.reset();  // the program ends; the next one starts on these files
        before = storedRuns();
        make();
    }

    QString quotes(const QString& name) const { return file(QStringLiteral("data/") + name); }
    void writeQuotes(const QString& name, const QByteArray& bytes) { writeBytes(QStringLiteral("data/") + name, bytes); }

    // Runs one statement on the file database through a connection of its own.
    bool execFile(const QString& sql) const {
        Connection c(QStringLiteral("other"));
        c.setDatabase(db);
        c.open();
        return execOne(c, sql);
    }

    // Every stored row of the forecast tables and the export catalog, read through a
    // connection of its own.
    QString storedRuns() const {
        Connection c(QStringLiteral("check"));
        c.setDatabase(db);
        c.open();
        QStringList out;
        for (const char* t : {"F03V05H", "F03V30H", "F03V4HH", "F03VDT", "F04CSV"}) {
            out << QString::fromLatin1(t);
            out << queryRows(&c, QStringLiteral("select * from %1 order by CNT").arg(QString::fromLatin1(t)));
        }
        return out.join(QLatin1Char('\n'));
    }

    // The window after the start-up: a page refresh works and lists the stored runs.
    void expectUsable() {
        dialogs.errors.clear();
        EXPECT_TRUE(w->guarded([&] { w->refreshPage(*timeframeOf(5)); }));
        EXPECT_EQ(w->data.headers05.RecordCount(), 1);
        EXPECT_EQ(w->data.runDetails.RecordCount(), 4);
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    }
};

// Holds the write lock of a database file from a connection of its own, as a second copy of
// the program in the middle of a write does, for `ms` milliseconds (or until release()).
struct LockHolder {
    Connection c{QStringLiteral("other")};
    std::thread t;
    explicit LockHolder(const QString& db, const char* how = "begin exclusive") {
        c.setDatabase(db);
        c.open();
        execOrThrow(c, QString::fromLatin1(how));
    }
    void releaseAfter(int ms) {
        t = std::thread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            execOrThrow(c, QStringLiteral("commit"));
        });
    }
    void release() {
        if (t.joinable()) t.join();
        else execOne(c, QStringLiteral("commit"));
    }
    ~LockHolder() { release(); }
};

// Makes a file read-only for this process, also for root (immutable), and undoes it.
struct ReadOnlyFile {
    QString path;
    bool immutable = false, ok = false;
    explicit ReadOnlyFile(const QString& p) : path(p) {
        if (geteuid() == 0) {
            immutable = ok = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        } else {
            ok = QFile::setPermissions(path, QFileDevice::ReadOwner);
        }
    }
    ~ReadOnlyFile() {
        if (immutable) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        else QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
};

struct Case {
    const char* name;
    std::function<void(BadInputFixture&)> setup;
    // Texts the one error box holds ("@" stands for the bad file); none: no error box.
    QStringList error;
    bool imported;  // the 4-hour timeframe was imported and built (each timeframe is imported on its own)
    std::function<void(BadInputFixture&)> more = nullptr;
};

const QString M05 = QStringLiteral("USDJPYM05.CSV");

void runCase(const Case& c) {
    SCOPED_TRACE(c.name);
    BadInputFixture f;
    if (c.setup) c.setup(f);
    f.w->startUp();
    if (c.error.isEmpty()) {
        EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    } else {
        ASSERT_EQ(f.dialogs.errors.size(), 1) << f.dialogs.errors.join('\n').toStdString();
        for (const QString& part : c.error)
            EXPECT_TRUE(f.dialogs.errors[0].contains(part)) << f.dialogs.errors[0].toStdString() << "\n  lacks: "
                                                            << part.toStdString();
    }
    // The training table of the 4-hour bars (30 bars, 2 coming ones) is whole when its own
    // import and build went through.
    const QString built = f.scalar(QStringLiteral("csm"), QStringLiteral("select count(*) from F02R4H"));
    EXPECT_EQ(built == QLatin1String("32"), c.imported) << "4-hour training rows: " << built.toStdString();
    if (c.more) c.more(f);
    EXPECT_TRUE(f.dialogs.unexpected.isEmpty()) << f.dialogs.unexpected.join('\n').toStdString();
    f.expectUsable();
    f.w.reset();
    EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
}

}  // namespace

TEST(BadInput, QuoteFiles) {
    const Case cases[] = {
        {"missing", [](BadInputFixture& f) { QFile::remove(f.quotes(M05)); }, {"ファイルを開けません", "USDJPYM05.CSV"}, true},
        {"unreadable (a folder in its place)",
         [](BadInputFixture& f) {
             QFile::remove(f.quotes(M05));
             QDir().mkpath(f.quotes(M05));
         },
         {"ファイルを開けません", "USDJPYM05.CSV"}, true},
        {"empty", [](BadInputFixture& f) { f.writeQuotes(M05, QByteArray()); },
         {"USDJPYM05.CSV: 行が 0 行しかありません"}, true},
        {"one line", [](BadInputFixture& f) { f.writeQuotes(M05, crlf(quoteLines(5, 1).mid(1))); },
         {"USDJPYM05.CSV: 行が 1 行しかありません"}, true},
        {"binary garbage",
         [](BadInputFixture& f) {
             QByteArray b;
             quint32 x = 12345;
             for (int i = 0; i < 8192; ++i) {
                 x = x * 1103515245u + 12345u;
                 b.append(char(x >> 24));
             }
             b.prepend("2024/01/09,\x01\xff\xfe");
             f.writeQuotes(M05, b);
         },
         {"USDJPYM05.CSV の 1 行目"}, true},
        {"a line of 19 fields",
         [](BadInputFixture& f) {
             QStringList l = quoteLines(5);
             l[7] = l[7].section(QLatin1Char(','), 0, 18);
             f.writeQuotes(M05, crlf(l));
         },
         {"USDJPYM05.CSV の 8 行目: 項目が 19 個しかありません (20 個必要です)"}, true},
        {"ATR not a number", [](BadInputFixture& f) { f.writeQuotes(M05, crlf(withField(quoteLines(5), 5, 10, "n/a"))); },
         {"USDJPYM05.CSV の 6 行目: ATR 'n/a' は数値ではありません"}, true},
        {"RSI not a number", [](BadInputFixture& f) { f.writeQuotes(M05, crlf(withField(quoteLines(5), 9, 11, "5O.1"))); },
         {"USDJPYM05.CSV の 10 行目: RSI '5O.1' は数値ではありません"}, true},
        {"letters in a price: only that row is left out",
         [](BadInputFixture& f) { f.writeQuotes(M05, crlf(withField(quoteLines(5), 12, 4, "147.1x0"))); }, {}, true,
         [](BadInputFixture& f) {
             EXPECT_EQ(f.w->page(0).cntL->text(), "30");
             f.expectUsable();
         }},
        {"a line of 1 MB",
         [](BadInputFixture& f) {
             QStringList l = quoteLines(5);
             l[3] += QLatin1Char(',') + QString(1 << 20, QLatin1Char('x'));        // past the twentieth field
             l[4] = withField(l, 4, 19, QString(1 << 20, QLatin1Char('9')))[4];    // a local time of 1 MB
             f.writeQuotes(M05, crlf(l));
         },
         {}, true,
         [](BadInputFixture& f) {
             EXPECT_EQ(f.w->page(0).cntL->text(), "30");
             f.expectUsable();
         }},
        {"CR-only line ends",
         [](BadInputFixture& f) { f.writeQuotes(M05, quoteLines(5).join(QLatin1Char('\r')).toUtf8() + "\r"); }, {}, true,
         [](BadInputFixture& f) {
             EXPECT_EQ(f.w->page(0).cntL->text(), "30");
             f.expectUsable();
         }},
        {"SQL text in text fields and a price",
         [](BadInputFixture& f) {
             QStringList l = quoteLines(240);
             l = withField(l, 3, 1, QString::fromUtf8(kInjection));    // server time
             l = withField(l, 6, 18, QString::fromUtf8(kInjection));   // local date
             l = withField(l, 8, 4, QString::fromUtf8(kInjection));    // close
             f.writeQuotes(QStringLiteral("USDJPYH04.CSV"), crlf(l));
         },
         {"USDJPYH04.CSV の 4 行目", "日付と時刻として読めません"}, false,
         [](BadInputFixture& f) {
             // The texts are stored as texts, cut to their columns, and the row with SQL text
             // as a price is left out; nothing of it ran. The training table builder then
             // names the line whose time is no time.
             EXPECT_EQ(f.scalar("csm", "select SHM from F01CSV where CNT = 3"), "x'); ");
             EXPECT_EQ(f.scalar("csm", "select LYMD from F01CSV where CNT = 6"), "x'); delet");
             EXPECT_EQ(f.scalar("csm", "select count(*) from F01CSV where CNT = 8"), "0");
             f.expectUsable();
         }},
    };
    for (const Case& c : cases) runCase(c);
}

TEST(BadInput, SettingsAndCatalogFiles) {
    const Case cases[] = {
        {"cini.txt of two lines", [](BadInputFixture& f) { f.writeBytes("cini.txt", "a,40,1000\r\nb,200,1000\r\n"); },
         {"cini.txt の 3 行目"}, false,
         [](BadInputFixture& f) {
             // The start-up runs again at the next activation, once the file is right.
             EXPECT_FALSE(f.w->startupDone());
             EXPECT_EQ(f.readBytes("cini.txt"), QByteArray("a,40,1000\r\nb,200,1000\r\n"));
             f.writeBytes("cini.txt", "a,40,1000\r\nb,200,1000\r\nc,200,600\r\n");
             f.dialogs.errors.clear();
             f.w->startUp();
             EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
             f.expectUsable();
         }},
        {"cini.txt with a non-number", [](BadInputFixture& f) { f.writeBytes("cini.txt", "a,40,1000\r\nb,2OO,1000\r\nc,200,600\r\n"); },
         {"cini.txt の 2 行目: '2OO' は整数ではありません"}, false,
         [](BadInputFixture& f) { EXPECT_FALSE(f.w->startupDone()); }},
        {"config.txt naming a missing folder: the folder is asked for",
         [](BadInputFixture& f) {
             textfile::writeLines(f.file("config.txt"), {f.file("gone/")});
             f.dialogs.files = {f.quotes(M05)};
         },
         {}, true,
         [](BadInputFixture& f) {
             EXPECT_EQ(f.dialogs.log.count("open"), 1);
             EXPECT_EQ(textfile::readLines(f.file("config.txt")), QStringList{f.file("data/")});
         }},
        {"config.txt naming a missing folder, dialog cancelled",
         [](BadInputFixture& f) { textfile::writeLines(f.file("config.txt"), {f.file("gone/")}); }, {"ﾃﾞｰﾀﾌｫﾙﾀﾞが選ばれなかった"},
         false, [](BadInputFixture& f) { f.dialogs.unexpected.clear(); }},
    };
    for (const Case& c : cases) runCase(c);

    // A catalog file with a short line, met when the file database has lost its catalog.
    QTemporaryDir cat;
    QFile::copy(VELKOR_SOURCE_DIR "/data/catalog/tbl.csv", cat.filePath("tbl.csv"));
    QStringList strc = textfile::readLines(VELKOR_SOURCE_DIR "/data/catalog/tblstrc.csv");
    strc[6] = strc[6].section(QLatin1Char(','), 0, 4);
    textfile::writeLines(cat.filePath("tblstrc.csv"), strc);
    for (const char* which : {"tblstrc.csv", "tbl.csv"}) {
        SCOPED_TRACE(which);
        if (QLatin1String(which) == QLatin1String("tbl.csv")) {
            QFile::remove(cat.filePath("tblstrc.csv"));
            QFile::copy(VELKOR_SOURCE_DIR "/data/catalog/tblstrc.csv", cat.filePath("tblstrc.csv"));
            QStringList tbl = textfile::readLines(cat.filePath("tbl.csv"));
            tbl[2] = QStringLiteral("3,1,14");
            QFile::remove(cat.filePath("tbl.csv"));
            textfile::writeLines(cat.filePath("tbl.csv"), tbl);
        }
        BadInputFixture f;
        ASSERT_TRUE(f.execFile("drop table AAATST"));
        ASSERT_TRUE(f.execFile("drop table AAATBN"));
        f.w.reset();
        TVelkorF::Options o;
        o.workDir = f.wd();
        o.catalogDir = cat.path();
        o.dialogs = &f.dialogs;
        o.clock = &f.clock;
        o.progress = &f.progress;
        f.w = std::make_unique<TVelkorF>(o);
        f.w->startUp();
        ASSERT_EQ(f.dialogs.errors.size(), 1);
        const QString line = QLatin1String(which) == QLatin1String("tbl.csv") ? "3 行目" : "7 行目";
        EXPECT_TRUE(f.dialogs.errors[0].contains(QString::fromLatin1(which) + " の " + line)) << f.dialogs.errors[0].toStdString();
        EXPECT_FALSE(f.w->startupDone());
        f.w.reset();
        EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
    }
}

TEST(BadInput, FileDatabase) {
    {
        SCOPED_TRACE("not a database");
        BadInputFixture f;
        const QByteArray garbage = QByteArray("This is not a database.\r\n").repeated(200);
        f.writeBytes("SQDB.DB", garbage);
        f.w->startUp();
        ASSERT_EQ(f.dialogs.errors.size(), 1);
        EXPECT_TRUE(f.dialogs.errors[0].contains(f.db)) << f.dialogs.errors[0].toStdString();
        EXPECT_FALSE(f.w->startupDone());
        f.w->startUp();  // tried again at the next activation, with the same message
        EXPECT_EQ(f.dialogs.errors.size(), 2);
        f.w.reset();
        EXPECT_EQ(f.readBytes("SQDB.DB"), garbage);  // never overwritten
    }
    {
        SCOPED_TRACE("read-only");
        BadInputFixture f;
        f.writeQuotes(M05, crlf(quoteLines(5, 240)));  // enough bars for a forecast
        ReadOnlyFile ro(f.db);
        if (!ro.ok) GTEST_SKIP() << "cannot make a file read-only here";
        f.w->startUp();
        EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
        f.expectUsable();
        // A forecast cannot be stored: the message names the file, nothing is half written.
        f.w->page(0).ln1E->setText("2");
        f.dialogs.errors.clear();
        EXPECT_FALSE(f.w->guarded([&] { f.w->runForecast(*timeframeOf(5)); }));
        ASSERT_EQ(f.dialogs.errors.size(), 1);
        EXPECT_TRUE(f.dialogs.errors[0].contains(f.db)) << f.dialogs.errors[0].toStdString();
        f.expectUsable();
        f.w.reset();
        EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
    }
}

TEST(BadInput, FileDatabaseLockedByAnotherProgram) {
    {
        SCOPED_TRACE("lock released within the wait");
        BadInputFixture f;
        LockHolder other(f.db);
        other.releaseAfter(1500);
        f.w->startUp();
        EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
        EXPECT_TRUE(f.w->startupDone());
        f.expectUsable();
    }
    {
        SCOPED_TRACE("lock held past the wait");
        BadInputFixture f;
        LockHolder other(f.db);
        f.w->startUp();
        ASSERT_EQ(f.dialogs.errors.size(), 1);
        EXPECT_TRUE(f.dialogs.errors[0].contains(f.db)) << f.dialogs.errors[0].toStdString();
        EXPECT_FALSE(f.w->startupDone());
        other.release();
        f.dialogs.errors.clear();
        f.w->startUp();  // the next activation starts normally
        EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
        f.expectUsable();
        f.w.reset();
        EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
    }
}

// An export catalog row that names one of the program's own files, under any spelling of
// its path, is refused before anything is written: the file stays byte for byte, the
// stored runs stay, and the message names the file.
TEST(Reliability, ExportOntoTheProgramsOwnFilesIsRefused) {
    struct Target { const char* name; const char* pas; const char* csv; const char* own; };
    const Target targets[] = {
        {"the file database", "", "SQDB.DB", "SQDB.DB"},
        {"the file database through DATA/..", "DATA/../", "SQDB.DB", "SQDB.DB"},
        {"the settings file", "./", "cini.txt", "cini.txt"},
        {"the data folder's file", "", "config.txt", "config.txt"},
        {"a quote file", "data/", "USDJPYM30.CSV", "data/USDJPYM30.CSV"},
        {"a network file not written yet", "DATA/CSV/../", "USDJPY05.net", "DATA/USDJPY05.net"},
        {"the database's journal", "", "SQDB.DB-journal", "SQDB.DB-journal"},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.name);
        BadInputFixture f;
        f.w->startUp();
        ASSERT_TRUE(f.w->startupDone());
        ASSERT_TRUE(f.exec("csq", QStringLiteral("update F04CSV set PAS = '%1', CSV = '%2' where CNT = 1")
                                      .arg(QString::fromUtf8(t.pas), QString::fromUtf8(t.csv))));
        const QString own = f.file(QString::fromUtf8(t.own));
        const bool existed = QFileInfo::exists(own);
        const QByteArray bytes = f.readBytes(QString::fromUtf8(t.own));
        f.w->openExportCatalog();
        f.w->data.exportCatalog.First();
        f.dialogs.errors.clear();
        f.dialogs.log.clear();
        EXPECT_FALSE(f.w->guarded([&] { f.w->exportCurrentRow(); }));
        ASSERT_EQ(f.dialogs.errors.size(), 1) << f.dialogs.log.join('\n').toStdString();
        EXPECT_TRUE(f.dialogs.errors[0].contains(QString::fromUtf8(t.csv))) << f.dialogs.errors[0].toStdString();
        EXPECT_TRUE(f.dialogs.errors[0].contains("自身のファイル")) << f.dialogs.errors[0].toStdString();
        EXPECT_FALSE(f.dialogs.log.contains(QStringLiteral("message: 書出終了")));
        EXPECT_EQ(QFileInfo::exists(own), existed);
        EXPECT_EQ(f.readBytes(QString::fromUtf8(t.own)), bytes);
        f.expectUsable();
        f.w.reset();
        EXPECT_EQ(f.storedRuns().section("F04CSV", 0, 0).toStdString(), f.before.section("F04CSV", 0, 0).toStdString());
    }
    // An ordinary target beside them is written as before.
    BadInputFixture f;
    f.w->startUp();
    f.w->openExportCatalog();
    f.w->data.exportCatalog.First();
    EXPECT_TRUE(f.w->guarded([&] { f.w->exportCurrentRow(); }));
    EXPECT_TRUE(QFileInfo::exists(f.file("DATA/CSV/F03V05H.CSV")));
}

// A header CNT of a crafted database goes into the statements of the run it names as a
// value, never as SQL text: deleting that run removes it alone, and a CNT that is no number
// leaves the start-up and the pages working.
TEST(Reliability, StoredHeaderNumbersAreValuesNotSql) {
    for (const char* cnt : {"3 or 1=1", "abc", "1) or (1=1"}) {
        SCOPED_TRACE(cnt);
        BadInputFixture f;
        ASSERT_TRUE(f.execFile(QStringLiteral("insert into F03V05H (CNT, TBID, TBNM, DT, HM, CV, RD, LN) values "
                                              "(%1, 16, 'F03V05H', '2024/01/09', '10:00', 147000, 40, 1000)")
                                   .arg(sqlb::quoted(QString::fromUtf8(cnt)))));
        f.w->startUp();
        EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
        ASSERT_TRUE(f.w->startupDone());
        ASSERT_EQ(f.w->data.headers05.RecordCount(), 2);
        ASSERT_EQ(f.w->data.headers05.FieldByName("CNT").AsString(), QString::fromUtf8(cnt));  // the run shown
        f.w->showRunDetails(*timeframeOf(5));
        EXPECT_EQ(f.w->data.runDetails.RecordCount(), 0);  // no detail row is that run's
        f.dialogs.answers = {true};
        EXPECT_TRUE(f.w->guarded([&] { f.w->deleteRun(*timeframeOf(5)); })) << f.dialogs.errors.join('\n').toStdString();
        f.w.reset();
        EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
    }
}

// A re-import line that does not fit its table (a field too few or too many, a text or an
// out-of-range number where the catalog says Integer, an empty or repeated CNT, a detail row
// of a missing header) is named by file and line, and nothing of the re-import stays; a file
// of no bytes is refused as a whole.
TEST(Reliability, ReimportRefusesLinesThatDoNotFit) {
    const QString good = QStringLiteral("1,16,F03V05H,2024/01/08,10:00,147000,40,1000,0.01,00:03");
    const QString detail = QStringLiteral("%1,16,F03V05H,%2,1,147010,147020,-20,147050,146990,0.5,1,1");
    struct Row { const char* name; int exportRow; const char* file; QStringList lines; QString error; bool noBytes = false; };
    const Row rows[] = {
        {"a short line", 1, "F03V05H.CSV", {good, "4,16"}, "の 2 行目: 項目が 2 個しかありません"},
        {"a field too many", 1, "F03V05H.CSV", {good, QString(good).replace(0, 1, "2") + ",9"}, "の 2 行目: 項目が 11 個あります"},
        {"a repeated CNT", 1, "F03V05H.CSV", {good, good}, "の 2 行目: CNT = 1 の行がすでにあります"},
        {"an empty CNT", 1, "F03V05H.CSV", {QString(good).replace(0, 1, QString())}, "の 1 行目: CNT が空です"},
        {"a CNT of 1e999", 1, "F03V05H.CSV", {QString(good).replace(0, 1, "1e999")}, "の 1 行目: CNT: '1e999' は整数ではありません"},
        {"a CNT past 32 bits", 1, "F03V05H.CSV", {QString(good).replace(0, 1, "2147483648")}, "の 1 行目: CNT: 整数の桁あふれ"},
        {"letters in an integer column", 1, "F03V05H.CSV", {QString(good).replace("147000", "14x000")}, "の 1 行目: CV:"},
        {"a detail of a missing header", 4, "F03VDT.CSV", {detail.arg(1).arg(1), detail.arg(2).arg(7)},
         "の 2 行目: F03V05H に CNT = 7 の行がありません"},
        // An export holds at least its byte-order mark; a file of no bytes is none.
        {"a file of no bytes", 4, "F03VDT.CSV", {}, "は 0 バイトの空ファイルで、書出ファイルではありません", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        BadInputFixture f;
        f.w->startUp();
        ASSERT_TRUE(f.w->startupDone());
        if (r.noBytes) f.writeBytes(QStringLiteral("DATA/CSV/") + QString::fromUtf8(r.file), QByteArray());
        else textfile::writeLines(f.file(QStringLiteral("DATA/CSV/") + QString::fromUtf8(r.file)), r.lines);
        f.w->openExportCatalog();
        ASSERT_TRUE(f.w->data.exportCatalog.LocateInt(QStringLiteral("CNT"), r.exportRow));
        f.dialogs.answers = {true};
        f.dialogs.errors.clear();
        EXPECT_FALSE(f.w->guarded([&] { f.w->reimportCurrentRow(); }));
        ASSERT_EQ(f.dialogs.errors.size(), 1);
        EXPECT_TRUE(f.dialogs.errors[0].contains(QString::fromUtf8(r.file) + " " + r.error)) << f.dialogs.errors[0].toStdString();
        f.expectUsable();
        f.w.reset();
        EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
    }
}

// A new run's number is above every run number of its timeframe, in the header table and in
// the detail rows: the details of a header removed by a re-import are never taken over; a
// number past the 32-bit range is refused, not wrapped.
TEST(Reliability, NewRunNumbersTakeNoOrphanDetailsAndStayIn32Bits) {
    BadInputFixture f;
    f.w->startUp();
    ASSERT_TRUE(f.w->startupDone());
    textfile::writeLines(f.file(QStringLiteral("DATA/CSV/F03V05H.CSV")), {});
    f.w->openExportCatalog();
    ASSERT_TRUE(f.w->data.exportCatalog.LocateInt(QStringLiteral("CNT"), 1));
    f.dialogs.answers = {true};
    ASSERT_TRUE(f.w->guarded([&] { f.w->reimportCurrentRow(); }));
    ASSERT_EQ(f.scalar("csq", "select count(*) from F03V05H"), "0");
    ASSERT_EQ(f.scalar("csq", "select count(*) from F03VDT where TBID = 16 and HCNT = 1"), "4");
    ASSERT_TRUE(f.w->guarded([&] { f.w->showNewRunNumber(*timeframeOf(5)); }));
    EXPECT_EQ(f.w->page(0).cntL->text(), "2");
    ASSERT_TRUE(f.w->guarded([&] { f.w->showNewRunNumber(*timeframeOf(80)); }));
    EXPECT_EQ(f.w->page(2).cntL->text(), "2");

    ASSERT_TRUE(f.exec("csq", "update F03V4HH set CNT = 2147483647"));
    ASSERT_TRUE(f.exec("csq", "update F03VDT set HCNT = 2147483647 where TBID = 18"));
    f.dialogs.errors.clear();
    EXPECT_FALSE(f.w->guarded([&] { f.w->showNewRunNumber(*timeframeOf(80)); }));
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains("F03V4HH")) << f.dialogs.errors[0].toStdString();
}

// A first start whose settings file or data-folder file cannot be written (the disk takes no
// more bytes) names the file and the system's reason, and leaves no empty file behind.
TEST(Reliability, FirstStartWriteErrorsNameTheFileAndLeaveNoEmptyFile) {
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    for (const char* name : {"cini.txt", "config.txt"}) {
        SCOPED_TRACE(name);
        BadInputFixture f;
        f.writeBytes("cini.txt", "a,40,1000\r\nb,200,1000\r\nc,200,600\r\n");
        QFile::remove(f.file(QString::fromLatin1(name)));
        f.dialogs.files = {f.quotes(M05)};
        // Files of this process may not grow at all; the signal that would end it is ignored.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = unlimited;
        none.rlim_cur = 0;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
        f.w->startUp();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, SIG_DFL);
        ASSERT_EQ(f.dialogs.errors.size(), 1) << f.dialogs.log.join('\n').toStdString();
        EXPECT_TRUE(f.dialogs.errors[0].contains(f.file(QString::fromLatin1(name)))) << f.dialogs.errors[0].toStdString();
        EXPECT_TRUE(f.dialogs.errors[0].contains(QString::fromLatin1(name))) << f.dialogs.errors[0].toStdString();
        EXPECT_TRUE(f.dialogs.errors[0].contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
            << f.dialogs.errors[0].toStdString();
        EXPECT_FALSE(QFileInfo::exists(f.file(QString::fromLatin1(name))));
        EXPECT_FALSE(f.w->startupDone());
        EXPECT_EQ(QDir(f.wd()).entryList(QDir::Files | QDir::Hidden).filter(QString::fromLatin1(name)), QStringList());
        f.dialogs.unexpected.clear();
        f.w.reset();
        EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
    }
}

// A price too large for a 32-bit integer is named by file and line; that timeframe and the
// ones the start-up never reached cannot be forecast (the message says why), so no run is
// stored on a cut table.
TEST(Reliability, PriceOverflowNamesTheLineAndStopsForecasts) {
    const Case c{"a close past 32 bits",
                 [](BadInputFixture& f) { f.writeQuotes(M05, crlf(withField(quoteLines(5), 6, 4, "99999999.999"))); },
                 {"USDJPYM05.CSV の 7 行目", "整数の桁あふれ"}, true,
                 [](BadInputFixture& f) {
                     // The 5-minute timeframe is not forecast; the others were imported on their own.
                     f.w->page(0).ln1E->setText("2");
                     f.dialogs.errors.clear();
                     EXPECT_FALSE(f.w->guarded([&] { f.w->runForecast(*timeframeOf(5)); }));
                     ASSERT_EQ(f.dialogs.errors.size(), 1);
                     EXPECT_TRUE(f.dialogs.errors[0].contains("USDJPYM05.CSV")) << f.dialogs.errors[0].toStdString();
                     EXPECT_TRUE(f.dialogs.errors[0].contains("予測できません")) << f.dialogs.errors[0].toStdString();
                     EXPECT_GT(f.w->data.training30.RecordCount(), 0);
                 }};
    runCase(c);
}

// A data folder without the 30-minute quote file ends the start-up with a message that
// names the folder and the missing file.
TEST(Reliability, MissingThirtyMinuteFileIsNamed) {
    const Case c{"the data folder lacks the 30-minute file",
                 [](BadInputFixture& f) { QFile::remove(f.quotes("USDJPYM30.CSV")); },
                 {"USDJPYM30.CSV がありません", "ﾃﾞｰﾀﾌｫﾙﾀﾞが選ばれなかった"}, false,
                 [](BadInputFixture& f) {
                     EXPECT_TRUE(f.dialogs.errors[0].contains(f.file("data") + " に")) << f.dialogs.errors[0].toStdString();
                     f.dialogs.unexpected.clear();
                 }};
    runCase(c);
}

// A file database holding code of its own on the program's tables (a trigger, a view) or a
// catalog row that would put SQL text into the program's statements is refused at start-up
// with a message naming the object; nothing in it changes.
TEST(Reliability, CraftedDatabaseObjectsAreRefused) {
    struct Crafted { const char* sql; const char* object; };
    const Crafted cases[] = {
        {"create trigger wipe after insert on F03VDT begin delete from F03VDT; end", "trigger wipe"},
        {"create trigger quiet before delete on f03v05h begin select 1; end", "trigger quiet"},
        {"create view F03V05H_ALL as select * from F03V05H union select * from F03V4HH", "view F03V05H_ALL"},
        {"update AAATST set CNAM = 'CNT, (select 1 union select 2) as X' where TBID = 16 and CNAM = 'CNT'",
         "AAATST.CNAM 'CNT, (select 1 union select 2) as X'"},
        {"update AAATST set KT = 'Integer) ; --' where TBID = 19 and CNAM = 'HCNT'", "AAATST.KT 'Integer) ; --'"},
        {"update AAATST set LN = '10) ; --' where TBID = 16 and CNAM = 'DT'", "AAATST.LN '10) ; --'"},
        {"update AAATBN set TNAM = 'F03VDT; drop table F03V05H' where TNAM = 'F03VDT'", "AAATBN.TNAM 'F03VDT; drop table F03V05H'"},
    };
    for (const Crafted& c : cases) {
        SCOPED_TRACE(c.sql);
        BadInputFixture f;
        ASSERT_TRUE(f.execFile(QString::fromUtf8(c.sql)));
        const QByteArray bytes = f.readBytes("SQDB.DB");
        f.w->startUp();
        ASSERT_EQ(f.dialogs.errors.size(), 1) << f.dialogs.log.join('\n').toStdString();
        EXPECT_TRUE(f.dialogs.errors[0].contains(f.db)) << f.dialogs.errors[0].toStdString();
        EXPECT_TRUE(f.dialogs.errors[0].contains(QString::fromUtf8(c.object))) << f.dialogs.errors[0].toStdString();
        EXPECT_FALSE(f.w->startupDone());
        f.w.reset();
        EXPECT_EQ(f.readBytes("SQDB.DB"), bytes);
    }
    // A view or trigger on a table of its own is the user's business.
    BadInputFixture f;
    ASSERT_TRUE(f.execFile("create table NOTES (CNT Integer, TXT nchar(20))"));
    ASSERT_TRUE(f.execFile("create trigger notes_log after insert on NOTES begin select 1; end"));
    f.w->startUp();
    EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(f.w->startupDone());
}

// A quote file in UTF-16 with a byte-order mark is read as its mark says: the same bars as
// its UTF-8 form, and an error names the line of the file, not of its bytes.
TEST(Reliability, Utf16QuoteFilesAreDecodedByTheirMark) {
    auto utf16 = [](const QStringList& lines, bool little) {
        QStringEncoder enc(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        const QByteArray body = enc(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
        return (little ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF")) + body;
    };
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "little-endian" : "big-endian");
        runCase({"UTF-16", [&](BadInputFixture& f) { f.writeQuotes(M05, utf16(quoteLines(5), little)); }, {}, true,
                 [](BadInputFixture& f) { EXPECT_EQ(f.w->page(0).cntL->text(), "30"); }});
        runCase({"UTF-16 with a bad ATR",
                 [&](BadInputFixture& f) { f.writeQuotes(M05, utf16(withField(quoteLines(5), 5, 10, "n/a"), little)); },
                 {"USDJPYM05.CSV の 6 行目: ATR 'n/a' は数値ではありません"}, true});
    }
}

// Bar lines that are stored as they are but look wrong are told after the import, in one
// message with their line numbers and what is wrong (the first ten, then a count); a clean
// file adds no message.
TEST(Reliability, SuspectBarLinesAreToldAfterTheImport) {
    auto dup = [](QStringList l, int line) { l[line] = l[line - 1]; return l; };
    QStringList reversed = quoteLines(5);
    std::reverse(reversed.begin() + 1, reversed.end());
    QStringList future = quoteLines(5);
    future.last().replace(0, 10, "2024/01/11");
    struct Suspect { const char* name; QStringList lines; QStringList parts; };
    const Suspect cases[] = {
        {"an hour of 25", withField(quoteLines(5), 6, 1, "25:99"), {"疑わしい行が 1 行", "  7 行目: 日付と時刻 '2024/01/09 25:99'"}},
        {"a broken date", withField(quoteLines(5), 6, 0, "2026/11/2'"), {"  7 行目: 日付と時刻 '2026/11/2'"}},
        {"a local time of 1 MB", withField(quoteLines(5), 6, 19, QString(1 << 20, QLatin1Char('9'))), {"  7 行目: 日付と時刻"}},
        {"two decimals", withField(quoteLines(5), 8, 4, "147.12"), {"  9 行目: 価格 '147.12'"}},
        {"four decimals", withField(quoteLines(5), 8, 2, "147.1234"), {"  9 行目: 価格 '147.1234'"}},
        {"a negative price", withField(quoteLines(5), 8, 13, "-147.000"), {"  9 行目: 価格 '-147.000'"}},
        {"a NUL in a price", withField(quoteLines(5), 8, 4, QStringLiteral("147.1") + QChar(0) + "0"),
         {"  9 行目: ", "行を記録できません"}},
        {"a duplicated bar", dup(quoteLines(5), 10), {"  11 行目: 2024/01/09 18:15 が前の足 2024/01/09 18:15 より後ではありません"}},
        {"a reversed file", reversed, {"疑わしい行が 29 行", "  3 行目: ", "  12 行目: ", "ほか 19 行"}},
        {"a bar after today", future, {"  31 行目: 2024/01/11 は今日より後の日付です"}},
    };
    for (const Suspect& c : cases) {
        SCOPED_TRACE(c.name);
        BadInputFixture f;
        f.writeQuotes(M05, crlf(c.lines));
        f.w->startUp();
        const QStringList told = f.dialogs.messages().filter("疑わしい行");
        ASSERT_EQ(told.size(), 1) << f.dialogs.log.join('\n').toStdString();
        EXPECT_TRUE(told[0].startsWith(f.quotes(M05) + ": ")) << told[0].toStdString();
        for (const QString& part : c.parts) EXPECT_TRUE(told[0].contains(part)) << told[0].toStdString() << "\n  lacks: " << part.toStdString();
        EXPECT_FALSE(told[0].contains("  13 行目: ") && QLatin1String(c.name) == QLatin1String("a reversed file"));
        f.w.reset();
        EXPECT_EQ(f.storedRuns().toStdString(), f.before.toStdString());
    }
    // A clean start: the six import messages (a notice and a count per timeframe) only.
    BadInputFixture f;
    f.w->startUp();
    QStringList told = f.dialogs.messages();
    told.removeAll(texts::catalogLoad);
    EXPECT_EQ(told.size(), 6) << told.join('\n').toStdString();
    EXPECT_EQ(told.filter("件読込").size(), 3) << told.join('\n').toStdString();
}

// An export the disk cannot take keeps the old export file as it was, names the file and
// the system's reason, and does not say it ended.
TEST(Reliability, AnExportTheDiskCannotTakeKeepsTheOldFile) {
    BadInputFixture f;
    f.w->startUp();
    ASSERT_TRUE(f.w->startupDone());
    const QByteArray old("\xEF\xBB\xBF" "1,16,F03V05H,2024/01/01,10:00,147000,40,1000,0.01,00:03\r\n");
    f.writeBytes("DATA/CSV/F03V05H.CSV", old);
    f.w->openExportCatalog();
    ASSERT_TRUE(f.w->data.exportCatalog.LocateInt(QStringLiteral("CNT"), 1));
    f.dialogs.log.clear();
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit none = unlimited;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
    const bool ok = f.w->guarded([&] { f.w->exportCurrentRow(); });
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(ok);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains(f.file("DATA/CSV/F03V05H.CSV"))) << f.dialogs.errors[0].toStdString();
    EXPECT_TRUE(f.dialogs.errors[0].contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << f.dialogs.errors[0].toStdString();
    EXPECT_FALSE(f.dialogs.log.contains(QStringLiteral("message: 書出終了")));
    EXPECT_EQ(f.readBytes("DATA/CSV/F03V05H.CSV"), old);
    EXPECT_EQ(QDir(f.file("DATA/CSV")).entryList(QDir::Files).filter("F03V05H"), QStringList{"F03V05H.CSV"});
}
