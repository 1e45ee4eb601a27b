// velkor_bench's backtest figures: the throughput of two jobs against one on a backtest of
// eight 5-minute steps at the default passes and read days, and the share of a step's time
// spent outside training (the same backtest with no training pass against it).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>

namespace {
// Milliseconds of one backtest into `out`, or -1 when it failed.
double backtestMs(const QString& data, const QString& workDir, const QString& out, const QStringList& options) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    // The 5-minute bars of the day before the data's last, every 36th: 8 steps.
    p.start(QCoreApplication::applicationDirPath() + "/velkor",
            QStringList{"--batch", "--workdir", workDir, "--data-dir", data, "--out", out} + options +
                QStringList{"backtest", "5", "2026-12-03", "2026-12-03", "36"});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "backtest failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return double(t.elapsed());
}
}  // namespace

// Prints the backtest figures; returns the names of the goals missed.
QStringList backtestBench(const QString& data) {
    QTemporaryDir wd;  // no cini.txt: the default passes and read days
    const double one = backtestMs(data, wd.path(), wd.filePath("jobs1"), {"--jobs", "1"});
    const double two = backtestMs(data, wd.path(), wd.filePath("jobs2"), {"--jobs", "2"});
    const double untrained = backtestMs(data, wd.path(), wd.filePath("passes0"), {"--jobs", "1", "--passes", "0"});
    if (one < 0 || two < 0 || untrained < 0) return {"backtest"};
    const double ratio = one / two, share = untrained / one;
    std::printf("backtest throughput: %.2f (8 steps: %.1f s with --jobs 1, %.1f s with --jobs 2; goal >= 1.7)\n", ratio,
                one / 1000, two / 1000);
    std::printf("backtest outside training: %.1f %% of a step (8 steps with no pass %.1f s, at the default passes %.1f s; "
                "goal <= 25 %%)\n",
                100 * share, untrained / 1000, one / 1000);
    QStringList failed;
    if (ratio < 1.7) failed << "backtest-jobs";
    if (share > 0.25) failed << "backtest-share";
    return failed;
}
