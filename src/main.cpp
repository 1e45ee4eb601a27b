// Velkor: the window, or with --batch the same window unshown, driven from the command line.
#include <QApplication>
#include <QDate>
#include <cstdio>
#include <cstring>
#include <memory>

#include "window/batch/Batch.h"
#include "app/Clock.h"
#include "app/Console.h"
#include "app/LockFile.h"
#include "backtest/ReportTexts.h"
#include "window/batch/BacktestCommand.h"
#include "window/DarkStyle.h"
#include "window/QtDialogs.h"
#include "window/VelkorU.h"

#ifndef VELKOR_VERSION
#error "VELKOR_VERSION is defined by CMakeLists.txt"
#endif

namespace {
// A usage error: the message on stderr and, under --json, the document saying so on stdout.
int usageError(const QString& error, bool json) {
    printText(stderr, "velkor: " + error.toUtf8() + "\nTry 'velkor --help' for the options and commands.\n");
    if (json) printText(stdout, errorDocument(2, error));
    return 2;
}

// The headless run: the start-up, then the commands, under the working directory's lock.
int runBatch(const BatchOptions& o, TVelkorF::Options wo) {
    QString error;
    // One batch run at a time in a working directory: the lock is held to the end of the run.
    const std::unique_ptr<LockFile> lock = lockWorkDir(o.workDir, error);
    if (!lock) {
        printText(stderr, "error: " + error.toUtf8() + '\n');
        if (o.json) printText(stdout, errorDocument(1, error));
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
    QStringList errors;
    if (!w.startupAborted()) {
        status = dialogs.errors() > 0 ? 1 : 0;
        if (w.startupDone()) {
            const int rc = runBatchCommands(w, o.commands, error, &context);
            if (rc == 2) {
                printText(stderr, error.toUtf8() + '\n');
                errors.append(error);
            }
            status = std::max(status, rc);
        } else {
            status = 1;
        }
        w.closeDown();
    }
    context.error = (dialogs.errorTexts() + errors).join(QLatin1Char('\n'));
    if (o.json) printText(stdout, context.document(status));
    return status;
}

// The command line as given, for a check before anything needs a display.
QStringList rawArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

// Qt's own options (-style, -platform, ...) start with a single dash; they are the window
// toolkit's to take, before the program reads the rest.
bool holdsToolkitOption(const QStringList& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const QString& a) { return a.size() > 1 && a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--")); });
}

}  // namespace

int main(int argc, char** argv) {
    bool batch = false, json = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--batch") == 0) batch = true;
        if (std::strcmp(argv[i], "--json") == 0) json = true;
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
    BatchOptions o;
    QString error;
    // A usage error is answered before the window toolkit starts: without --batch it would
    // need a display first.
    const QStringList args = rawArguments(argc, argv);
    if (!holdsToolkitOption(args) && !parseOptions(args, o, error)) return usageError(error, json);
    if (batch) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    applyDarkStyle(app);

    o = BatchOptions{};
    if (!parseOptions(app.arguments().mid(1), o, error)) return usageError(error, json);

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
