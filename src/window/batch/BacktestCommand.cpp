// The backtest command: checks the request, runs and stores the steps, verifies them and
// writes the report (table, CSV, JSON and chart).
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
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
#include "window/BacktestChart.h"

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

// Runs the steps not yet stored, verifies, and writes and prints the report.
void runPlan(const backtest::Plan& plan, const std::array<const backtest::QuoteFile*, 3>& quotes,
             const std::vector<int>& bases, const BatchOptions& o) {
    const QDir out(plan.outDir);
    textfile::writeLines(out.filePath(QStringLiteral("config.txt")), {plan.dataDir});
    textfile::writeLines(out.filePath(QStringLiteral("cini.txt")), plan.ciniLines());
    backtest::Runner runner(plan, QCoreApplication::applicationFilePath(), quotes, bases);
    runner.runSteps();
    runner.verify();
    const backtest::Report report = backtest::makeReport(
        plan, backtest::readOutcomes(out.filePath(QStringLiteral("SQDB.DB")), plan, *quotes[size_t(plan.t->index)], bases));
    const QByteArray json = backtest::reportJson(report);
    savefile::writeBytes(out.filePath(QStringLiteral("report.json")), json);
    textfile::writeLines(out.filePath(QStringLiteral("report.csv")), backtest::reportCsvLines(report));
    savefile::writeImage(out.filePath(QStringLiteral("report.png")), backtestChartImage(report, o.chartSize));
    printText(stdout, o.json ? QString::fromUtf8(json) : backtest::reportTable(report) +
                                                         QStringLiteral("report: %1/report.{csv,json,png}\n").arg(plan.outDir));
}

// The base bars of the plan: those of the range with a full range window before them among
// the rows their step imports; the ones left out are told on stderr. None: `error` says why.
std::vector<int> baseBarsOf(const backtest::Plan& plan, const backtest::QuoteFile& own, QString& error) {
    std::vector<int> leftOut;
    const std::vector<int> bases =
        own.baseBars(plan.from, plan.to, plan.every, {plan.readDays(), plan.t->itkn}, &leftOut);
    const QString range = QStringLiteral("from %1 to %2").arg(plan.from.toString(Qt::ISODate), plan.to.toString(Qt::ISODate));
    const QString window = QStringLiteral("%1 bars before it in its %2 read days").arg(plan.t->itkn).arg(plan.readDays());
    if (bases.empty())
        error = QStringLiteral("no bar of %1 has a server date %2").arg(own.path(), range) +
                (leftOut.empty() ? QString() : QStringLiteral(" and ") + window);
    else if (!leftOut.empty())
        printLine(stderr, QStringLiteral("backtest %1: %2 bars from %3 to %4 left out, with fewer than %5 bars before them "
                                         "in their %6 read days")
                              .arg(plan.t->code).arg(leftOut.size())
                              .arg(own.lines()[size_t(leftOut.front())].serverText, own.lines()[size_t(leftOut.back())].serverText)
                              .arg(plan.t->itkn).arg(plan.readDays()));
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
    backtest::Plan plan;
    QString error;
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
        if (backtest::checkOutDir(plan, error) == backtest::OutDir::Refused) return usage(o, error);
        if (!QDir().mkpath(plan.outDir)) throw VelkorError(QStringLiteral("cannot make the folder %1").arg(plan.outDir));
        const std::unique_ptr<LockFile> lock = lockOutDir(plan);
        const backtest::OutDir state = backtest::checkOutDir(plan, error);
        if (state == backtest::OutDir::Refused) return usage(o, error);
        const QString digest = own.rangeDigest(plan.from, plan.to);
        if (state == backtest::OutDir::Resume && !backtest::checkResume(plan, own, bases, digest, error)) return usage(o, error);
        // A folder of the version before gets the digest of the data its runs were checked against.
        if (state == backtest::OutDir::Fresh || backtest::heldQuoteDigest(plan).isEmpty())
            savefile::writeBytes(QDir(plan.outDir).filePath(QStringLiteral("backtest.json")),
                                 QJsonDocument(backtest::identityDocument(plan, digest)).toJson(QJsonDocument::Indented));
        runPlan(plan, quotes, bases, o);
        return 0;
    } catch (const VelkorError& e) {
        printText(stderr, QStringLiteral("error: ") + e.text() + QLatin1Char('\n'));
        if (o.json) printText(stdout, errorDocument(1, e.text()));
        return 1;
    }
}
