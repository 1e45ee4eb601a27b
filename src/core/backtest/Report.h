#pragma once
// The report of a backtest: per forecast period the verified forecasts, hits, misses and ties,
// the hit rate with its Wilson interval and binomial p-value, the persistence and "always up"
// baselines on the same bars, the Pesaran-Timmermann test and a sentence; as a table, a CSV
// file and a JSON document, and the running hit rates the report's chart draws.
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "backtest/Plan.h"
#include "backtest/Stats.h"

namespace backtest {

class QuoteFile;

// One stored run as the report reads it.
struct StepOutcome {
    QString base;       // server date and time of the base bar
    int baseClose = 0;  // the run's base close
    int move = 0;       // the base bar's own move: its close minus the previous bar's (0 for the first bar)
    struct Period {
        bool verified = false;
        int forecast = 0, actual = 0;
        bool hit = false;  // as the verification stored it
    };
    std::vector<Period> periods;
};

// The stored runs of the output folder's database `dbFile`, step by step (base-bar order).
std::vector<StepOutcome> readOutcomes(const QString& dbFile, const Plan& plan, const QuoteFile& quotes,
                                      const std::vector<int>& bases);

struct RunningPoint {
    int step = 0;
    double rate = 0, low = 0, high = 0, persistence = 0;
};

struct PeriodFigures {
    int period = 0;
    int n = 0, hits = 0, misses = 0, ties = 0, pending = 0;
    std::optional<Interval> wilson95;
    double pValue = 1;
    int persistenceHits = 0;
    double persistencePValue = 1;
    int ups = 0;  // actual close above the base close
    std::optional<PtResult> pt;
    QString sentence;
    std::vector<RunningPoint> running;  // after each step that added a verified forecast
    std::optional<double> rate(int count) const { return n > 0 ? std::optional<double>(double(count) / n) : std::nullopt; }
};

struct Report {
    int timeframe = 0;
    QString from, to;
    int every = 1, passes = 0, readDays = 0, steps = 0, pending = 0;
    unsigned seed = 1;
    std::vector<PeriodFigures> periods;
};

Report makeReport(const Plan& plan, const std::vector<StepOutcome>& steps);

QByteArray reportJson(const Report& r);
QStringList reportCsvLines(const Report& r);
QString reportTable(const Report& r);

}  // namespace backtest
