// velkor_bench: the program's speed and memory as ratios, each figure measured side by side with
// what it is compared with in one run (absolute times differ twofold between machines).
//
//   velkor_bench [ROUNDS [PAIRS]]
//
// ROUNDS start-up rounds (default 7); PAIRS pairs of training runs and of daily loops (default 5).
// Every figure is the median of paired ratios, so that a slow spell of the machine falls on both
// sides of a pair. It ends with "bench: ok" or "bench: FAIL <goals>".
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/Clock.h"
#include "app/Format.h"
#include "app/Progress.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "db/Database.h"
#include "forecast/Forecast.h"
#include "net/NeuralNetwork.h"
#include "support/ScriptedDialogs.h"
#include "window/VelkorU.h"
#include "ui_VelkorU.h"

QStringList backtestBench(const QString& data);  // backtest_bench.cpp

namespace {

const QDate kEnd(2026, 12, 4);  // the last day of the sample quotes, and "today" of every start-up
constexpr unsigned kSeed = 1;
constexpr int kLoopPassDivisor = 2;  // the daily loop runs at half the default passes

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double msSince(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

double timedMs(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return msSince(t);
}

[[noreturn]] void die(const QString& text) {
    std::fprintf(stderr, "velkor_bench: %s\n", qPrintable(text));
    std::exit(2);
}

// Sample quotes in dir/name, written by velkor-sample; no day counts given: its defaults.
QString sampleQuotes(const QTemporaryDir& dir, const QString& name, QDate end, const QStringList& days = {}) {
    const QString out = dir.filePath(name);
    QProcess gen;
    gen.start(QCoreApplication::applicationDirPath() + "/velkor-sample",
              QStringList{"--out", out, "--end", end.toString("yyyy-MM-dd")} + days);
    if (!gen.waitForFinished(300000) || gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0)
        die("velkor-sample failed: " + QString::fromLocal8Bit(gen.readAllStandardError()));
    return out;
}

// A working directory whose config.txt names the data folder and whose cini.txt holds `scale`
// times the default read days and the default passes of every timeframe.
struct Workdir {
    QTemporaryDir dir;
    Workdir(const QString& data, int scale) {
        textfile::writeLines(dir.filePath("config.txt"), {data + "/"});
        QStringList cini;
        for (const Timeframe& t : timeframes())
            cini << QString("%1,%2,%3").arg(t.ciniLabel).arg(t.defaultReadDays * scale).arg(t.defaultPasses);
        textfile::writeLines(dir.filePath("cini.txt"), cini);
    }
    QString path() const { return dir.path(); }
};

// The window over a working directory with the seams of a batch run, seed 1 and "today" kEnd.
struct Session {
    ScriptedDialogs dialogs;
    FixedClock clock{kEnd};
    NullProgress progress;
    std::unique_ptr<TVelkorF> w;

    explicit Session(const QString& workDir) {
        TVelkorF::Options o;
        o.workDir = workDir;
        o.catalogDir = QCoreApplication::applicationDirPath() + "/catalog";
        o.dialogs = &dialogs;
        o.clock = &clock;
        o.progress = &progress;
        o.seed = kSeed;
        w = std::make_unique<TVelkorF>(o);
    }
    // The start-up, its files on disk before anything after it is timed.
    void start() {
        w->startUp();
        check("start-up");
        ::sync();
    }
    // Stops the benchmark when an operation showed an error: its time would mean nothing.
    void check(const char* what) const {
        if (!dialogs.errors.isEmpty() || !w->startupDone())
            die(QString("%1 failed: %2").arg(what, dialogs.errors.join("; ")));
    }
};

// Milliseconds of one start-up: databases, settings, pages, import and build of all three timeframes.
double startupMs(const QString& workDir) {
    Session s(workDir);
    const double ms = timedMs([&] { s.w->startUp(); });
    s.check("start-up");
    return ms;
}

// The start-up's floor: read the three quote files, keep the lines of the read days and insert
// as many rows into a memory table with one prepared statement in one transaction.
double floorMs(const QString& data) {
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "create table T (c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,c21)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into T values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    int cnt = 0;
    for (const Timeframe& tf : timeframes()) {
        const QString cutoff = kEnd.addDays(-tf.defaultReadDays).toString("yyyy/MM/dd");
        for (const QString& line : textfile::readLines(data + "/" + tf.quoteFile)) {
            const QStringList fields = line.split(',');
            if (fields.size() < 20 || fields[0] < cutoff) continue;
            sqlite3_bind_int(st, 1, ++cnt);
            for (int i = 0; i < 20; ++i) {
                const QByteArray b = fields[i].toUtf8();
                sqlite3_bind_text(st, i + 2, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            }
            sqlite3_step(st);
            sqlite3_reset(st);
        }
    }
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return msSince(t);
}

// Start-up at the default read days and at four times them over the same quotes, and the floor
// of the first. The three take turns round by round; a figure is the median of the rounds' own
// ratios.
void startupFigures(int rounds, const QString& data, QStringList& failed) {
    Workdir one(data, 1), four(data, 4);
    startupMs(one.path());  // the first start creates SQDB.DB and loads the catalog
    startupMs(four.path());
    std::vector<double> t1, t4, fl, growth, overFloor;
    for (int r = 0; r < rounds; ++r) {
        t1.push_back(startupMs(one.path()));
        t4.push_back(startupMs(four.path()));
        fl.push_back(floorMs(data));
        growth.push_back(t4.back() / t1.back());
        overFloor.push_back(t1.back() / fl.back());
    }
    std::printf("startup: 1x %.1f ms, 4x %.1f ms, floor %.1f ms (medians of %d rounds)\n", median(t1),
                median(t4), median(fl), rounds);
    std::printf("startup growth 4x/1x: %.2f (goal <= 4.4)\n", median(growth));
    std::printf("startup over floor: %.2f (goal <= 5)\n", median(overFloor));
    if (median(growth) > 4.4) failed << "startup-growth";
    if (median(overFloor) > 5) failed << "startup-floor";
}

// The patterns the 5-minute run presents: the training rows before its placeholder rows.
forecast::TrainingPatterns fiveMinutePatterns(TVelkorF& w) {
    const Timeframe& t = timeframes()[0];
    Query q("patterns", &w.data.memory, "select * from " + t.trainingTable + " order by CNT");
    q.Open();
    q.Last();
    return forecast::trainingPatterns(q, q.FieldByName("CNT").AsInteger() - t.periods);
}

// A bare loop of fann_train over the patterns on a network of the run's shape, settings and
// initial weights (the same seed); the network's error afterwards as the run shows it.
QString bareTraining(const forecast::TrainingPatterns& p, int passes) {
    static const unsigned layers[] = {14, 14, 14, 3};
    NeuralNetwork net(layers, 1.0f, kSeed);
    fann* ann = net.handle();
    std::vector<float> in = p.inputs, first = p.targetsFirst, later = p.targetsLater;
    for (int pass = 0; pass < passes; ++pass) {
        float* out = pass == 0 ? first.data() : later.data();
        for (int r = 0; r < p.count; ++r) fann_train(ann, &in[size_t(r) * 14], &out[size_t(r) * 3]);
    }
    return fmt::frac6(fann_get_MSE(ann));
}

// Milliseconds of a and of b, `count` times, which goes first changing from pair to pair, and
// each pair's a/b.
struct Pairs {
    std::vector<double> a, b, ratios;
};
Pairs timePairs(int count, const std::function<void()>& a, const std::function<void()>& b) {
    Pairs p;
    for (int r = 0; r < count; ++r) {
        if (r % 2 == 0) {
            p.a.push_back(timedMs(a));
            p.b.push_back(timedMs(b));
        } else {
            p.b.push_back(timedMs(b));
            p.a.push_back(timedMs(a));
        }
        p.ratios.push_back(p.a.back() / p.b.back());
    }
    return p;
}

// The default 5-minute forecast run (read, train, forecast, store, show) against the bare loop.
// Both must end on the same error, or they did not train the same network on the same patterns.
void trainingFigure(int pairs, const QString& data, QStringList& failed) {
    QElapsedTimer all;
    all.start();
    Workdir wd(data, 1);
    Session s(wd.path());
    s.start();
    const forecast::TrainingPatterns patterns = fiveMinutePatterns(*s.w);
    const int passes = timeframes()[0].defaultPasses;
    QString runMse, bareMse;
    const Pairs p = timePairs(
        pairs,
        [&] {
            s.w->guarded([&] { s.w->runForecast(*timeframeOf(5)); });
            runMse = s.w->ui->d12ms2L->text();
        },
        [&] { bareMse = bareTraining(patterns, passes); });
    s.check("5-minute forecast");
    const double ratio = median(p.ratios);
    std::printf("training ratio: %.3f (goal <= 1.02): run %.2f s, bare fann_train loop %.2f s; "
                "%d patterns x %d passes; %d pairs in %.0f s\n",
                ratio, median(p.a) / 1000, median(p.b) / 1000, patterns.count, passes, pairs, msSince(all) / 1000);
    if (runMse != bareMse)
        std::printf("training: the run ends on error %s, the bare loop on %s\n", qPrintable(runMse), qPrintable(bareMse));
    if (ratio > 1.02 || runMse != bareMse) failed << "training";
}

// The daily loop: "forecast all" against the three forecasts one after the other, in one window
// with one seed, at a fraction of the default passes.
void dailyLoopFigure(int pairs, const QString& data, QStringList& failed) {
    QElapsedTimer all;
    all.start();
    Workdir wd(data, 1);
    Session s(wd.path());
    s.start();
    QStringList passes;
    for (const Timeframe& t : timeframes()) {
        passes << QString::number(t.defaultPasses / kLoopPassDivisor);
        s.w->page(t.index).ln1E->setText(passes.back());
    }
    const Pairs p = timePairs(
        pairs, [&] { s.w->forecastAll(); },
        [&] {
            for (const Timeframe& t : timeframes()) {
                s.w->guarded([&] { s.w->runForecast(*timeframeOf(t.code)); });
            }
        });
    s.check("daily loop");
    const double ratio = median(p.ratios);
    std::printf("daily loop ratio: %.3f (goal <= 0.6 on 2 cores; %u here): forecast all %.2f s, one after "
                "the other %.2f s; 1/%d of the default passes (%s); %d pairs in %.0f s\n",
                ratio, std::thread::hardware_concurrency(), median(p.a) / 1000, median(p.b) / 1000,
                kLoopPassDivisor, qPrintable(passes.join(", ")), pairs, msSince(all) / 1000);
    if (ratio > 0.6) failed << "daily-loop";
}

// Runs argv (a program and its arguments) and prints its peak resident size in KB. Done by a
// small process of its own: a child forked from this benchmark, grown large by then, would
// start its peak at the benchmark's size.
int printPeakRssOf(char** argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    std::printf("%ld\n", ru.ru_maxrss);
    return 0;
}

// Peak resident size in MB of a batch start-up (`velkor --batch`) in a fresh working directory.
double peakMb(const QString& data, int scale) {
    Workdir wd(data, scale);
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(),
            {"--peak-rss-of", QCoreApplication::applicationDirPath() + "/velkor", "--batch", "--workdir", wd.path(),
             "--today", kEnd.toString("yyyy-MM-dd")});
    if (!p.waitForFinished(300000) || p.exitCode() != 0) die("the batch start-up for the peak memory failed");
    return p.readAllStandardOutput().trimmed().toLong() / 1024.0;
}

// Peak memory of a batch start-up at the default read days and at four times them; the growth
// is counted above a start-up whose quote files hold no line of the read days (it imports nothing).
void memoryFigures(const QString& data, const QString& none, QStringList& failed) {
    const double base = peakMb(none, 1), one = peakMb(data, 1), four = peakMb(data, 4);
    const double growth = (four - base) / (one - base);
    std::printf("peak memory: 1x %.1f MB (goal <= 200 MB), 4x %.1f MB, importing nothing %.1f MB\n", one, four, base);
    std::printf("peak memory growth 4x/1x above importing nothing: %.2f (goal <= 4.4)\n", growth);
    if (one > 200) failed << "memory";
    if (growth > 4.4) failed << "memory-growth";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak-rss-of") == 0) return printPeakRssOf(argv + 2);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure shows as soon as it is measured
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int pairs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    // The default sample quotes for the forecasts; quotes long enough for four times the default
    // read days (40, 200, 200) for the start-ups; and five days of quotes from years before,
    // older than any read day.
    QTemporaryDir dir;
    const QString quotes = sampleQuotes(dir, "default", kEnd);
    const QString longQuotes = sampleQuotes(dir, "long", kEnd, {"--days5", "170", "--days30", "810", "--days4h", "810"});
    const QString none = sampleQuotes(dir, "old", kEnd.addYears(-5), {"--days5", "5", "--days30", "5", "--days4h", "5"});

    QStringList failed;
    startupFigures(rounds, longQuotes, failed);
    trainingFigure(pairs, quotes, failed);
    dailyLoopFigure(pairs, quotes, failed);
    memoryFigures(longQuotes, none, failed);
    failed << backtestBench(quotes);

    if (failed.isEmpty()) std::printf("bench: ok\n");
    else std::printf("bench: FAIL %s\n", qPrintable(failed.join(' ')));
    return failed.isEmpty() ? 0 : 1;
}
