#pragma once
// The steps of a backtest, each a run of the program itself on cut copies of the quote files,
// stored in the output folder's database in base-bar order; then the verification of the
// stored runs against the full quote files by the program's own verification.
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "backtest/Plan.h"
#include "backtest/QuoteFile.h"

class Connection;

namespace backtest {

class Runner {
public:
    // `quotes` by timeframe index; `bases` the base bars (line indexes of the timeframe's file).
    Runner(const Plan& plan, QString program, const std::array<const QuoteFile*, 3>& quotes, std::vector<int> bases);
    ~Runner();

    // The steps stored in the output folder so far (0 without its database).
    int storedSteps() const;

    // Runs the steps not stored yet, up to plan.jobs at a time, and stores each finished one
    // once those before it are stored: a step is stored whole or not at all. Prints a line per
    // stored step on stderr. Throws VelkorError when a step fails; the steps before it stay.
    void runSteps();

    // Verifies the stored runs in the output folder against the full quote files, again and
    // again until a verification leaves the pending rows as they were.
    void verify();

private:
    struct Step;
    struct Schedule;
    void launchSteps(Schedule& s);
    void stepEnded(Schedule& s);
    QString prepareStep(int k) const;
    QStringList stepArguments(int k, const QString& stepDir) const;
    void storeStep(int k, const QString& stepDir);
    int pendingRows() const;
    const QuoteLine& base(int k) const;

    Plan plan_;
    QString program_;
    std::array<const QuoteFile*, 3> quotes_;
    std::vector<int> bases_;
    QString stepsDir_;
};

}  // namespace backtest
