// The backtest command: checks the request, runs and stores the steps, verifies them and
// writes the report (table, CSV, JSON and chart).
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QLockFile>
#include <QSaveFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>

#include "window/batch/Batch.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/Console.h"
#include "app/VelkorError.h"
#include "window/batch/BacktestCommand.h"
#include "backtest/Plan.h"
#include "backtest/QuoteFile.h"
#include "backtest/Report.h"
#include "backtest/Runner.h"
#include "window/batch/ReportFiles.h"
#include "backtest/Slurm.h"

namespace {

int usage(const QString& error) {
    printText(stderr, QStringLiteral("velkor: ") + error + QStringLiteral("\nTry 'velkor --help' for the options and commands.\n"));
    return 2;
}

backtest::Request requestOf(const BatchOptions& o) {
    backtest::Request r;
    r.words = o.commands;
    r.workDir = o.workDir;
    r.dataDir = o.dataDir;
    r.outDir = o.out;
    r.seed = o.seed;
    r.jobs = o.jobs;
    r.passes = o.passes;
    r.days = o.days;
    return r;
}

// The Slurm engine's options (with --engine slurm), or false with the usage error.
bool slurmOptionsOf(const BatchOptions& o, backtest::SlurmOptions& slurm, QString& error) {
    if (o.engine != QLatin1String("slurm")) {
        if (o.slurmArgs.isEmpty() && o.slurmProgram.isEmpty()) return true;
        error = QStringLiteral("--slurm-args and --slurm-program go with --engine slurm");
        return false;
    }
    if (o.step) {
        error = QStringLiteral("--step runs one step where a Slurm task runs it: it goes without --engine");
        return false;
    }
    if (!backtest::parseSbatchArguments(o.slurmArgs, slurm.sbatchArguments, error)) return false;
    slurm.program = o.slurmProgram.isEmpty() ? QCoreApplication::applicationFilePath() : o.slurmProgram;
    if (QDir::isRelativePath(slurm.program)) {
        error = QStringLiteral("--slurm-program wants the program's absolute path on the nodes, not ") + slurm.program;
        return false;
    }
    slurm.concurrent = o.jobs;
    return true;
}

// What a Slurm task runs (--step K): step K of the backtest of the output folder, in a folder
// named after the task's job array.
int runTaskStep(const backtest::Plan& plan, const std::array<const backtest::QuoteFile*, 3>& quotes,
                const std::vector<int>& bases, int k) {
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    const QString job = qEnvironmentVariable("SLURM_ARRAY_JOB_ID");
    if (!digits.match(job).hasMatch())
        return usage(QStringLiteral("--step K is run by the tasks of a backtest on Slurm: SLURM_ARRAY_JOB_ID is not set"));
    QString error;
    if (backtest::checkOutDir(plan, error) != backtest::OutDir::Resume)
        throw VelkorError(error.isEmpty() ? QStringLiteral("%1 holds no backtest of these arguments").arg(plan.outDir) : error);
    if (k > int(bases.size()))
        throw VelkorError(QStringLiteral("step %1: the backtest in %2 has %3 steps").arg(k).arg(plan.outDir).arg(bases.size()));
    backtest::Runner runner(plan, QCoreApplication::applicationFilePath(), quotes, bases);
    return runner.runTask(k, QStringLiteral("job") + job);
}

// Leaves a fresh output folder as it was before a refused Slurm job: empty, or gone when this
// run made it. Only this run's files are there, since it holds the folder's lock.
void undoFresh(QLockFile& lock, const QString& outDir, bool existed) {
    const QDir dir(outDir);
    for (const QFileInfo& e : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (e.fileName() == QLatin1String("backtest.lock")) continue;
        if (e.isDir())
            QDir(e.filePath()).removeRecursively();
        else
            QFile::remove(e.filePath());
    }
    lock.unlock();
    if (!existed) QDir().rmdir(outDir);
}

// Runs the steps not yet stored (on Slurm with `slurm`), verifies, and writes and prints the
// report.
void runPlan(const backtest::Plan& plan, const std::array<const backtest::QuoteFile*, 3>& quotes,
             const std::vector<int>& bases, const BatchOptions& o, const backtest::SlurmOptions* slurm) {
    const QDir out(plan.outDir);
    textfile::writeLines(out.filePath(QStringLiteral("config.txt")), {plan.dataDir});
    textfile::writeLines(out.filePath(QStringLiteral("cini.txt")), plan.ciniLines());
    backtest::Runner runner(plan, QCoreApplication::applicationFilePath(), quotes, bases);
    if (slurm)
        runner.runStepsOnSlurm(*slurm);
    else
        runner.runSteps();
    runner.verify();
    const backtest::Report report = backtest::makeReport(
        plan, backtest::readOutcomes(out.filePath(QStringLiteral("SQDB.DB")), plan, *quotes[size_t(plan.t->index)], bases));
    const QByteArray json = writeReportFiles(plan.outDir, report, o.chartSize);
    printText(stdout, o.json ? QString::fromUtf8(json) : backtest::reportTable(report) +
                                                         QStringLiteral("report: %1/report.{csv,json,png}\n").arg(plan.outDir));
}

}  // namespace

int runBacktest(const BatchOptions& o) {
    if (!o.today.isEmpty()) return usage(QStringLiteral("--today does not go with backtest: each step's today is its base bar's date"));
    backtest::SlurmOptions slurm;
    backtest::Plan plan;
    QString error;
    if (!slurmOptionsOf(o, slurm, error)) return usage(error);
    if (!backtest::makePlan(requestOf(o), QThread::idealThreadCount(), plan, error)) return usage(error);
    try {
        std::vector<std::unique_ptr<backtest::QuoteFile>> files;
        std::array<const backtest::QuoteFile*, 3> quotes{};
        for (const Timeframe& t : timeframes()) {
            files.push_back(std::make_unique<backtest::QuoteFile>(plan.dataDir + t.quoteFile));
            quotes[size_t(t.index)] = files.back().get();
        }
        const backtest::QuoteFile& own = *quotes[size_t(plan.t->index)];
        const std::vector<int> bases = own.baseBars(plan.from, plan.to, plan.every);
        if (bases.empty())
            return usage(QStringLiteral("no bar of %1 has a server date from %2 to %3")
                             .arg(own.path(), plan.from.toString(Qt::ISODate), plan.to.toString(Qt::ISODate)));
        if (o.step) return runTaskStep(plan, quotes, bases, *o.step);
        if (backtest::checkOutDir(plan, error) == backtest::OutDir::Refused) return usage(error);
        const bool existed = QDir(plan.outDir).exists();
        if (!QDir().mkpath(plan.outDir)) throw VelkorError(QStringLiteral("cannot make the folder %1").arg(plan.outDir));
        // One backtest at a time in a folder; the folder's own lock stays free for the
        // verification, which is a run of the program in it.
        QLockFile lock(QDir(plan.outDir).filePath(QStringLiteral("backtest.lock")));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0)) throw VelkorError(QStringLiteral("another backtest works in %1").arg(plan.outDir));
        const backtest::OutDir state = backtest::checkOutDir(plan, error);
        if (state == backtest::OutDir::Refused) return usage(error);
        if (state == backtest::OutDir::Fresh)
            saveFile(QDir(plan.outDir).filePath(QStringLiteral("backtest.json")),
                 QJsonDocument(plan.identity()).toJson(QJsonDocument::Indented));
        try {
            runPlan(plan, quotes, bases, o, o.engine == QLatin1String("slurm") ? &slurm : nullptr);
        } catch (const backtest::NotSubmitted&) {
            if (state == backtest::OutDir::Fresh) undoFresh(lock, plan.outDir, existed);
            throw;
        }
        return 0;
    } catch (const VelkorError& e) {
        printText(stderr, QStringLiteral("error: ") + e.text() + QLatin1Char('\n'));
        return 1;
    }
}
