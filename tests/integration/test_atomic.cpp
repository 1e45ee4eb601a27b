// All-or-nothing writes to "SQDB.DB": storing a run (header and detail rows) and verifying
// one run's detail rows, with a failure or a crash injected between two statements, and a
// second copy of the program working on the same file.
#include <sqlite3.h>

#include <QLabel>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "integration/test_forecast_fixture.h"

namespace {

constexpr int kBars = 210;  // the 5-minute window of 200 bars and its periods, and a few more

// Every stored row of the forecast tables, in a fixed order.
QString stored(WindowFixture& f) {
    QStringList out;
    for (const char* t : {"F03V05H", "F03V30H", "F03V4HH", "F03VDT"}) {
        for (const QString& row : queryRows(&f.w->data.file, QStringLiteral("select * from %1 order by CNT").arg(QString::fromLatin1(t))))
            out << QString::fromLatin1(t) + QLatin1Char(':') + row;
    }
    return out.join(QLatin1Char('\n'));
}

// Headers without exactly `periods` detail rows of their own.
int incompleteRuns(WindowFixture& f, const char* header, int tbid, int periods) {
    return f.scalar(QStringLiteral("csq"),
                    QStringLiteral("select count(*) from %1 h where (select count(*) from F03VDT d where d.TBID = %2 "
                                   "and d.HCNT = h.CNT) <> %3")
                        .arg(QString::fromLatin1(header))
                        .arg(tbid)
                        .arg(periods))
        .toInt();
}

// Copies the database file and its journal as they lie on disk at the moment of the first
// change to `table` of kind `op`: what a crash at that point would leave behind.
struct CrashSnapshot {
    QString db, table;
    int op;
    QTemporaryDir copy;
    bool taken = false;
    sqlite3* handle;

    CrashSnapshot(Connection& c, QString dbPath, QString tableName, int kind)
        : db(std::move(dbPath)), table(std::move(tableName)), op(kind), handle(c.handle()) {
        sqlite3_update_hook(handle, &CrashSnapshot::hook, this);
    }
    // Watches the connections opened from now on (until the snapshot ends), through SQLite's
    // automatic extensions: for a connection the program opens itself.
    CrashSnapshot(QString dbPath, QString tableName, int kind)
        : db(std::move(dbPath)), table(std::move(tableName)), op(kind), handle(nullptr) {
        watching() = this;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&CrashSnapshot::watch));
    }
    ~CrashSnapshot() {
        if (handle) sqlite3_update_hook(handle, nullptr, nullptr);
        if (watching() == this) {
            sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&CrashSnapshot::watch));
            watching() = nullptr;
        }
    }
    static CrashSnapshot*& watching() {
        static CrashSnapshot* s = nullptr;
        return s;
    }
    static int watch(sqlite3* c, const char**, const sqlite3_api_routines*) {
        sqlite3_update_hook(c, &CrashSnapshot::hook, watching());
        return SQLITE_OK;
    }

    static void hook(void* self, int kind, const char*, const char* name, sqlite3_int64) {
        auto* s = static_cast<CrashSnapshot*>(self);
        if (s->taken || kind != s->op || QString::fromUtf8(name) != s->table) return;
        s->taken = true;
        QFile::copy(s->db, s->copy.filePath(QStringLiteral("SQDB.DB")));
        if (QFile::exists(s->db + QStringLiteral("-journal")))
            QFile::copy(s->db + QStringLiteral("-journal"), s->copy.filePath(QStringLiteral("SQDB.DB-journal")));
    }

    // The rows the next start would find in the copy (SQLite rolls a hot journal back).
    QString rowsAfterRestart(const char* sql) {
        Connection c(QStringLiteral("restart"));
        c.setDatabase(copy.filePath(QStringLiteral("SQDB.DB")));
        c.open();
        return queryRows(&c, QString::fromLatin1(sql)).join(QLatin1Char('\n'));
    }
};

// A 5-minute training table of bars from 2024/01/05 23:40 and stored runs to verify.
struct VerifyWorld : WindowFixture {
    int bars = 0;
    VerifyWorld() { openDatabases(); }
    void addBars(const std::vector<int>& closes) {
        for (int c : closes) {
            const QDateTime t = QDateTime(QDate(2024, 1, 5), QTime(23, 40)).addSecs(300 * bars++);
            EXPECT_TRUE(exec("csm", QString("insert into F02R05M (CNT, LYMD, LHM, CV1, HV1, LV1) values (%1, '%2', '%3', %4, %5, %6)")
                                        .arg(bars).arg(t.toString("yyyy/MM/dd"), t.toString("hh:mm")).arg(c).arg(c + 20).arg(c - 20)));
        }
        for (int k = 1; k <= 4; ++k)
            EXPECT_TRUE(exec("csm", QString("insert into F02R05M (CNT, LYMD, LHM) values (%1, '2024/01/09', '00:00')").arg(bars + k)));
    }
    void addRun(int hcnt, int base) {
        const QDateTime t = QDateTime(QDate(2024, 1, 5), QTime(23, 40)).addSecs(300 * (base - 1));
        EXPECT_TRUE(exec("csq", QString("insert into F03V05H (CNT, TBID, TBNM, DT, HM, CV) values (%1, 16, 'F03V05H', '%2', '%3', 150000)")
                                    .arg(hcnt).arg(t.toString("yyyy/MM/dd"), t.toString("hh:mm"))));
        for (int yk = 1; yk <= 4; ++yk)
            EXPECT_TRUE(exec("csq", QString("insert into F03VDT (CNT, TBID, HTNM, HCNT, YKNO, YGCL) values "
                                            "((select coalesce(max(CNT), 0) + 1 from F03VDT), 16, 'F03V05H', %1, %2, 150010)")
                                        .arg(hcnt).arg(yk)));
    }
    int pending(int hcnt) {
        return scalar("csq", QString("select count(*) from F03VDT where HCNT = %1 and JGCL is null").arg(hcnt)).toInt();
    }
};

}  // namespace

TEST(AtomicWrites, AFailingDetailRowLeavesNoRunBehind) {
    ForecastFixture f;
    f.fillTraining(5, kBars);
    f.setPasses(5, QStringLiteral("2"));
    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    const QString before = stored(f);

    // The third detail row of the next run fails (a trigger of this connection only).
    ASSERT_TRUE(f.exec("csq", "create temp trigger fail_third before insert on main.F03VDT "
                              "when (select count(*) from F03VDT where TBID = new.TBID and HCNT = new.HCNT) = 2 "
                              "begin select raise(abort, 'injected failure'); end"));
    f.run(5);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains("F03VDT")) << f.dialogs.errors[0].toStdString();
    EXPECT_EQ(stored(f).toStdString(), before.toStdString());
    EXPECT_EQ(incompleteRuns(f, "F03V05H", 16, 4), 0);
    EXPECT_EQ(f.page(5).cntL->text(), "1");

    // Without the failure the next run is stored whole, numbered on from the stored ones.
    ASSERT_TRUE(f.exec("csq", "drop trigger fail_third"));
    f.dialogs.errors.clear();
    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.scalar("csq", "select group_concat(CNT) from F03V05H"), "1,2");
    EXPECT_EQ(f.scalar("csq", "select group_concat(CNT || ':' || HCNT) from F03VDT"), "1:1,2:1,3:1,4:1,5:2,6:2,7:2,8:2");
    EXPECT_EQ(incompleteRuns(f, "F03V05H", 16, 4), 0);
}

TEST(AtomicWrites, ACrashBetweenHeaderAndDetailsLeavesTheStoredRuns) {
    ForecastFixture f;
    f.fillTraining(30, kBars);
    f.setPasses(30, QStringLiteral("2"));
    f.run(30);
    {
        CrashSnapshot crash(f.w->data.file, f.file("SQDB.DB"), "F03VDT", SQLITE_INSERT);
        f.run(30);  // the header of run 2 is written when its first detail row goes in
        ASSERT_TRUE(crash.taken);
        EXPECT_EQ(crash.rowsAfterRestart("select CNT from F03V30H order by CNT").toStdString(), "1");
        EXPECT_EQ(crash.rowsAfterRestart("select CNT, HCNT, YKNO from F03VDT order by CNT").toStdString(),
                  "1|1|1\n2|1|2\n3|1|3");
    }
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.scalar("csq", "select count(*) from F03V30H"), "2");
    EXPECT_EQ(incompleteRuns(f, "F03V30H", 17, 3), 0);
}

TEST(AtomicWrites, VerificationOfARunIsOneUnit) {
    VerifyWorld f;
    f.addBars({150000, 149950, 149990, 150000, 150100, 150020});
    f.addRun(1, 1);
    f.addRun(2, 2);

    // The third period of run 1 fails: the verification ends there with an error naming the
    // file and the reason; none of run 1's periods is verified, nor any of the run after it.
    ASSERT_TRUE(f.exec("csq", "create temp trigger fail_verify before update of JGCL on main.F03VDT "
                              "when new.HCNT = 1 and new.YKNO = 3 begin select raise(abort, 'injected failure'); end"));
    EXPECT_FALSE(f.w->guarded([&] { f.w->verifyPending(); }));
    EXPECT_EQ(f.pending(1), 4);
    EXPECT_EQ(f.pending(2), 4);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains(f.file("SQDB.DB")) && f.dialogs.errors[0].contains("injected failure"))
        << f.dialogs.errors[0].toStdString();
    ASSERT_TRUE(f.exec("csq", "drop trigger fail_verify"));

    // A crash after the first update of run 1 leaves it wholly pending on disk.
    {
        CrashSnapshot crash(f.w->data.file, f.file("SQDB.DB"), "F03VDT", SQLITE_UPDATE);
        f.w->verifyPending();
        ASSERT_TRUE(crash.taken);
        EXPECT_EQ(crash.rowsAfterRestart("select count(*) from F03VDT where HCNT = 1 and JGCL is null").toStdString(), "4");
    }
    EXPECT_EQ(f.pending(1), 0);
    EXPECT_EQ(f.pending(2), 0);
}

TEST(SecondInstance, WaitsForTheOtherWriterAndKeepsItsRows) {
    ForecastFixture f;
    f.fillTraining(5, kBars);
    f.setPasses(5, QStringLiteral("2"));

    // Another copy of the program is in the middle of a write when this one stores its run.
    Connection other(QStringLiteral("other"));
    other.setDatabase(f.file("SQDB.DB"));
    other.open();
    execOrThrow(other, "begin immediate");
    execOrThrow(other, "insert into F03V4HH (CNT, TBID, TBNM, CV) values (7, 18, 'F03V4HH', 146000)");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        execOrThrow(other, "commit");
    });
    f.run(5);
    release.join();
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.scalar("csq", "select count(*) from F03V05H"), "1");
    EXPECT_EQ(f.scalar("csq", "select CV from F03V4HH where CNT = 7"), "146000");
    EXPECT_EQ(incompleteRuns(f, "F03V05H", 16, 4), 0);

    // Verification waits the same way.
    execOrThrow(other, "begin immediate");
    std::thread release2([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        execOrThrow(other, "commit");
    });
    f.dialogs.errors.clear();
    EXPECT_TRUE(f.w->guarded([&] { f.w->verifyPending(); }));
    release2.join();
    EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
}

TEST(SecondInstance, TwoWindowsOnOneDirectoryNumberTheirRunsApart) {
    ForecastFixture f;
    f.fillTraining(5, kBars);
    f.setPasses(5, QStringLiteral("2"));
    // A second window on the same working directory, with its own memory database.
    std::unique_ptr<TVelkorF> first = std::move(f.w);
    f.make();
    f.w->openDatabases();
    f.w->resetWindow();
    f.fillTraining(5, kBars);
    f.setPasses(5, QStringLiteral("2"));
    f.run(5);              // second window: run 1
    std::swap(first, f.w);
    f.run(5);              // first window: run 2
    std::swap(first, f.w);
    f.run(5);              // second window: run 3
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.scalar("csq", "select group_concat(CNT) from F03V05H"), "1,2,3");
    EXPECT_EQ(f.scalar("csq", "select count(distinct CNT) from F03VDT"), "12");
    EXPECT_EQ(incompleteRuns(f, "F03V05H", 16, 4), 0);
}

// A first start that ends after the export catalog is created but before its rows are in (a
// crash at its first row) leaves no empty export catalog behind: the next start finds none
// and creates it with its rows.
TEST(AtomicWrites, ACrashInTheFirstStartLeavesNoEmptyExportCatalog) {
    WindowFixture f;
    QDir(f.wd()).mkpath(QStringLiteral("DATA/CSV"));
    {
        CrashSnapshot crash(f.file(QStringLiteral("SQDB.DB")), QStringLiteral("F04CSV"), SQLITE_INSERT);
        f.w->openDatabases();
        sqlite3_update_hook(f.w->data.file.handle(), nullptr, nullptr);
        ASSERT_TRUE(crash.taken);
        EXPECT_EQ(crash.rowsAfterRestart("select count(*) from sqlite_master where name = 'F04CSV'"), "0");
        EXPECT_EQ(crash.rowsAfterRestart("select count(*) from sqlite_master where name = 'AAATST'"), "1");
    }
    EXPECT_EQ(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(TBN) from F04CSV")),
              QStringLiteral("F03V05H,F03V30H,F03V4HH,F03VDT"));
}
