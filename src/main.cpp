// Velkor: the window, or with --batch the same window unshown, driven from the command line.
#include <QApplication>
#include <QDate>
#include <QLockFile>
#include <cstdio>
#include <cstring>
#include <memory>

#include "window/batch/Batch.h"
#include "app/Clock.h"
#include "app/Console.h"
#include "backtest/ReportTexts.h"
#include "window/batch/BacktestCommand.h"
#include "window/DarkStyle.h"
#include "window/QtDialogs.h"
#include "window/VelkorU.h"

#ifndef VELKOR_VERSION
#error "VELKOR_VERSION is defined by CMakeLists.txt"
#endif

namespace {
// The headless run: the start-up, then the commands, under the working directory's lock.
int runBatch(const BatchOptions& o, TVelkorF::Options wo) {
    QString error;
    // One batch run at a time in a working directory: the lock is held to the end of the run.
    const std::unique_ptr<QLockFile> lock = lockWorkDir(o.workDir, error);
    if (!lock) {
        printText(stderr, "error: " + error.toUtf8() + '\n');
        return 1;
    }
    BatchContext context;
    context.json = o.json;
    context.chartSize = o.chartSize;
    context.out = o.out;
    // Under --json stdout carries the document alone; the boxes' lines go to stderr.
    ConsoleDialogs dialogs(o.yes, o.json ? stderr : stdout);
    NullProgress progress;
    wo.dialogs = &dialogs;
    wo.progress = &progress;
    TVelkorF w(wo);
    w.startUp();
    int status = 2;
    if (!w.startupAborted()) {
        status = dialogs.errors() > 0 ? 1 : 0;
        if (w.startupDone()) {
            const int rc = runBatchCommands(w, o.commands, error, &context);
            if (rc == 2) printText(stderr, error.toUtf8() + '\n');
            status = std::max(status, rc);
        } else {
            status = 1;
        }
        w.closeDown();
    }
    if (o.json) printText(stdout, context.document(status));
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    bool batch = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--batch") == 0) batch = true;
        // Help and version are printed before anything needs a display.
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printText(stdout, batchHelp().toUtf8());
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            printText(stdout, QByteArrayLiteral("velkor " VELKOR_VERSION "\n"));
            return 0;
        }
    }
    if (batch) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    applyDarkStyle(app);

    BatchOptions o;
    QString error;
    if (!parseOptions(app.arguments().mid(1), o, error)) {
        printText(stderr, "velkor: " + error.toUtf8() + "\nTry 'velkor --help' for the options and commands.\n");
        return 2;
    }

    evaluation::installTranslation(o.lang);

    // A backtest works in its own folder and never starts up in the working directory.
    if (o.commands.value(0) == QLatin1String("backtest")) return runBacktest(o);

    std::unique_ptr<Clock> clock;
    if (!o.today.isEmpty()) clock = std::make_unique<FixedClock>(QDate::fromString(o.today, QStringLiteral("yyyy-MM-dd")));
    TVelkorF::Options wo;
    wo.workDir = o.workDir;
    wo.dataDir = o.dataDir;
    wo.clock = clock.get();
    wo.seed = o.seed;

    if (!o.batch) {
        TVelkorF w(wo);
        w.show();
        const int rc = app.exec();
        return w.startupAborted() ? 2 : rc;
    }

    return runBatch(o, wo);
}
