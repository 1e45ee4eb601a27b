#include "backtest/Runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>
#include <cstdio>
#include <map>

#include "app/Console.h"
#include "backtest/Signals.h"
#include "backtest/Slurm.h"
#include "app/Format.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/Database.h"
#include "db/SqlBuilder.h"
#include "db/Transaction.h"

namespace backtest {

namespace {
constexpr int kVerifyCollects = 100;  // pending rows one verification collects
constexpr int kSlurmPollMs = 1000;    // how often squeue is asked about the tasks

QString dbPath(const QString& dir) { return QDir(dir).filePath(QStringLiteral("SQDB.DB")); }

QStringList columnsOf(Connection& c, const QString& table) {
    Query q(QStringLiteral("columns"), &c, QStringLiteral("pragma main.table_info(\"%1\")").arg(table));
    q.Open();
    QStringList names;
    for (int r = 0; r < q.RecordCount(); ++r) names.append(q.ValueAt(r, q.FieldIndex(QStringLiteral("name"))).asString());
    return names;
}

// The error lines a failed run of the program printed (its stdout too when stderr is empty).
QString childOutput(QProcess& p) {
    QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    if (err.isEmpty()) err = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    if (err.isEmpty()) err = p.errorString();
    return err;
}

QString mmss(qint64 ms) {
    const qint64 s = (ms + 500) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

Runner::Runner(const Plan& plan, QString program, const std::array<const QuoteFile*, 3>& quotes, std::vector<int> bases)
    : plan_(plan), program_(std::move(program)), quotes_(quotes), bases_(std::move(bases)),
      stepsDir_(QDir(plan.outDir).filePath(QStringLiteral(".steps"))) {}

Runner::~Runner() {
    if (!keepStepsDir_) QDir(stepsDir_).removeRecursively();
}

const QuoteLine& Runner::base(int k) const {
    return quotes_[size_t(plan_.t->index)]->lines()[size_t(bases_[size_t(k - 1)])];
}

int Runner::storedSteps() const {
    if (!QFile::exists(dbPath(plan_.outDir))) return 0;
    Connection c(QStringLiteral("backtest"));
    c.setDatabase(dbPath(plan_.outDir));
    c.open();
    return int(queryInt(c, QStringLiteral("select count(*) from ") + plan_.t->headerTable));
}

// The step's folder: the three quote files cut after the base bar, and the working
// directory's settings files.
void Runner::prepareStep(int k, const QString& dir) const {
    const QString data = dir + QStringLiteral("/data");
    QDir(dir).removeRecursively();
    if (!QDir().mkpath(data)) throw VelkorError(QStringLiteral("cannot make the folder %1").arg(data));
    const QuoteLine& b = base(k);
    for (const Timeframe& t : timeframes()) {
        const QuoteFile& q = *quotes_[size_t(t.index)];
        const qsizetype keep = q.cutAfter(*b.server);
        if (keep == 0)
            throw VelkorError(QStringLiteral("step %1: %2 has no line up to %3").arg(k).arg(q.path(), b.serverText));
        textfile::writeLines(data + QLatin1Char('/') + t.quoteFile, q.text().mid(0, keep));
    }
    textfile::writeLines(dir + QStringLiteral("/config.txt"), {data + QLatin1Char('/')});
    textfile::writeLines(dir + QStringLiteral("/cini.txt"), plan_.ciniLines());
}

// The live run right after the base bar closed: today is its server date.
QStringList Runner::stepArguments(int k, const QString& stepDir) const {
    return {QStringLiteral("--batch"), QStringLiteral("--workdir"), stepDir,
            QStringLiteral("--data-dir"), stepDir + QStringLiteral("/data"),
            QStringLiteral("--today"), base(k).server->date().toString(Qt::ISODate),
            QStringLiteral("--seed"), QString::number(plan_.seed),
            QStringLiteral("forecast"), QString::number(plan_.t->code)};
}

// Copies the step's run into the output folder's database as its next run, whole or not at
// all; the first step's database becomes the output folder's.
void Runner::storeStep(int k, const QString& stepDir) {
    const Timeframe& t = *plan_.t;
    const QString stepDb = dbPath(stepDir);
    {
        Connection s(QStringLiteral("step"));
        s.setDatabase(stepDb);
        s.open();
        const qint64 headers = queryInt(s, QStringLiteral("select count(*) from ") + t.headerTable);
        const qint64 details = queryInt(s, QStringLiteral("select count(*) from F03VDT where TBID = %1").arg(t.tbid));
        if (headers != 1 || details != t.periods)
            throw VelkorError(QStringLiteral("step %1: the run stored %2 header and %3 detail rows, not 1 and %4")
                                  .arg(k).arg(headers).arg(details).arg(t.periods));
        Query h(QStringLiteral("h"), &s, QStringLiteral("select DT, HM from ") + t.headerTable);
        h.Open();
        const QString at = h.ValueAt(0, 0).asString() + QLatin1Char(' ') + h.ValueAt(0, 1).asString();
        if (at != base(k).local)
            throw VelkorError(QStringLiteral("step %1: the run's base bar is %2 (local time), not %3 of %4")
                                  .arg(k).arg(at, base(k).local, quotes_[size_t(t.index)]->path()));
    }
    const QString target = dbPath(plan_.outDir);
    if (!QFile::exists(target)) {
        const QString temp = QDir(stepsDir_).filePath(QStringLiteral("SQDB.DB.new"));
        QFile::remove(temp);
        if (!QFile::copy(stepDb, temp) || std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0)
            throw VelkorError(QStringLiteral("cannot write %1").arg(target));
        return;
    }
    Connection c(QStringLiteral("backtest"));
    c.setDatabase(target);
    c.open();
    execOrThrow(c, QStringLiteral("attach database %1 as step").arg(sqlb::quoted(stepDb)));
    const auto detach = qScopeGuard([&c] { execOne(c, QStringLiteral("detach database step")); });
    const qint64 header = queryInt(c, QStringLiteral("select coalesce(max(CNT), 0) + 1 from main.") + t.headerTable);
    const qint64 shift = queryInt(c, QStringLiteral("select coalesce(max(CNT), 0) from main.F03VDT")) -
                         queryInt(c, QStringLiteral("select min(CNT) - 1 from step.F03VDT"));
    auto copy = [&](const QString& table, const QString& where, const std::map<QString, QString>& replaced) {
        const QStringList cols = columnsOf(c, table);
        QStringList values;
        for (const QString& col : cols) values.append(replaced.count(col.toUpper()) ? replaced.at(col.toUpper()) : col);
        execOrThrow(c, QStringLiteral("insert into main.%1 (%2) select %3 from step.%1 %4 order by CNT")
                           .arg(table, cols.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")), where));
    };
    Transaction tx(c, Transaction::Immediate);
    copy(t.headerTable, QString(), {{QStringLiteral("CNT"), QString::number(header)}});
    copy(QStringLiteral("F03VDT"), QStringLiteral("where TBID = %1").arg(t.tbid),
         {{QStringLiteral("CNT"), QStringLiteral("CNT + %1").arg(shift)}, {QStringLiteral("HCNT"), QString::number(header)}});
    tx.commit();
}

struct Runner::Step {
    int k = 0;
    QString dir;
    std::unique_ptr<QProcess> process;  // of the local runner
    bool ended = false, ok = false;
    QString error;
};

// One call of runSteps: the steps started and not stored, by step number, and the counts.
struct Runner::Schedule {
    int n = 0, first = 0, next = 0, stored = 0, running = 0;
    std::map<int, std::unique_ptr<Step>> steps;
    QString failure;
    QEventLoop loop;
    QElapsedTimer clock;
    SlurmArrays* slurm = nullptr;  // the job arrays, when the steps run on Slurm
    double storingMs = 0;          // spent in storing the steps, which no task can take over
};

// Counts the steps stored before; false when none is left to run.
bool Runner::beginSchedule(Schedule& s) {
    s.n = int(bases_.size());
    s.first = s.next = storedSteps() + 1;
    s.stored = s.first - 1;
    if (s.first > s.n) return false;
    QDir(stepsDir_).removeRecursively();  // what an interrupted backtest left
    if (s.first > 1)
        printLine(stderr, QStringLiteral("backtest %1: %2 of %3 steps stored before, going on").arg(plan_.t->code).arg(s.stored).arg(s.n));
    s.clock.start();
    return true;
}

void Runner::runSteps() {
    Schedule s;
    if (!beginSchedule(s)) return;
    launchSteps(s);
    if (s.running > 0) s.loop.exec();
    if (!s.failure.isEmpty()) throw VelkorError(s.failure);
}

// Starts steps until plan.jobs run, the last one has started or one failed; ends the loop
// once none runs.
void Runner::launchSteps(Schedule& s) {
    while (s.failure.isEmpty() && s.running < plan_.jobs && s.next <= s.n) {
        auto step = std::make_unique<Step>();
        step->k = s.next++;
        // The name holds this process's id: a step left running by a killed backtest never
        // writes into the folder of a step of this one.
        step->dir = QDir(stepsDir_).filePath(QStringLiteral("%1-%2").arg(step->k).arg(QCoreApplication::applicationPid()));
        try {
            prepareStep(step->k, step->dir);
        } catch (const VelkorError& e) {
            s.failure = e.text();
            break;
        }
        step->process = std::make_unique<QProcess>();
        Step* raw = step.get();
        QObject::connect(raw->process.get(), &QProcess::finished, &s.loop, [this, &s, raw](int code, QProcess::ExitStatus st) {
            raw->ended = true;
            raw->ok = st == QProcess::NormalExit && code == 0;
            if (!raw->ok) raw->error = childOutput(*raw->process);
            stepEnded(s);
        });
        QObject::connect(raw->process.get(), &QProcess::errorOccurred, &s.loop, [this, &s, raw](QProcess::ProcessError e) {
            if (e != QProcess::FailedToStart) return;
            raw->ended = true;
            raw->error = program_ + QStringLiteral(": ") + raw->process->errorString();
            stepEnded(s);
        });
        s.steps.emplace(raw->k, std::move(step));
        ++s.running;
        raw->process->start(program_, stepArguments(raw->k, raw->dir));
    }
    if (s.running == 0) s.loop.quit();
}

// A step's run ended: stores the finished steps that follow the stored ones, in order (after a
// failure none, and the running ones are stopped), then starts more.
void Runner::stepEnded(Schedule& s) {
    --s.running;
    for (auto it = s.steps.find(s.stored + 1);
         s.failure.isEmpty() && it != s.steps.end() && it->second->ended;
         it = s.steps.find(s.stored + 1)) {
        Step& step = *it->second;
        if (!step.ok) {
            s.failure = QStringLiteral("step %1 (base bar %2) failed:\n%3").arg(step.k).arg(base(step.k).serverText, step.error);
            break;
        }
        QElapsedTimer storing;
        storing.start();
        try {
            storeStep(step.k, step.dir);
        } catch (const VelkorError& e) {
            s.failure = e.text();
            break;
        }
        QDir(step.dir).removeRecursively();
        s.storingMs += storing.nsecsElapsed() / 1e6;
        s.steps.erase(it);
        ++s.stored;
        const qint64 ms = s.clock.elapsed();
        const qint64 left = ms * (s.n - s.stored) / (s.stored - s.first + 1);
        printLine(stderr, QStringLiteral("backtest %1: step %2/%3 %4 elapsed %5, about %6 left")
                      .arg(plan_.t->code).arg(s.stored).arg(s.n).arg(base(s.stored).serverText, mmss(ms), mmss(left)));
    }
    if (!s.failure.isEmpty()) stopSteps(s);
    launchSteps(s);
}

// After a failure: the local runs still going are killed; the Slurm arrays are cancelled,
// and nothing more is waited for.
void Runner::stopSteps(Schedule& s) {
    if (s.slurm) {
        s.slurm->cancel();
        s.running = 0;
        return;
    }
    for (auto& [k, step] : s.steps)
        if (step->process && step->process->state() != QProcess::NotRunning) step->process->kill();
}

int Runner::pendingRows() const {
    Connection c(QStringLiteral("backtest"));
    c.setDatabase(dbPath(plan_.outDir));
    c.open();
    return int(queryInt(c, QStringLiteral("select count(*) from F03VDT where JGCL is null")));
}

// The output folder's own program run verifies: one verification handles the runs of the
// first pending rows it collects, so a run of the program verifies as often as it takes for
// all of them, and the runs repeat while they change anything. Its start-up imports the full
// quote files from the read days before the first base bar on.
void Runner::verify() {
    const QString today = base(1).server->date().toString(Qt::ISODate);
    for (int before = pendingRows(); before > 0;) {
        QStringList args{QStringLiteral("--batch"), QStringLiteral("--workdir"), plan_.outDir, QStringLiteral("--today"), today};
        for (int i = 0; i <= before / kVerifyCollects + 1; ++i) args.append(QStringLiteral("verify"));
        QProcess p;
        p.start(program_, args);
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            throw VelkorError(QStringLiteral("the verification in %1 failed:\n%2").arg(plan_.outDir, childOutput(p)));
        const int after = pendingRows();
        if (after == before) break;
        before = after;
    }
}

// The program's arguments of a Slurm task: the backtest of the output folder, whose
// "config.txt" and "cini.txt" hold its data folder and settings.
QStringList Runner::taskArguments() const {
    return {QStringLiteral("--batch"), QStringLiteral("--workdir"), plan_.outDir, QStringLiteral("--out"), plan_.outDir,
            QStringLiteral("--seed"), QString::number(plan_.seed), QStringLiteral("backtest"), QString::number(plan_.t->code),
            plan_.from.toString(Qt::ISODate), plan_.to.toString(Qt::ISODate), QString::number(plan_.every)};
}

void Runner::runStepsOnSlurm(const SlurmOptions& options) {
    Schedule s;
    if (!beginSchedule(s)) return;
    SlurmArrays arrays(options, plan_.outDir, stepsDir_, taskArguments());
    arrays.submit(s.first, s.n);
    printLine(stderr, QStringLiteral("backtest %1: steps %2 to %3 submitted to Slurm as job array %4 (squeue -j %4 shows the tasks)")
                  .arg(plan_.t->code).arg(s.first).arg(s.n).arg(arrays.jobIds()));
    s.slurm = &arrays;
    for (int k = s.first; k <= s.n; ++k) {
        auto step = std::make_unique<Step>();
        step->k = k;
        step->dir = arrays.stepDir(k);
        s.steps.emplace(k, std::move(step));
    }
    s.next = s.n + 1;
    s.running = s.n - s.first + 1;
    SignalCatcher interruptions([&](const QString& signal) {
        if (!s.failure.isEmpty()) return;
        s.failure = QStringLiteral("interrupted (%1): Slurm job %2 cancelled; %3 of %4 steps stored, the same command goes on")
                        .arg(signal, arrays.jobIds()).arg(s.stored).arg(s.n);
        stopSteps(s);
        launchSteps(s);
    });
    QTimer poll;
    poll.setInterval(kSlurmPollMs);
    QObject::connect(&poll, &QTimer::timeout, &s.loop, [&] {
        for (const TaskEnd& end : arrays.poll()) {
            if (!s.failure.isEmpty()) break;
            Step& step = *s.steps.at(end.step);
            step.ended = true;
            step.ok = end.ok;
            step.error = end.error;
            stepEnded(s);
        }
    });
    poll.start();
    s.loop.exec();
    if (!s.failure.isEmpty()) throw VelkorError(s.failure);
    printLine(stderr, QStringLiteral("backtest %1: storing took %2 ms a step (%3 steps)")
                  .arg(plan_.t->code).arg(s.storingMs / (s.n - s.first + 1), 0, 'f', 1).arg(s.n - s.first + 1));
}

int Runner::runTask(int k, const QString& tag) {
    keepStepsDir_ = true;
    const QString dir = QDir(stepsDir_).filePath(QStringLiteral("%1-%2").arg(k).arg(tag));
    prepareStep(k, dir);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program_, stepArguments(k, dir));
    if (!p.waitForStarted(-1)) throw VelkorError(program_ + QStringLiteral(": ") + p.errorString());
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit)
        throw VelkorError(QStringLiteral("step %1: the run of %2 crashed").arg(k).arg(program_));
    return p.exitCode();
}

}  // namespace backtest
