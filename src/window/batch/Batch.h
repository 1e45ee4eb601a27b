#pragma once
#include <QJsonArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class LockFile;
class TVelkorF;

// The headless run: options, then commands run after the start-up.
struct BatchOptions {
    bool batch = false;
    QString workDir;
    QString dataDir;
    QString today;  // YYYY-MM-DD
    std::optional<unsigned> seed;
    bool yes = false;
    bool json = false;                 // one JSON document on stdout instead of text
    QSize chartSize{1200, 800};        // the PNG of the chart command
    QStringList commands;  // command words and their arguments, in order
    // Of the backtest command: its output folder, the steps run at once, its timeframe's
    // training passes and read days.
    QString out;
    std::optional<int> jobs, passes, days;
    QString lang;  // "ja" or "en" for the new texts; empty: by the locale
    // Where the backtest's steps run: "local" or "slurm"; for Slurm the user's sbatch options
    // and the program's path on the nodes; the one step a Slurm task runs.
    QString engine = QStringLiteral("local");
    QString slurmArgs, slurmProgram;
    std::optional<int> step;
};

// Parses the command line; returns false with a message for a usage error.
bool parseOptions(const QStringList& args, BatchOptions& out, QString& error);

// What the commands of one batch run share: text on stdout, or under --json the results that
// make up the one JSON document printed at the end; the size of the charts written.
struct BatchContext {
    bool json = false;
    QSize chartSize{1200, 800};
    QString out;  // the folder the evaluate command writes into (empty: its default)
    QJsonArray results;  // one object per printing command, in order
    QString error;       // what went wrong, when anything did

    // The JSON document of the run: {"schema": 1, "status": …, "error": … or null, "results": […]}.
    QByteArray document(int status) const;
};

// The JSON document of a run that ended before any command with `error` (status 1 or 2).
QByteArray errorDocument(int status, const QString& error);

// Runs the commands on a started window. Returns the exit status: 0 when all went
// through, 1 when an operation ended with an error, 2 for a usage error. Without a
// context the printing commands print text.
int runBatchCommands(TVelkorF& w, const QStringList& commands, QString& error, BatchContext* context = nullptr);

// Checks the command words without running them.
bool checkBatchCommands(const QStringList& commands, QString& error);

// The command words the batch run knows.
QStringList batchCommandNames();

// The text of `velkor --help`: every option and command on a line of its own, and the exit
// statuses.
QString batchHelp();

// Holds the working directory's lock file for a whole batch run, so that two runs on one
// directory never interleave: a second run says that it waits and starts when the first has
// ended (a lock file no live process holds is taken over, whatever it holds). Creates the
// directory when it is missing. Null, with `error` naming the file and the reason, when the
// lock cannot be taken (the name is a folder or a FIFO, the file cannot be opened or written).
std::unique_ptr<LockFile> lockWorkDir(const QString& workDir, QString& error);
