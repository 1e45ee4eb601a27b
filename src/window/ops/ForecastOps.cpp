// The training and forecast run of one timeframe, and the daily loop of all three.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
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
#include "window/VelkorU.h"
#include "ui_VelkorU.h"

namespace {

QString progressLabel(int pass, int passes, qint64 ms) { return texts::training(pass, passes, fmt::minSec(ms)); }

// Removes a file on scope exit unless released.
struct TempFile {
    QString path;
    ~TempFile() { if (!path.isEmpty()) QFile::remove(path); }
};

}  // namespace

// Steps 1-4: the training rows in CNT order, the base bar with its window and the
// placeholder rows after it, and a fresh network.
forecast::Run TVelkorF::prepareForecast() {
    forecast::Run run;
    run.t = tf(iasi);
    const Timeframe& t = *run.t;
    if (importFailed_[size_t(t.index)]) throw VelkorError(texts::notImportedWhole(t.quoteFile));
    run.passes = Cvs2i(page(t.index).ln1E->text().trimmed());
    itkn = t.itkn;
    ityk = t.ityk;
    openOnTable(dm.qm, QStringLiteral("csm"), t.trainingTable, QStringLiteral(" order by CNT "), false);
    Query& q = dm.qm;
    const int icn = q.IsEmpty() ? 0 : q.FieldByName(QStringLiteral("CNT")).AsInteger() - ityk;
    if (icn < 1 || q.RecordCount() <= ityk) throw VelkorError(texts::noImportedRows(t.trainingTable));
    run.patterns = forecast::trainingPatterns(q, icn);

    q.Last();
    q.MoveBy(-ityk);
    run.baseCnt = q.FieldByName(QStringLiteral("CNT")).AsInteger();
    fqHLn(int(run.baseCnt), itkn);
    run.ranges = {icvt, ihvt, ilvt};
    for (int k = 0; k < ityk; ++k) {
        q.Next();
        auto value = [&](const char* f) { return float(q.FieldByName(QLatin1String(f)).AsFloat()); };
        run.placeholders.push_back({q.FieldByName(QStringLiteral("CNT")).AsString(), value("WEEK"), value("SIN"),
                                    value("COS")});
    }

    run.started = clock().elapsedMs();
    TarselFann.reset();
    static const unsigned layers[] = {14, 14, 14, 3};
    run.net = std::make_unique<TTarselFann>(std::span<const unsigned>(layers), 1.0f, seed());
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
    struct End {
        Progress& p;
        ~End() { p.end(); }
    } end{p};
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
    icvt = run.ranges.close;
    ihvt = run.ranges.high;
    ilvt = run.ranges.low;
    std::array<float, forecast::outputCount> outputs{};
    for (const forecast::Run::Placeholder& row : run.placeholders) {
        inputs[0] = row.week;
        inputs[1] = row.sin;
        inputs[2] = row.cos;
        TarselFann->Run(inputs, outputs);
        const forecast::PeriodForecast f = forecast::periodForecast(outputs, run.ranges);
        sa[1] = QString::number(f.high);
        sa[2] = QString::number(f.low);
        sa[3] = QString::number(f.close);
        sa[4] = f.scaled;
        sqw = QStringLiteral(" update ") + run.t->trainingTable + QStringLiteral(" set HV1 = ") + sa[1] +
              QStringLiteral(", LV1 = ") + sa[2] + QStringLiteral(", CV1 = ") + sa[3] + QStringLiteral(", M053 = ") +
              sqlb::orNull(sa[4]) + QStringLiteral(" where CNT = ") + row.cnt;
        if (!uexSql(2)) throw VelkorError(texts::sqlError(QStringLiteral("予測値を書き込めません"), sqw));
    }
}

// Step 10, first half: the network is written beside its file under a name of this
// process; it replaces the previous run's file once the run is stored.
QString TVelkorF::saveNetworkBeside(const Timeframe& t) {
    const QString netPath = path(t.networkFile);
    const QString temp = netPath + QStringLiteral(".%1.new").arg(QCoreApplication::applicationPid());
    if (!TarselFann->SaveToFile(temp)) {
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
    TarselFann = std::move(run.net);
    struct Release {
        std::unique_ptr<TTarselFann>& net;
        ~Release() { net.reset(); }
    } release{TarselFann};
    itkn = t.itkn;
    ityk = t.ityk;
    stdb = QStringLiteral("csm");
    stnm = t.trainingTable;

    Transaction placeholders(dm.csm);
    writeForecasts(run);
    const QString mseText = fmt::frac6(TarselFann->GetMSE());
    const qint64 tm = run.trainingMs + clock().elapsedMs() - from;
    TempFile temp{saveNetworkBeside(t)};
    Query& browse = dm.trainingQuery(t.index);
    try {
        openOnTable(browse, QStringLiteral("csm"), t.trainingTable, QStringLiteral(" order by cnt "));
        sa[3] = mseText;
        sa[4] = fmt::minSec(tm);
        iasi = t.code;
        uq03K(2);
        placeholders.commit();
    } catch (...) {
        placeholders.rollback();
        iasi = t.code;
        openOnTable(browse, QStringLiteral("csm"), t.trainingTable, QStringLiteral(" order by cnt "));
        throw;
    }
    iasi = t.code;
    const QString netPath = path(t.networkFile);
    if (std::rename(QFile::encodeName(temp.path).constData(), QFile::encodeName(netPath).constData()) != 0)
        throw VelkorError(texts::fileWriteError(netPath, QString::fromLocal8Bit(std::strerror(errno))));
    temp.path.clear();

    browse.Last();
    showTrainingPage(run.errors, TarselFann->NeuronShape(), mseText);
    TarselFann.reset();
    dialogs().message(texts::trainingTime + fmt::minSecJa(tm));
}

void TVelkorF::uq02YS() {
    if (!tf(iasi)) return;
    forecast::Run run = prepareForecast();
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
        iasi = t.code;
        try {
            byTimeframe[size_t(t.index)].run = prepareForecast();
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
        iasi = t.code;
        const bool ok = guarded([&] {
            if (s.failed) std::rethrow_exception(s.failed);
            if (trained) finishForecast(*s.run);
        });
        failures += ok ? 0 : 1;
    }
    return failures;
}
