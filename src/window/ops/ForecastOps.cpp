// The training and forecast run of one timeframe, and the daily loop of all three.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QScopeGuard>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/Format.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "db/Transaction.h"
#include "forecast/Forecast.h"
#include "net/Scaling.h"
#include "window/VelkorU.h"
#include "ui_VelkorU.h"

namespace {

QString progressLabel(int pass, int passes, qint64 ms) { return texts::training(pass, passes, fmt::minSec(ms)); }

}  // namespace

// Steps 1-4: the training rows in CNT order, the base bar with its window and the
// placeholder rows after it, and a fresh network.
forecast::Run TVelkorF::prepareForecast(const Timeframe& t) {
    forecast::Run run;
    run.t = &t;
    if (importFailed_[size_t(t.index)]) throw VelkorError(texts::notImportedWhole(t.quoteFile));
    run.passes = textToInt(page(t).ln1E->text().trimmed());
    openOnTable(data.trainingRead, Db::Memory, t.trainingTable, QStringLiteral(" order by CNT "), false);
    Query& q = data.trainingRead;
    const int lastImported = q.IsEmpty() ? 0 : q.FieldByName(QStringLiteral("CNT")).AsInteger() - t.periods;
    const int imported = std::max(0, q.RecordCount() - t.periods);
    if (lastImported < 1 || imported < t.windowLength + t.periods) {
        const QString first = imported > 0 ? q.ValueAt(0, q.FieldIndex(QStringLiteral("SYMD"))).asString() : QString();
        const QString last = imported > 0 ? q.ValueAt(imported - 1, q.FieldIndex(QStringLiteral("SYMD"))).asString() : QString();
        throw VelkorError(texts::tooFewBars(t.quoteFile, t.trainingTable, imported, first, last, t.windowLength, t.periods));
    }
    run.patterns = forecast::trainingPatterns(q, lastImported);

    q.Last();
    q.MoveBy(-t.periods);
    run.baseCnt = q.FieldByName(QStringLiteral("CNT")).AsInteger();
    const market::WindowScale window = windowScaleOf(t.trainingTable, int(run.baseCnt), t.windowLength);
    run.ranges = {window.close, window.high, window.low};
    for (int k = 0; k < t.periods; ++k) {
        q.Next();
        auto value = [&](const char* f) { return float(q.FieldByName(QLatin1String(f)).AsFloat()); };
        run.placeholders.push_back({q.FieldByName(QStringLiteral("CNT")).AsString(), value("WEEK"), value("SIN"),
                                    value("COS")});
    }

    run.started = clock().elapsedMs();
    runningNetwork.reset();
    static const unsigned layers[] = {14, 14, 14, 3};
    run.net = std::make_unique<NeuralNetwork>(std::span<const unsigned>(layers), 1.0f, seed());
    return run;
}

// Step 5 with the progress display; false when the user cancelled.
bool TVelkorF::trainForecast(forecast::Run& run) {
    if (run.passes <= 0) {
        run.trainingMs = clock().elapsedMs() - run.started;
        return true;
    }
    Progress& p = progress();
    p.start(progressLabel(0, run.passes, 0), run.passes, true);
    const auto end = qScopeGuard([&p] { p.end(); });
    qint64 shown = run.started;
    const bool done = forecast::train(*run.net, run.patterns, run.passes, run.errors, [&](int pass) {
        const qint64 now = clock().elapsedMs();
        if (pass < run.passes && now - shown < 100) return true;
        shown = now;
        return p.update(pass, progressLabel(pass, run.passes, now - run.started));
    });
    run.trainingMs = clock().elapsedMs() - run.started;
    return done;
}

// Steps 6-7: one forecast per placeholder row, written into it. Only the calendar inputs
// change; the others stay those of the last row presented (zeros when none was).
void TVelkorF::writeForecasts(forecast::Run& run) {
    std::array<float, forecast::inputCount> inputs{};
    if (run.passes > 0 && run.patterns.count > 0)
        std::copy_n(run.patterns.lastInputs(), forecast::inputCount, inputs.begin());
    std::array<float, forecast::outputCount> outputs{};
    for (const forecast::Run::Placeholder& row : run.placeholders) {
        inputs[0] = row.week;
        inputs[1] = row.sin;
        inputs[2] = row.cos;
        runningNetwork->Run(inputs, outputs);
        const forecast::PeriodForecast f = forecast::periodForecast(outputs, run.ranges);
        const SqlText update = QStringLiteral(" update ") + run.t->trainingTable + QStringLiteral(" set HV1 = ") +
                               QString::number(f.high) + QStringLiteral(", LV1 = ") + QString::number(f.low) +
                               QStringLiteral(", CV1 = ") + QString::number(f.close) + QStringLiteral(", M053 = ") +
                               sqlb::orNull(f.scaled) + QStringLiteral(" where CNT = ") + row.cnt;
        if (!execute(Db::Memory, update)) throw VelkorError(texts::sqlError(QStringLiteral("予測値を書き込めません"), update));
    }
}

// Step 10, first half: the network is written beside its file under a name of this
// process; it replaces the previous run's file once the run is stored.
QString TVelkorF::saveNetworkBeside(const Timeframe& t) {
    const QString netPath = path(t.networkFile);
    const QString temp = netPath + QStringLiteral(".%1.new").arg(QCoreApplication::applicationPid());
    if (!runningNetwork->SaveToFile(temp)) {
        QFile::remove(temp);
        const QString dir = QFileInfo(netPath).absolutePath();
        throw VelkorError(texts::fileWriteError(
            netPath, QFileInfo(dir).isDir() ? QStringLiteral("書き込めません") : QStringLiteral("フォルダ %1 がありません").arg(dir)));
    }
    return temp;
}

// Steps 6-14 after training.
void TVelkorF::finishForecast(forecast::Run& run) {
    const Timeframe& t = *run.t;
    const qint64 from = clock().elapsedMs();
    runningNetwork = std::move(run.net);
    const auto release = qScopeGuard([this] { runningNetwork.reset(); });

    Transaction placeholders(data.memory);
    writeForecasts(run);
    const QString mseText = fmt::frac6(runningNetwork->GetMSE());
    const qint64 tm = run.trainingMs + clock().elapsedMs() - from;
    QString temp = saveNetworkBeside(t);
    auto removeTemp = qScopeGuard([&temp] { QFile::remove(temp); });
    Query& browse = data.trainingQuery(t.index);
    try {
        openOnTable(browse, Db::Memory, t.trainingTable, QStringLiteral(" order by cnt "));
        storeRun(t, mseText, fmt::minSec(tm));
        placeholders.commit();
    } catch (...) {
        placeholders.rollback();
        openOnTable(browse, Db::Memory, t.trainingTable, QStringLiteral(" order by cnt "));
        throw;
    }
    const QString netPath = path(t.networkFile);
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(netPath).constData()) != 0)
        throw VelkorError(texts::fileWriteError(netPath, QString::fromLocal8Bit(std::strerror(errno))));
    removeTemp.dismiss();

    browse.Last();
    showTrainingPage(run.errors, runningNetwork->NeuronShape(), mseText);
    runningNetwork.reset();
    dialogs().message(texts::trainingTime + fmt::minSecJa(tm));
}

void TVelkorF::runForecast(const Timeframe& t) {
    forecast::Run run = prepareForecast(t);
    if (trainForecast(run)) finishForecast(run);
}

namespace {

// Trains the runs at the same time, one thread each, while the window's thread shows their
// progress together. False when the user cancelled.
bool trainTogether(std::vector<forecast::Run*>& runs, Progress& p, Clock& clock) {
    int total = 0;
    for (const forecast::Run* r : runs) total += std::max(0, r->passes);
    std::atomic<int> passesDone{0}, running{int(runs.size())};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const qint64 started = clock.elapsedMs();
    for (forecast::Run* r : runs) {
        threads.emplace_back([r, &passesDone, &running, &stop, &clock] {
            if (r->passes > 0)
                forecast::train(*r->net, r->patterns, r->passes, r->errors, [&](int) {
                    ++passesDone;
                    return !stop.load();
                });
            r->trainingMs = clock.elapsedMs() - r->started;
            --running;
        });
    }
    p.start(progressLabel(0, total, 0), total, true);
    while (running.load() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int done = passesDone.load();
        if (!p.update(done, progressLabel(done, total, clock.elapsedMs() - started))) stop = true;
    }
    for (std::thread& th : threads) th.join();
    p.end();
    return !stop.load();
}

}  // namespace

int TVelkorF::forecastAll() {
    // Read and create one after the other (the networks are seeded through the C library's
    // generator), train together, then forecast, store and report in timeframe order.
    struct Slot {
        std::optional<forecast::Run> run;
        std::exception_ptr failed;
    };
    std::array<Slot, 3> byTimeframe;
    for (const Timeframe& t : timeframes()) {
        try {
            byTimeframe[size_t(t.index)].run = prepareForecast(t);
        } catch (...) {
            byTimeframe[size_t(t.index)].failed = std::current_exception();
        }
    }
    std::vector<forecast::Run*> training;
    for (Slot& s : byTimeframe)
        if (s.run) training.push_back(&*s.run);
    const bool trained = trainTogether(training, progress(), clock());
    int failures = 0;
    for (const Timeframe& t : timeframes()) {
        Slot& s = byTimeframe[size_t(t.index)];
        const bool ok = guarded([&] {
            if (s.failed) std::rethrow_exception(s.failed);
            if (trained) finishForecast(*s.run);
        });
        failures += ok ? 0 : 1;
    }
    return failures;
}
