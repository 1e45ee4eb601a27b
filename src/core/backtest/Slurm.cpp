#include "backtest/Slurm.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <set>
#include <unistd.h>

#include "app/Console.h"

namespace backtest {

namespace {
constexpr int kCommandMs = 120000;       // longest wait for one sbatch, squeue, scontrol or scancel
constexpr int kResultGraceMs = 30000;    // how long an exit file may lag behind squeue (NFS caches)
constexpr int kCancelWaitMs = 15000;     // how long a cancel waits for the tasks to leave
constexpr int kDefaultMaxArraySize = 1001;  // Slurm's own default
constexpr int kErrorLines = 40;          // the last lines of a task's output told with its failure

// The states in which Slurm holds a task that ended; any other state it lists is queued or running.
const std::set<QString>& endedStates() {
    static const std::set<QString> states{
        QStringLiteral("COMPLETED"),   QStringLiteral("FAILED"),        QStringLiteral("CANCELLED"),
        QStringLiteral("TIMEOUT"),     QStringLiteral("NODE_FAIL"),     QStringLiteral("PREEMPTED"),
        QStringLiteral("OUT_OF_MEMORY"), QStringLiteral("BOOT_FAIL"),   QStringLiteral("DEADLINE"),
        QStringLiteral("REVOKED"),     QStringLiteral("SPECIAL_EXIT")};
    return states;
}
// Of those, the ones in which the task was stopped before its script could write its exit file.
bool stoppedBySlurm(const QString& state) {
    return !state.isEmpty() && state != QLatin1String("COMPLETED") && state != QLatin1String("FAILED") &&
           state != QLatin1String("SPECIAL_EXIT");
}

struct CommandResult {
    bool finished = false;
    int code = -1;
    QString out, err;
    // What the command said about its failure.
    QString why() const { return (err.trimmed().isEmpty() ? out : err).trimmed(); }
};

CommandResult run(const QString& program, const QStringList& args) {
    QProcess p;
    // In a process group of its own: Ctrl-C in the terminal reaches the backtest, which then
    // cancels its job with scancel, and not the Slurm command it waits for.
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
    p.start(program, args);
    CommandResult r;
    r.finished = p.waitForFinished(kCommandMs) && p.exitStatus() == QProcess::NormalExit;
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    r.code = r.finished ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (!r.finished && r.err.isEmpty()) r.err = program + QStringLiteral(": ") + p.errorString();
    return r;
}

// A word for sh: in single quotes, each quote in it written as '\''.
QString shellQuoted(const QString& word) {
    QString q = word;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

// An sbatch option the engine sets itself: long forms with or without "=value", short ones
// with the value attached or not.
bool engineOwned(const QString& a) {
    static const QStringList longs{QStringLiteral("--array"),  QStringLiteral("--output"),    QStringLiteral("--error"),
                                   QStringLiteral("--chdir"),  QStringLiteral("--wrap"),      QStringLiteral("--wait"),
                                   QStringLiteral("--parsable"), QStringLiteral("--test-only")};
    for (const QString& l : longs)
        if (a == l || a.startsWith(l + QLatin1Char('='))) return true;
    static const QString shorts = QStringLiteral("aoeDW");
    return a.size() >= 2 && a[0] == QLatin1Char('-') && a[1] != QLatin1Char('-') && shorts.contains(a[1]);
}
}  // namespace

bool parseSbatchArguments(const QString& text, QStringList& arguments, QString& error) {
    arguments = QProcess::splitCommand(text);
    for (const QString& a : arguments)
        if (engineOwned(a)) {
            error = QStringLiteral("--slurm-args: %1 is set by the Slurm engine itself (the array, its output files, "
                                   "its folder); leave it out")
                        .arg(a);
            return false;
        }
    return true;
}

SlurmArrays::SlurmArrays(SlurmOptions options, QString outDir, QString stepsDir, QStringList taskArguments)
    : options_(std::move(options)), outDir_(std::move(outDir)), stepsDir_(std::move(stepsDir)),
      taskArguments_(std::move(taskArguments)) {}

SlurmArrays::~SlurmArrays() {
    for (const auto& [k, task] : tasks_)
        if (!task.reported) {
            cancel();
            return;
        }
}

// The largest number of tasks of an array the cluster takes (indexes 0 to MaxArraySize - 1).
int SlurmArrays::maxArraySize() const {
    const CommandResult r = run(QStringLiteral("scontrol"), {QStringLiteral("show"), QStringLiteral("config")});
    static const QRegularExpression re(QStringLiteral("^MaxArraySize\\s*=\\s*(\\d+)"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = re.match(r.out);
    return r.finished && r.code == 0 && m.hasMatch() ? m.captured(1).toInt() : kDefaultMaxArraySize;
}

// The batch script every task runs: step = the array's first step + the task's index; the
// program's exit status goes into a file beside Slurm's output files of the task.
QString SlurmArrays::writeScript() const {
    QStringList command{shellQuoted(options_.program)};
    for (const QString& a : taskArguments_) command.append(shellQuoted(a));
    command << shellQuoted(QStringLiteral("--step")) << QStringLiteral("\"$step\"");
    const QString exitFile = shellQuoted(stepsDir_ + QLatin1Char('/')) +
                             QStringLiteral("\"${SLURM_ARRAY_JOB_ID}_${SLURM_ARRAY_TASK_ID}.exit\"");
    const QStringList lines{
        QStringLiteral("#!/bin/sh"),
        QStringLiteral("# A task of the Velkor backtest in %1: one step, run in a folder of its own there.").arg(outDir_),
        QStringLiteral("step=$(($1 + SLURM_ARRAY_TASK_ID))"),
        command.join(QLatin1Char(' ')),
        QStringLiteral("code=$?"),
        QStringLiteral("exit_file=") + exitFile,
        QStringLiteral("echo \"$code\" > \"$exit_file.new\" && mv -f \"$exit_file.new\" \"$exit_file\""),
        QStringLiteral("exit \"$code\""),
    };
    const QString path = QDir(stepsDir_).filePath(QStringLiteral("task.sh"));
    QSaveFile f(path);
    const QByteArray bytes = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw NotSubmitted(QStringLiteral("cannot write %1 (%2)").arg(path, f.errorString()));
    return path;
}

// Submits one array; its job id. `after`: the job id of the array it waits for, or empty.
QString SlurmArrays::submitArray(const QString& script, const Array& array, const QString& after) {
    QString range = QStringLiteral("--array=0-%1").arg(array.count - 1);
    if (options_.concurrent) range += QStringLiteral("%%1").arg(*options_.concurrent);
    QStringList args{QStringLiteral("--parsable"), QStringLiteral("--job-name=velkor-backtest"), range,
                     QStringLiteral("--chdir=") + outDir_,
                     QStringLiteral("--output=") + stepsDir_ + QStringLiteral("/%A_%a.out"),
                     QStringLiteral("--error=") + stepsDir_ + QStringLiteral("/%A_%a.err")};
    args += options_.sbatchArguments;
    if (!after.isEmpty()) args.append(QStringLiteral("--dependency=afterany:") + after);
    args << script << QString::number(array.first);
    const CommandResult r = run(QStringLiteral("sbatch"), args);
    const QString id = r.out.trimmed().section(QLatin1Char(';'), 0, 0);
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    if (!r.finished || r.code != 0 || !digits.match(id).hasMatch())
        throw NotSubmitted(QStringLiteral("the cluster refused the job array of steps %1 to %2 (sbatch %3):\n%4")
                               .arg(array.first).arg(array.first + array.count - 1)
                               .arg(args.join(QLatin1Char(' ')), r.why()));
    return id;
}

void SlurmArrays::submit(int first, int last) {
    if (QStandardPaths::findExecutable(QStringLiteral("sbatch")).isEmpty())
        throw NotSubmitted(QStringLiteral("sbatch not found on the search path: --engine slurm needs Slurm's commands "
                                          "(sbatch, squeue, scontrol, scancel) where the backtest is started"));
    if (!QDir().mkpath(stepsDir_)) throw NotSubmitted(QStringLiteral("cannot make the folder %1").arg(stepsDir_));
    const int size = maxArraySize();
    if (size < 1) throw NotSubmitted(QStringLiteral("the cluster takes no job arrays (MaxArraySize = %1)").arg(size));
    const QString script = writeScript();
    try {
        for (int k = first; k <= last; k += size) {
            Array a{QString(), k, std::min(size, last - k + 1)};
            a.id = submitArray(script, a, arrays_.empty() ? QString() : arrays_.back().id);
            arrays_.push_back(a);
            for (int i = 0; i < a.count; ++i) tasks_[k + i];
        }
    } catch (const NotSubmitted&) {
        cancel();
        tasks_.clear();
        throw;
    }
}

const SlurmArrays::Array& SlurmArrays::arrayOf(int k) const {
    for (const Array& a : arrays_)
        if (k >= a.first && k < a.first + a.count) return a;
    throw VelkorError(QStringLiteral("step %1 was not submitted").arg(k));
}

QString SlurmArrays::stepDir(int k) const {
    return QDir(stepsDir_).filePath(QStringLiteral("%1-job%2").arg(k).arg(arrayOf(k).id));
}

// "12_3": the array's job id and the task's index, as squeue and the task's files name it.
QString SlurmArrays::taskName(int k) const {
    const Array& a = arrayOf(k);
    return QStringLiteral("%1_%2").arg(a.id).arg(k - a.first);
}

QString SlurmArrays::jobIds() const {
    QStringList ids;
    for (const Array& a : arrays_) ids.append(a.id);
    return ids.join(QLatin1Char(','));
}

// The state of every task squeue lists (queued, running or recently ended), by step; nothing,
// with what squeue said in `why`, when it could not tell.
std::optional<std::map<int, QString>> SlurmArrays::queueStates(QString& why) const {
    QStringList ids;
    for (const Array& a : arrays_) ids.append(a.id);
    const CommandResult r = run(QStringLiteral("squeue"), {QStringLiteral("--noheader"), QStringLiteral("--array"),
                                                          QStringLiteral("--states=all"), QStringLiteral("--jobs=") + ids.join(QLatin1Char(',')),
                                                          QStringLiteral("--format=%F %K %T")});
    std::map<int, QString> states;
    // A single job id the controller has forgotten is an error; several such ids are not.
    if (r.finished && r.code != 0 && r.err.contains(QLatin1String("Invalid job id"))) return states;
    if (!r.finished || r.code != 0) {
        why = r.why();
        return std::nullopt;
    }
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        bool ok = false;
        const int index = f.value(1).toInt(&ok);
        if (f.size() != 3 || !ok) continue;
        for (const Array& a : arrays_)
            if (a.id == f[0] && index >= 0 && index < a.count) states[a.first + index] = f[2];
    }
    return states;
}

std::vector<TaskEnd> SlurmArrays::poll() {
    std::vector<TaskEnd> ended;
    QString why;
    const auto states = queueStates(why);
    // Told once while it lasts: the controller may be restarting.
    if (!states && !squeueFailing_) printLine(stderr, QStringLiteral("backtest: squeue failed, asking again: ") + why);
    squeueFailing_ = !states;
    if (!states) return ended;
    for (auto& [k, task] : tasks_) {
        if (task.reported) continue;
        const auto it = states->find(k);
        const QString state = it == states->end() ? QString() : it->second;
        if (!state.isEmpty() && !endedStates().count(state)) {
            task.lastState = state;
            continue;
        }
        if (std::optional<TaskEnd> end = taskEnd(k, state, task)) {
            task.reported = true;
            ended.push_back(*end);
        }
    }
    return ended;
}

// The end of a task Slurm no longer runs (`state` empty: no longer known to Slurm), or nothing
// while its exit file may still be on its way.
std::optional<TaskEnd> SlurmArrays::taskEnd(int k, const QString& state, Task& task) const {
    QFile exitFile(QDir(stepsDir_).filePath(taskName(k) + QStringLiteral(".exit")));
    if (exitFile.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int code = QString::fromUtf8(exitFile.readAll()).trimmed().toInt(&ok);
        if (ok && code == 0) return TaskEnd{k, true, {}};
        return TaskEnd{k, false, QStringLiteral("Slurm task %1 ended with exit status %2:\n%3")
                                     .arg(taskName(k), ok ? QString::number(code) : QStringLiteral("unknown"), taskErrorLines(k))};
    }
    if (!stoppedBySlurm(state)) {
        if (!task.endedWithoutResult.isValid()) task.endedWithoutResult.start();
        if (task.endedWithoutResult.elapsed() < kResultGraceMs) return std::nullopt;
    }
    // A pending task cancelled leaves no record; one that ran is forgotten after MinJobAge.
    const QString how = !state.isEmpty()                           ? state
                        : task.lastState == QLatin1String("PENDING") ? QStringLiteral("taken out of the queue before it ran")
                                                                     : QStringLiteral("no longer known to Slurm");
    return TaskEnd{k, false, QStringLiteral("Slurm task %1 ended without a result (%2):\n%3").arg(taskName(k), how, taskErrorLines(k))};
}

// The last lines the task wrote on its error output (on its output when that is empty).
QString SlurmArrays::taskErrorLines(int k) const {
    QString text;
    for (const char* suffix : {".err", ".out"}) {
        QFile f(QDir(stepsDir_).filePath(taskName(k) + QLatin1String(suffix)));
        if (f.open(QIODevice::ReadOnly)) text = QString::fromUtf8(f.readAll()).trimmed();
        if (!text.isEmpty()) break;
    }
    if (text.isEmpty()) return QStringLiteral("(the task wrote nothing)");
    const QStringList lines = text.split(QLatin1Char('\n'));
    return lines.mid(std::max<qsizetype>(0, lines.size() - kErrorLines)).join(QLatin1Char('\n'));
}

void SlurmArrays::cancel() {
    if (cancelled_ || arrays_.empty()) return;
    cancelled_ = true;
    QStringList ids;
    for (const Array& a : arrays_) ids.append(a.id);
    run(QStringLiteral("scancel"), ids);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kCancelWaitMs) {
        QString why;
        const auto states = queueStates(why);
        bool queued = !states;
        if (states)
            for (const auto& [k, state] : *states) queued = queued || !endedStates().count(state);
        if (!queued) break;
        QThread::msleep(250);
    }
}

}  // namespace backtest
