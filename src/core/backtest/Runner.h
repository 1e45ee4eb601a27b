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

struct SlurmOptions;

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

    // The same with the steps not stored yet as Slurm job arrays, each task one step run by
    // options.program with "--step K" in the output folder; the finished ones are stored as
    // runSteps stores them. Ctrl-C, TERM or HUP cancel the arrays and end it between two
    // stores. Throws NotSubmitted when sbatch is missing or the cluster refuses the job.
    void runStepsOnSlurm(const SlurmOptions& options);

    // What a Slurm task runs: step k's folder (named after `tag`) and the step's run in it,
    // whose output it passes on; returns the run's exit status. Throws VelkorError when the
    // folder cannot be made or the run cannot start.
    int runTask(int k, const QString& tag);

    // Verifies the stored runs in the output folder against the full quote files, again and
    // again until a verification leaves the pending rows as they were.
    void verify();

private:
    struct Step;
    struct Schedule;
    bool beginSchedule(Schedule& s);
    void launchSteps(Schedule& s);
    void stepEnded(Schedule& s);
    void stopSteps(Schedule& s);
    void prepareStep(int k, const QString& dir) const;
    QStringList taskArguments() const;
    QStringList stepArguments(int k, const QString& stepDir) const;
    void storeStep(int k, const QString& stepDir);
    int pendingRows() const;
    const QuoteLine& base(int k) const;

    Plan plan_;
    QString program_;
    std::array<const QuoteFile*, 3> quotes_;
    std::vector<int> bases_;
    QString stepsDir_;
    bool keepStepsDir_ = false;  // a task's: the folder holds the other tasks' steps too
};

}  // namespace backtest
