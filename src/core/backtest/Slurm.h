#pragma once
// The steps of a backtest as Slurm job arrays: each task one step, run by the program itself on
// a node, in a folder under the output folder (which the nodes share). Their ends are learned
// from squeue and from the files the tasks write there; Slurm's accounting is never asked.
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

#include "app/VelkorError.h"

namespace backtest {

// What the Slurm engine is given: the user's own sbatch options, the program the tasks run
// (its path on the nodes) and the number of tasks that may run at the same time (none: no
// limit but the cluster's).
struct SlurmOptions {
    QStringList sbatchArguments;
    QString program;
    std::optional<int> concurrent;
};

// sbatch is missing or the cluster refused the job: nothing of it runs.
class NotSubmitted : public VelkorError {
public:
    using VelkorError::VelkorError;
};

// The user's sbatch options (--slurm-args), split at spaces (double quotes hold a word with
// spaces together); false with the reason for one the engine sets itself (the array, the
// output files, the folder, waiting).
bool parseSbatchArguments(const QString& text, QStringList& arguments, QString& error);

// A task that ended: its step, whether its run went through, and otherwise what Slurm and the
// task itself said.
struct TaskEnd {
    int step = 0;
    bool ok = false;
    QString error;
};

class SlurmArrays {
public:
    // `stepsDir` holds the tasks' folders and files; `taskArguments` are the program's
    // arguments of a task, to which "--step K" is added.
    SlurmArrays(SlurmOptions options, QString outDir, QString stepsDir, QStringList taskArguments);
    // Cancels the tasks that have not ended yet.
    ~SlurmArrays();
    SlurmArrays(const SlurmArrays&) = delete;
    SlurmArrays& operator=(const SlurmArrays&) = delete;

    // Submits steps first..last as job arrays of at most the cluster's MaxArraySize tasks,
    // each array starting when the one before has ended. Throws NotSubmitted (with the arrays
    // submitted before cancelled) when sbatch is missing or refuses one.
    void submit(int first, int last);

    // The folder step k runs in, once submitted.
    QString stepDir(int k) const;

    // The job ids of the arrays, as "12" or "12,13" (as squeue -j takes them).
    QString jobIds() const;

    // The tasks that ended since the last call. A task squeue no longer lists as queued or
    // running ended; its exit status is in the file it wrote. One that ended without writing it
    // (cancelled, timed out, its node lost) fails with Slurm's state for it.
    std::vector<TaskEnd> poll();

    // Cancels every array (scancel) and waits a few seconds for their tasks to leave, so that
    // nothing writes into the steps' folder afterwards.
    void cancel();

private:
    struct Array {
        QString id;
        int first = 0, count = 0;
    };
    struct Task {
        bool reported = false;
        QString lastState;                 // the last state squeue gave while it was queued or ran
        QElapsedTimer endedWithoutResult;  // started when Slurm says it ended and no exit file is seen
    };
    int maxArraySize() const;
    QString writeScript() const;
    QString submitArray(const QString& script, const Array& array, const QString& after);
    std::optional<std::map<int, QString>> queueStates(QString& why) const;
    std::optional<TaskEnd> taskEnd(int k, const QString& state, Task& task) const;
    const Array& arrayOf(int k) const;
    QString taskName(int k) const;
    QString taskErrorLines(int k) const;

    SlurmOptions options_;
    QString outDir_, stepsDir_;
    QStringList taskArguments_;
    std::vector<Array> arrays_;
    std::map<int, Task> tasks_;  // by step
    bool cancelled_ = false;
    bool squeueFailing_ = false;
};

}  // namespace backtest
