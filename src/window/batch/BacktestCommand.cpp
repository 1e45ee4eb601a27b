// The backtest command: checks the request, runs and stores the steps, verifies them and
// writes the report (table, CSV, JSON and chart).
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QLockFile>
#include <QSaveFile>
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
    const QByteArray json = writeReportFiles(plan.outDir, report, o.chartSize);
    printText(stdout, o.json ? QString::fromUtf8(json) : backtest::reportTable(report) +
                                                         QStringLiteral("report: %1/report.{csv,json,png}\n").arg(plan.outDir));
}

}  // namespace

int runBacktest(const BatchOptions& o) {
    if (!o.today.isEmpty()) return usage(QStringLiteral("--today does not go with backtest: each step's today is its base bar's date"));
    backtest::Plan plan;
    QString error;
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
        if (backtest::checkOutDir(plan, error) == backtest::OutDir::Refused) return usage(error);
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
        runPlan(plan, quotes, bases, o);
        return 0;
    } catch (const VelkorError& e) {
        printText(stderr, QStringLiteral("error: ") + e.text() + QLatin1Char('\n'));
        return 1;
    }
}
