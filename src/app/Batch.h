#pragma once
#include <QString>
#include <QStringList>
#include <optional>

class TVelkorF;

// The headless run: options, then commands run after the start-up.
struct BatchOptions {
    bool batch = false;
    QString workDir;
    QString dataDir;
    QString today;  // YYYY-MM-DD
    std::optional<unsigned> seed;
    bool yes = false;
    QStringList commands;  // command words and their arguments, in order
};

// Parses the command line; returns false with a message for a usage error.
bool parseOptions(const QStringList& args, BatchOptions& out, QString& error);

// Runs the commands on a started window. Returns the exit status: 0 when all went
// through, 1 when an operation ended with an error, 2 for a usage error.
int runBatchCommands(TVelkorF& w, const QStringList& commands, QString& error);

// Checks the command words without running them.
bool checkBatchCommands(const QStringList& commands, QString& error);
