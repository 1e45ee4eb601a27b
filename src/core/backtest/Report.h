#pragma once
// The report of a backtest or of the live record of a working directory: per forecast period
// the verified forecasts, hits, misses and ties, the hit rate with its Wilson interval and
// binomial p-value, the persistence and "always up" baselines on the same bars, the
// Pesaran-Timmermann test, and the evaluation against the random walk and the naive rules
// (Evaluation.h) with its sentence; a verdict on the timeframe; as a table, a CSV file and a
// JSON document ("schema": 2).
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "backtest/Evaluation.h"
#include "backtest/Plan.h"
#include "backtest/Stats.h"

struct Timeframe;

namespace backtest {

class QuoteFile;

// One stored run as the report reads it.
struct StepOutcome {
    QString base;       // server date and time of the base bar (a backtest's; empty for a live run)
    QString local;      // local date and time of the base bar ("yyyy/mm/dd hh:nn", the run's DT and HM)
    qint64 barNumber = 0;  // the base bar's place among the timeframe's bars
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

// The verified forecasts of the runs, for the evaluation.
std::vector<evaluation::VerifiedForecast> verifiedForecasts(const std::vector<StepOutcome>& steps);

struct PeriodFigures {
    int period = 0;
    int n = 0, hits = 0, misses = 0, ties = 0, pending = 0;
    std::optional<Interval> wilson95;
    double pValue = 1;
    int persistenceHits = 0;
    double persistencePValue = 1;
    int ups = 0;  // actual close above the base close
    std::optional<PtResult> pt;
    evaluation::PeriodEvaluation evaluation;  // its sentence is the period's sentence
    std::optional<double> rate(int count) const { return n > 0 ? std::optional<double>(double(count) / n) : std::nullopt; }
};

struct Report {
    bool live = false;  // the live record of a working directory (else a backtest)
    int timeframe = 0;
    QString timeframeName;
    QString from, to;   // a backtest's dates (YYYY-MM-DD); the live record's first and last base bar
    int every = 1, passes = 0, readDays = 0, steps = 0, pending = 0;
    unsigned seed = 1;
    QString workDir;    // the live record's working directory
    std::vector<PeriodFigures> periods;
    QString verdict;
};

Report makeReport(const Plan& plan, const std::vector<StepOutcome>& steps);
// The report of the runs of a working directory's live record (steps in base-bar order).
Report makeLiveReport(const Timeframe& t, const QString& workDir, const std::vector<StepOutcome>& steps);

QByteArray reportJson(const Report& r);
QStringList reportCsvLines(const Report& r);
QString reportTable(const Report& r);

}  // namespace backtest
