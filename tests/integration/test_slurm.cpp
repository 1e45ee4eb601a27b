// The backtest on Slurm, through a real one-node cluster started by the test: it stores what
// the local runner stores; a failed task is named with its base bar and its own error lines,
// a task Slurm cancels with Slurm's state; an interrupted run cancels its job and goes on where it stopped; a missing sbatch or a
// refused job writes nothing. A cluster that cannot start fails every test here.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

#include "support/Backtests.h"
#include "support/Programs.h"
#include "support/SlurmCluster.h"

#include "app/TextFile.h"

namespace {

class SlurmBacktest : public ::testing::Test {
protected:
    static inline QTemporaryDir* tmp = nullptr;
    static inline SlurmCluster* cluster = nullptr;
    static inline QString wd, quotes, reference, startError;

    static void SetUpTestSuite() {
        tmp = new QTemporaryDir;
        wd = tmp->filePath("wd");
        quotes = tmp->filePath("quotes");
        QDir().mkpath(wd);
        textfile::writeLines(wd + "/cini.txt", {"a,3,3", "b,20,3", "c,80,3"});
        cluster = new SlurmCluster;
        if (!cluster->start(startError)) return;
        if (runProgram(kSample, {"--out", quotes, "--end", "2024-03-13", "--days5", "6", "--days30", "20", "--days4h", "80"}).code != 0)
            startError = "velkor-sample failed";
        // Four steps: the 5-minute bars of 2024-03-12 at 00:00, 06:00, 12:00 and 18:00.
        reference = tmp->filePath("local");
        const ProgramResult local = runProgram(kVelkor, args(quotes, reference, {"--engine", "local"}));
        if (local.code != 0) startError = "the local backtest failed: " + local.err;
    }
    static void TearDownTestSuite() {
        delete cluster;
        delete tmp;
    }
    void SetUp() override { ASSERT_TRUE(startError.isEmpty()) << startError.toStdString(); }

    static QStringList args(const QString& data, const QString& out, const QStringList& more) {
        return QStringList{"--batch", "--workdir", wd, "--data-dir", data, "--seed", "5", "--out", out} + more +
               QStringList{"backtest", "5", "2024-03-12", "2024-03-12", "72"};
    }
    static ProgramResult onSlurm(const QString& data, const QString& out, const QStringList& more = {}) {
        return runProgram(kVelkor, args(data, out, QStringList{"--engine", "slurm"} + more), cluster->environment());
    }
    // The job ids of the line that says what was submitted.
    static QString jobsOf(const QString& err) {
        return QRegularExpression("submitted to Slurm as job array ([0-9,]+) ").match(err).captured(1);
    }
};

}  // namespace

// Four steps in two arrays (the cluster takes three tasks an array): the same runs, report and
// files as the local runner, a progress line per stored step, nothing left in the queue.
TEST_F(SlurmBacktest, StoresWhatTheLocalRunnerStores) {
    const QString out = tmp->filePath("slurm");
    const ProgramResult r = onSlurm(quotes, out);
    ASSERT_EQ(r.code, 0) << r.err.toStdString() << cluster->logs().toStdString();
    expectSameBacktest(out, reference);
    EXPECT_TRUE(r.err.contains("steps 1 to 4 submitted to Slurm")) << r.err.toStdString();
    const QString jobs = jobsOf(r.err);
    EXPECT_EQ(jobs.count(','), 1) << r.err.toStdString();
    const QStringList progress = r.err.split('\n').filter("backtest 5: step ");
    ASSERT_EQ(progress.size(), 4) << r.err.toStdString();
    EXPECT_TRUE(progress[3].startsWith("backtest 5: step 4/4 2024/03/12 18:00 elapsed ")) << progress[3].toStdString();
    EXPECT_TRUE(r.err.contains(QRegularExpression("\nbacktest 5: storing took [0-9]+\\.[0-9] ms a step \\(4 steps\\)\n")))
        << r.err.toStdString();
    EXPECT_FALSE(cluster->queued(jobs));
    EXPECT_FALSE(QFile::exists(out + "/.steps"));
}

// A 5-minute bar between the second and the third base bar has an ATR that is no number: the
// task of step 3 fails, named with its base bar, its Slurm task and the lines its run printed
// (those the local runner tells, but for the step's folder); steps 1 and 2 stay stored.
TEST_F(SlurmBacktest, AFailedTaskIsNamedWithItsErrorLines) {
    const QString bad = tmp->filePath("bad-quotes");
    QDir().mkpath(bad);
    for (const char* f : {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"}) ASSERT_TRUE(QFile::copy(quotes + "/" + f, bad + "/" + f));
    QStringList lines = textfile::readLines(bad + "/USDJPYM05.CSV");
    const qsizetype at = lines.indexOf(QRegularExpression("^2024/03/12,09:00,.*"));
    ASSERT_GE(at, 0);
    QStringList fields = lines[at].split(',');
    fields[10] = "x";
    lines[at] = fields.join(',');
    textfile::writeLines(bad + "/USDJPYM05.CSV", lines);

    const QString out = tmp->filePath("failed");
    const ProgramResult r = onSlurm(bad, out, {"--jobs", "2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QRegularExpression("step 3 \\(base bar 2024/03/12 12:00\\) failed:\n"
                                                  "Slurm task [0-9]+_2 ended with exit status 1:\n")))
        << r.err.toStdString();
    const QString own = QString("/.steps/3-job%1/data/USDJPYM05.CSV の %2 行目: ATR 'x' は数値ではありません")
                            .arg(jobsOf(r.err).section(',', 0, 0)).arg(at + 1);
    EXPECT_TRUE(r.err.contains(own)) << r.err.toStdString();
    EXPECT_EQ(rowsOf(out + "/SQDB.DB", kHeaders), rowsOf(reference + "/SQDB.DB", kHeaders).mid(0, 2));
    EXPECT_FALSE(cluster->queued(jobsOf(r.err)));

    // The local runner's error lines for the same step, the step's folder aside.
    const ProgramResult local = runProgram(kVelkor, args(bad, tmp->filePath("failed-local"), {"--jobs", "2"}));
    ASSERT_EQ(local.code, 1);
    const QRegularExpression stepFolder("/\\S*/\\.steps/3-[a-z0-9]+/");
    QStringList told = local.err.section("failed:\n", 1).split('\n', Qt::SkipEmptyParts).filter("error: ");
    ASSERT_FALSE(told.isEmpty()) << local.err.toStdString();
    QString slurmText = r.err;
    slurmText.replace(stepFolder, "STEP/");
    for (QString line : told) EXPECT_TRUE(slurmText.contains(line.replace(stepFolder, "STEP/"))) << line.toStdString();
}

// A task Slurm cancels (here scancel from outside, while it runs) fails its step, named with its
// base bar, Slurm's state for it and the lines Slurm wrote into its error output.
TEST_F(SlurmBacktest, ATaskSlurmCancelsIsNamed) {
    const QString out = tmp->filePath("cancelled");
    QProcess p;
    p.setProcessEnvironment(cluster->environment());
    p.setReadChannel(QProcess::StandardError);
    p.start(kVelkor, args(quotes, out, {"--engine", "slurm", "--jobs", "1"}));
    QString err;
    while (jobsOf(err).isEmpty() && p.waitForReadyRead(60000)) err += QString::fromUtf8(p.readAllStandardError());
    const QString task = jobsOf(err).section(',', 0, 0) + "_0";
    ASSERT_NE(task, "_0") << err.toStdString();
    for (int i = 0; i < 300 && cluster->tool("squeue", {"--noheader", "--jobs=" + task, "--format=%T"}).out.trimmed() != "RUNNING"; ++i)
        QThread::msleep(100);
    EXPECT_EQ(cluster->tool("scancel", {task}).code, 0);
    ASSERT_TRUE(p.waitForFinished(60000));
    err += QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(err.contains(QRegularExpression(QString("error: step 1 \\(base bar 2024/03/12 00:00\\) failed:\n"
                                                        "Slurm task %1 ended without a result \\(CANCELLED\\):\n"
                                                        "(.*\n)*.*CANCELLED AT ").arg(task))))
        << err.toStdString();
    EXPECT_FALSE(QFile::exists(out + "/SQDB.DB"));
    EXPECT_FALSE(cluster->queued(jobsOf(err)));
}

// Ctrl-C after the second stored step: the job is cancelled, the steps stored are whole runs
// (not verified yet);
// the same command submits only the missing steps and ends as the local runner did.
TEST_F(SlurmBacktest, AnInterruptedRunGoesOnToTheSameResult) {
    const QString out = tmp->filePath("interrupted");
    QProcess p;
    p.setProcessEnvironment(cluster->environment());
    p.setReadChannel(QProcess::StandardError);
    p.start(kVelkor, args(quotes, out, {"--engine", "slurm", "--jobs", "1"}));
    QString err;
    while (!err.contains("step 2/4") && p.waitForReadyRead(60000)) err += QString::fromUtf8(p.readAllStandardError());
    ASSERT_TRUE(err.contains("step 2/4")) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    err += QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(err.contains(QRegularExpression("error: interrupted \\(SIGINT\\): Slurm job [0-9,]+ cancelled; [23] of 4 steps stored")))
        << err.toStdString();
    EXPECT_FALSE(cluster->queued(jobsOf(err)));
    const int stored = rowsOf(out + "/SQDB.DB", "select count(*) from F03V05H")[0].toInt();
    ASSERT_TRUE(stored == 2 || stored == 3) << stored;
    EXPECT_EQ(rowsOf(out + "/SQDB.DB", kHeaders), rowsOf(reference + "/SQDB.DB", kHeaders).mid(0, stored));
    EXPECT_EQ(rowsOf(out + "/SQDB.DB", "select count(*) from F03VDT group by HCNT"), QStringList(stored, "4"));

    const ProgramResult resumed = onSlurm(quotes, out, {"--jobs", "1"});
    ASSERT_EQ(resumed.code, 0) << resumed.err.toStdString();
    EXPECT_TRUE(resumed.err.contains(QString("steps %1 to 4 submitted to Slurm").arg(stored + 1))) << resumed.err.toStdString();
    expectSameBacktest(out, reference);
    EXPECT_FALSE(QFile::exists(out + "/.steps"));
}

// No sbatch on the search path, or a job the cluster refuses: exit status 1, the reason, and
// the output folder as it was (none, or empty).
TEST_F(SlurmBacktest, NoSbatchOrARefusedJobWritesNothing) {
    struct Case { const char* name; QStringList more; bool noPath, folderBefore; const char* message; };
    const Case cases[] = {
        {"no-sbatch", {}, true, false, "sbatch not found on the search path"},
        {"refused", {"--slurm-args", "--partition=nosuch --time=5"}, false, false, "the cluster refused the job array of steps 1 to 3"},
        {"refused-empty", {"--slurm-args", "--partition=nosuch"}, false, true, "Invalid partition name specified"},
    };
    for (const Case& c : cases) {
        const QString out = tmp->filePath(c.name);
        if (c.folderBefore) QDir().mkpath(out);
        QProcessEnvironment env = cluster->environment();
        if (c.noPath) env.insert("PATH", tmp->filePath("no-such-folder"));
        const ProgramResult r = runProgram(kVelkor, args(quotes, out, QStringList{"--engine", "slurm"} + c.more), env);
        EXPECT_EQ(r.code, 1) << c.name;
        EXPECT_TRUE(r.err.contains(c.message)) << c.name << ": " << r.err.toStdString();
        EXPECT_EQ(QFile::exists(out), c.folderBefore) << c.name;
        if (c.folderBefore)
            EXPECT_TRUE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty()) << c.name;
    }
}
