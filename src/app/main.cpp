// Velkor: the window, or with --batch the same window unshown, driven from the command line.
#include <QApplication>
#include <QDate>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Batch.h"
#include "app/Clock.h"
#include "app/Memory.h"
#include "ui/DarkStyle.h"
#include "ui/Dialogs.h"
#include "ui/VelkorU.h"

int main(int argc, char** argv) {
    memory::keepFreedMemory();
    bool batch = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--batch") == 0) batch = true;
    if (batch) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    applyDarkStyle(app);

    BatchOptions o;
    QString error;
    if (!parseOptions(app.arguments().mid(1), o, error)) {
        std::fprintf(stderr, "usage: velkor [--batch] [--workdir DIR] [--data-dir DIR] [--today YYYY-MM-DD] "
                             "[--seed N] [--yes] [COMMAND ...]\n%s\n", error.toUtf8().constData());
        return 2;
    }

    std::unique_ptr<Clock> clock;
    if (!o.today.isEmpty()) clock = std::make_unique<FixedClock>(QDate::fromString(o.today, QStringLiteral("yyyy-MM-dd")));
    TVelkorF::Options wo;
    wo.workDir = o.workDir;
    wo.clock = clock.get();
    wo.seed = o.seed;

    if (!o.batch) {
        TVelkorF w(wo);
        w.show();
        const int rc = app.exec();
        return w.startupAborted() ? 2 : rc;
    }

    ConsoleDialogs dialogs(o.yes, o.dataDir);
    NullProgress progress;
    wo.dialogs = &dialogs;
    wo.progress = &progress;
    TVelkorF w(wo);
    w.FormActivate();
    if (w.startupAborted()) return 2;
    int status = dialogs.errors() > 0 ? 1 : 0;
    if (w.startupDone()) {
        const int rc = runBatchCommands(w, o.commands, error);
        if (rc == 2) std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        status = std::max(status, rc);
    } else {
        status = 1;
    }
    w.FormClose();
    return status;
}
