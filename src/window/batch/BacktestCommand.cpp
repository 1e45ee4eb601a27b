// The backtest command: checks the request, runs and stores the steps, verifies them and
// writes the report (table, CSV, JSON and chart).
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>

#include "window/batch/Batch.h"
#include "app/LockFile.h"
#include "app/SaveFile.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/Console.h"
#include "app/VelkorError.h"
#include "window/batch/BacktestCommand.h"
#include "backtest/Plan.h"
#include "backtest/QuoteFile.h"
#include "backtest/Report.h"
#include "backtest/Resume.h"
#include "backtest/Runner.h"
#include "window/batch/ReportFiles.h"
#include "backtest/Slurm.h"

namespace {

// A usage error: the message on stderr (and, under --json, the document saying so on stdout).
int usage(const BatchOptions& o, const QString& error) {
    printText(stderr, QStringLiteral("velkor: ") + error + QStringLiteral("\nTry 'velkor --help' for the options and commands.\n"));
    if (o.json) printText(stdout, errorDocument(2, error));
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
int runTaskStep(const BatchOptions& o, const backtest::Plan& plan, const std::array<const backtest::QuoteFile*, 3>& quotes,
                const std::vector<int>& bases, int k) {
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    const QString job = qEnvironmentVariable("SLURM_ARRAY_JOB_ID");
    if (!digits.match(job).hasMatch())
        return usage(o, QStringLiteral("--step K is run by the tasks of a backtest on Slurm: SLURM_ARRAY_JOB_ID is not set"));
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
void undoFresh(std::unique_ptr<LockFile>& lock, const QString& outDir, bool existed) {
    const QDir dir(outDir);
    for (const QFileInfo& e : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (e.fileName() == QLatin1String("backtest.lock")) continue;
        if (e.isDir())
            QDir(e.filePath()).removeRecursively();
        else
            QFile::remove(e.filePath());
    }
    lock.reset();  // lets go and removes the lock file
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

// The base bars of the plan: those of the range with enough bars before them among the rows
// their step imports for a forecast (its range window and its periods, the base bar counted);
// the ones left out are told on stderr. None: `error` says why.
std::vector<int> baseBarsOf(const backtest::Plan& plan, const backtest::QuoteFile& own, QString& error) {
    std::vector<int> leftOut;
    const int before = plan.t->windowLength + plan.t->periods - 1;
    const std::vector<int> bases = own.baseBars(plan.from, plan.to, plan.every, {plan.readDays(), before}, &leftOut);
    const QString range = QStringLiteral("from %1 to %2").arg(plan.from.toString(Qt::ISODate), plan.to.toString(Qt::ISODate));
    const QString window = QStringLiteral("%1 bars before it in its %2 read days").arg(before).arg(plan.readDays());
    if (bases.empty())
        error = QStringLiteral("no bar of %1 has a server date %2").arg(own.path(), range) +
                (leftOut.empty() ? QString() : QStringLiteral(" and ") + window);
    else if (!leftOut.empty())
        printLine(stderr, QStringLiteral("backtest %1: %2 bars from %3 to %4 left out, with fewer than %5 bars before them "
                                         "in their %6 read days")
                              .arg(plan.t->code).arg(leftOut.size())
                              .arg(own.lines()[size_t(leftOut.front())].serverText, own.lines()[size_t(leftOut.back())].serverText)
                              .arg(before).arg(plan.readDays()));
    return bases;
}

// Takes the output folder's own lock: one backtest at a time in a folder (its velkor.lock
// stays free for the verification, which is a run of the program in it).
std::unique_ptr<LockFile> lockOutDir(const backtest::Plan& plan) {
    auto lock = std::make_unique<LockFile>(QDir(plan.outDir).filePath(QStringLiteral("backtest.lock")));
    switch (lock->tryLock()) {
    case LockFile::Result::Taken: return lock;
    case LockFile::Result::Busy: throw VelkorError(QStringLiteral("another backtest works in %1").arg(plan.outDir));
    case LockFile::Result::Failed: break;
    }
    throw VelkorError(lock->error());
}
}  // namespace

int runBacktest(const BatchOptions& o) {
    if (!o.today.isEmpty()) return usage(o, QStringLiteral("--today does not go with backtest: each step's today is its base bar's date"));
    backtest::SlurmOptions slurm;
    backtest::Plan plan;
    QString error;
    if (!slurmOptionsOf(o, slurm, error)) return usage(o, error);
    if (!backtest::makePlan(requestOf(o), QThread::idealThreadCount(), plan, error)) return usage(o, error);
    try {
        std::vector<std::unique_ptr<backtest::QuoteFile>> files;
        std::array<const backtest::QuoteFile*, 3> quotes{};
        for (const Timeframe& t : timeframes()) {
            files.push_back(std::make_unique<backtest::QuoteFile>(plan.dataDir + t.quoteFile));
            quotes[size_t(t.index)] = files.back().get();
        }
        const backtest::QuoteFile& own = *quotes[size_t(plan.t->index)];
        const std::vector<int> bases = baseBarsOf(plan, own, error);
        if (bases.empty()) return usage(o, error);
        if (o.step) return runTaskStep(o, plan, quotes, bases, *o.step);
        if (backtest::checkOutDir(plan, error) == backtest::OutDir::Refused) return usage(o, error);
        const bool existed = QDir(plan.outDir).exists();
        if (!QDir().mkpath(plan.outDir)) throw VelkorError(QStringLiteral("cannot make the folder %1").arg(plan.outDir));
        std::unique_ptr<LockFile> lock = lockOutDir(plan);
        const backtest::OutDir state = backtest::checkOutDir(plan, error);
        if (state == backtest::OutDir::Refused) return usage(o, error);
        const QString digest = own.rangeDigest(plan.from, plan.to);
        if (state == backtest::OutDir::Resume && !backtest::checkResume(plan, own, bases, digest, error)) return usage(o, error);
        // A folder of the version before gets the digest of the data its runs were checked against.
        if (state == backtest::OutDir::Fresh || backtest::heldQuoteDigest(plan).isEmpty())
            savefile::writeBytes(QDir(plan.outDir).filePath(QStringLiteral("backtest.json")),
                                 QJsonDocument(backtest::identityDocument(plan, digest)).toJson(QJsonDocument::Indented));
        try {
            runPlan(plan, quotes, bases, o, o.engine == QLatin1String("slurm") ? &slurm : nullptr);
        } catch (const backtest::NotSubmitted&) {
            if (state == backtest::OutDir::Fresh) undoFresh(lock, plan.outDir, existed);
            throw;
        }
        return 0;
    } catch (const VelkorError& e) {
        printText(stderr, QStringLiteral("error: ") + e.text() + QLatin1Char('\n'));
        if (o.json) printText(stdout, errorDocument(1, e.text()));
        return 1;
    }
}
