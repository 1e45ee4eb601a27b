#pragma once
// What a backtest is asked to do, checked before anything is written: the timeframe, the
// dates, the settings, the data folder, the output folder and its state.
#include <QDate>
#include <QJsonObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

struct Timeframe;

namespace backtest {

// The command line as given (command words and the options that concern a backtest).
struct Request {
    QStringList words;                 // "backtest", TF, FROM, TO [, EVERY]
    QString workDir, dataDir, outDir;  // empty: not given
    std::optional<unsigned> seed;
    std::optional<int> jobs, passes, days;
};

// A whole number written with digits alone (no sign, no blanks), of at least `least`.
std::optional<int> wholeNumber(const QString& text, int least);

// Checks the command words of a batch run that holds "backtest": it must be the only
// command, with TF 5, 30 or 80, two dates and an optional step of 1 or more.
bool checkWords(const QStringList& words, QString& error);

// Read days and training passes per timeframe (index 0, 1, 2), as "cini.txt" holds them.
using Settings = std::array<std::array<int, 2>, 3>;

struct Plan {
    const Timeframe* t = nullptr;
    QDate from, to;
    int every = 1;
    unsigned seed = 1;
    int jobs = 1;
    QString workDir, dataDir, outDir;  // absolute; dataDir ends with "/"
    Settings settings{};               // those of the steps: the working directory's, TF's overridden
    int readDays() const;
    int passes() const;
    // The arguments that make a backtest what it is; a DIR holding other ones is refused.
    QJsonObject identity() const;
    // The name of the digest of the quote data beside them in "backtest.json".
    static const QString quoteDigestKey;
    QStringList ciniLines() const;
};

// The plan of a request, or false with the message of a usage error. `defaultJobs` is the
// number of processors.
bool makePlan(const Request& r, int defaultJobs, Plan& plan, QString& error);

// The state of the output folder: a new one (missing, or empty but for lock files), one
// holding this very backtest, or one refused (with the reason in `error`): a folder holding
// anything else or another backtest, or a name that is no folder.
enum class OutDir { Fresh, Resume, Refused };
OutDir checkOutDir(const Plan& plan, QString& error);

}  // namespace backtest
