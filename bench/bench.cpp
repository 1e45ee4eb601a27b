// velkor_bench: start-up and training figures, each measured side by side with its floor
// in one run, as medians of several repetitions.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
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
#include <floatfann.h>
#include <vector>

#include "app/Clock.h"
#include "app/TextFile.h"
#include "ui/Dialogs.h"
#include "ui/Progress.h"
#include "ui/VelkorU.h"

QStringList backtestBench(const QString& data);  // backtest_bench.cpp

namespace {
const QDate kEnd(2026, 12, 4);

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Workdir {
    QTemporaryDir dir;
    Workdir(const QString& data, int scale) {
        textfile::writeLines(dir.filePath("config.txt"), {data + "/"});
        textfile::writeLines(dir.filePath("cini.txt"),
                             {QString("a,%1,20").arg(40 * scale), QString("b,%1,20").arg(200 * scale),
                              QString("c,%1,20").arg(200 * scale)});
    }
};

std::unique_ptr<TVelkorF> window(const QString& wd, ScriptedDialogs& d, FixedClock& c, NullProgress& p) {
    TVelkorF::Options o;
    o.workDir = wd;
    o.catalogDir = QCoreApplication::applicationDirPath() + "/catalog";
    o.dialogs = &d;
    o.clock = &c;
    o.progress = &p;
    o.seed = 1;
    return std::make_unique<TVelkorF>(o);
}

// Milliseconds of one start-up (databases, settings, pages, import and build of all three timeframes).
double startup(const QString& wd) {
    ScriptedDialogs d;
    FixedClock c(kEnd);
    NullProgress p;
    auto w = window(wd, d, c, p);
    QElapsedTimer t;
    t.start();
    w->FormActivate();
    const double ms = t.nsecsElapsed() / 1e6;
    if (!d.errors.isEmpty() || !w->startupDone()) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(d.errors.join("; ")));
        std::exit(1);
    }
    return ms;
}

// The floor: read the three quote files, keep the same lines the import keeps and insert as many
// rows into a memory table with one prepared statement in one transaction.
double floorMs(const QString& data, int scale) {
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "create table T (c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,c21)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into T values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    const struct { const char* file; int days; } files[] = {
        {"USDJPYM05.CSV", 40 * scale}, {"USDJPYM30.CSV", 200 * scale}, {"USDJPYH04.CSV", 200 * scale}};
    int cnt = 0;
    for (const auto& f : files) {
        const QString cutoff = kEnd.addDays(-f.days).toString("yyyy/MM/dd");
        for (const QString& line : textfile::readLines(data + "/" + f.file)) {
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
    return t.nsecsElapsed() / 1e6;
}

// What the 5-minute run presents to its network in each pass, read plainly from the training
// table: the imported rows with a close, 14 inputs and 3 targets each; the close target keeps
// the previous row's value where CV3 is 1 or more (also from the end of one pass into the next).
struct Patterns {
    int count = 0;
    std::vector<float> in, first, later;  // inputs; targets of the first and of later passes
};

Patterns trainingPatterns(TVelkorF& w) {
    Query q("patterns", &w.dm.csm,
            "select WEEK, SIN, COS, SLP13, SLP23, SLP33, M053, M203, M1H3, ATR2, RSI2, B0L3, B1L3, B4L3, "
            "CV3, HV2, HV3, LV2, LV3 from F02R05M where CV1 is not null and CNT <= (select max(CNT) - 4 from F02R05M) "
            "order by CNT");
    q.Open();
    Patterns p;
    p.count = q.RecordCount();
    float close = 0;
    for (std::vector<float>* t : {&p.first, &p.later}) {
        for (int r = 0; r < p.count; ++r) {
            if (t == &p.first)
                for (int k = 0; k < 14; ++k) p.in.push_back(float(q.ValueAt(r, k).asFloat()));
            const double cv3 = q.ValueAt(r, 14).asFloat();
            if (cv3 < 1) close = float(cv3);
            t->push_back(close);
            t->push_back(q.ValueAt(r, 15).asFloat() == 0 ? 0.0f : float(q.ValueAt(r, 16).asFloat()));
            t->push_back(q.ValueAt(r, 17).asFloat() == 0 ? 0.0f : float(q.ValueAt(r, 18).asFloat()));
        }
    }
    return p;
}

// A bare loop of fann_train over the run's patterns from contiguous arrays, on a network of the
// same shape, settings and initial weights (seed 1), so that only the run's own work differs.
double bareTraining(const Patterns& pt, int passes) {
    const unsigned layers[] = {14, 14, 14, 3};
    fann* ann = fann_create_standard_array(4, layers);
    std::srand(1);
    fann_randomize_weights(ann, -0.5f, 0.5f);
    fann_set_learning_rate(ann, 0.7f);
    fann_set_learning_momentum(ann, 0);
    fann_set_activation_steepness_hidden(ann, 0.5f);
    fann_set_activation_steepness_output(ann, 0.5f);
    fann_set_activation_function_hidden(ann, FANN_SIGMOID);
    fann_set_activation_function_output(ann, FANN_SIGMOID);
    fann_set_training_algorithm(ann, FANN_TRAIN_RPROP);
    std::vector<float> in = pt.in, first = pt.first, later = pt.later;
    QElapsedTimer t;
    t.start();
    for (int p = 0; p < passes; ++p) {
        float* out = p == 0 ? first.data() : later.data();
        for (int r = 0; r < pt.count; ++r) fann_train(ann, &in[size_t(r) * 14], &out[size_t(r) * 3]);
    }
    const double ms = t.nsecsElapsed() / 1e6;
    fann_destroy(ann);
    return ms;
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

long peakRssKb(const QString& wd, const QString& data) {
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(),
            {"--peak-rss-of", QCoreApplication::applicationDirPath() + "/velkor", "--batch", "--workdir", wd,
             "--data-dir", data, "--today", "2026-12-04"});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) return -1;
    return p.readAllStandardOutput().trimmed().toLong();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak-rss-of") == 0) return printPeakRssOf(argv + 2);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    QTemporaryDir dataDir;
    const QString data = dataDir.filePath("quotes");
    QProcess gen;
    gen.start(QCoreApplication::applicationDirPath() + "/velkor-sample",
              {"--out", data, "--end", kEnd.toString("yyyy-MM-dd"), "--days5", "170", "--days30", "810", "--days4h", "810"});
    if (!gen.waitForFinished(120000) || gen.exitCode() != 0) {
        std::fprintf(stderr, "velkor-sample failed\n");
        return 1;
    }

    QStringList failed;
    // Start-up at 1x, 2x and 4x the default bars, with the floor beside the 1x figure. The
    // scales take turns round by round, so a slow spell of the machine falls on all of them,
    // and the growth is the median of the rounds' own 4x/1x ratios.
    std::vector<std::unique_ptr<Workdir>> dirs;
    for (int s = 0; s < 3; ++s) {
        dirs.push_back(std::make_unique<Workdir>(data, 1 << s));
        startup(dirs.back()->dir.path());  // the first start also loads the catalog
    }
    std::vector<double> times[3], fl, growths;
    for (int r = 0; r < reps; ++r) {
        for (int s = 0; s < 3; ++s) times[s].push_back(startup(dirs[size_t(s)]->dir.path()));
        fl.push_back(floorMs(data, 1));
        growths.push_back(times[2].back() / times[0].back());
    }
    double start[3] = {};
    for (int s = 0; s < 3; ++s) {
        start[s] = median(times[s]);
        std::printf("startup %dx: %.1f ms\n", 1 << s, start[s]);
    }
    const double floor1 = median(fl);
    const double growth = median(growths);
    std::printf("startup goal: 1x %.1f ms <= 500 ms; 4x/1x %.2f <= 4.4\n", start[0], growth);
    if (start[0] > 500) failed << "startup";
    if (growth > 4.4) failed << "linear";
    std::printf("floor ratio: %.2f (floor %.1f ms; aim <= 5)\n", start[0] / floor1, floor1);

    // Training: the 5-minute run with 20 passes against a bare fann_train loop.
    {
        Workdir wd(data, 1);
        ScriptedDialogs d;
        FixedClock c(kEnd);
        NullProgress p;
        auto w = window(wd.dir.path(), d, c, p);
        w->FormActivate();
        // The start-up's files go to disk now: a run made later should not wait for them in
        // its own commit.
        ::sync();
        const Patterns patterns = trainingPatterns(*w);
        w->page(0).ln1E->setText("20");
        // Run and bare loop side by side, pair after pair: the median of the pairs' ratios
        // leaves out the machine's own ups and downs between pairs.
        std::vector<double> run, bare, ratios;
        for (int r = 0; r < std::max(7, reps); ++r) {
            QElapsedTimer t;
            t.start();
            w->iasi = 5;
            w->uq02YS();
            run.push_back(t.nsecsElapsed() / 1e6);
            bare.push_back(bareTraining(patterns, 20));
            ratios.push_back(run.back() / bare.back());
        }
        const double ratio = median(ratios);
        std::printf("training ratio: %.3f (run %.1f ms, bare fann_train loop %.1f ms, %d patterns x 20; goal <= 1.05)\n",
                    ratio, median(run), median(bare), patterns.count);
        if (ratio > 1.05) failed << "training";
    }

    // Peak resident memory of a batch start-up over default-size data.
    {
        Workdir wd(data, 1);
        const long kb = peakRssKb(wd.dir.path(), data);
        std::printf("peak memory: %.1f MB (goal <= 200 MB)\n", kb / 1024.0);
        if (kb < 0 || kb > 200 * 1024) failed << "memory";
    }

    failed << backtestBench(data);

    if (failed.isEmpty()) std::printf("bench: ok\n");
    else std::printf("bench: FAIL %s\n", qPrintable(failed.join(' ')));
    return failed.isEmpty() ? 0 : 1;
}
