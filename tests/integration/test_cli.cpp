// The program's command line: help and version, the JSON document, the chart PNG and the
// working directory's lock, each through the built binary.
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/Programs.h"

#include <set>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "window/batch/Batch.h"
#include "app/TextFile.h"
#include "db/Database.h"

namespace {
using Result = ProgramResult;


// A working directory with few training passes and a folder of short sample quote files.
struct Workdir {
    QTemporaryDir tmp;
    QString wd = tmp.filePath(QStringLiteral("wd"));
    QString quotes = tmp.filePath(QStringLiteral("quotes"));

    Workdir() {
        QDir().mkpath(wd);
        textfile::writeLines(wd + "/cini.txt", {"a,5,3", "b,20,3", "c,80,3"});
        const Result r = runProgram(kSample, {"--out", quotes, "--end", "2024-03-13", "--days5", "6", "--days30", "20", "--days4h", "80"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
    }
    // The batch options every run here starts with.
    QStringList batch(const QStringList& rest = {}) const {
        return QStringList{"--batch", "--workdir", wd, "--data-dir", quotes, "--today", "2024-03-13", "--seed", "7"} + rest;
    }
    QString file(const QString& name) const { return QDir(wd).filePath(name); }
};

QString text(const Result& r) { return "stdout:\n" + r.out + "\nstderr:\n" + r.err; }
}  // namespace

// Help and version need no display; the help names every command and option the program
// takes, and the three exit statuses.
TEST(CommandLine, HelpAndVersionWithoutADisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(v));
    const Result help = runProgram(kVelkor, {"--help"}, env);
    ASSERT_EQ(help.code, 0) << text(help).toStdString();
    EXPECT_EQ(help.out, batchHelp());
    const QStringList lines = help.out.split('\n');
    for (const QString& command : batchCommandNames())
        EXPECT_TRUE(lines.filter(QRegularExpression("^  " + command + "( |$)")).size() == 1) << command.toStdString();
    // Every option of the help is one the parser takes (with a value where the help shows one).
    const QRegularExpression option(QStringLiteral("^  (--[a-z-]+)(?: ([A-Za-z-]+))? "));
    const std::map<QString, QString> values{{"DIR", "/tmp"}, {"YYYY-MM-DD", "2024-01-05"}, {"N", "3"}, {"WxH", "640x480"},
                                            {"LANG", "en"}, {"ENGINE", "slurm"}, {"ARGS", "--time=30"},
                                            {"PATH", "/usr/bin/velkor"}, {"K", "2"}};
    int options = 0;
    for (const QString& l : lines) {
        const QRegularExpressionMatch m = option.match(l);
        if (!m.hasMatch() || m.captured(1) == "--help" || m.captured(1) == "--version") continue;
        ++options;
        QStringList args{"--batch", m.captured(1)};
        if (!m.captured(2).isEmpty()) args << values.at(m.captured(2));
        BatchOptions o;
        QString error;
        EXPECT_TRUE(parseOptions(args, o, error)) << l.toStdString() << ": " << error.toStdString();
    }
    EXPECT_EQ(options, 17);
    for (const char* status : {"  0  ", "  1  ", "  2  "})
        EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^") + status)).size(), 1) << status;

    const Result version = runProgram(kVelkor, {"--version"}, env);
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(QRegularExpression("^velkor [0-9]+\\.[0-9]+\\.[0-9]+\n$").match(version.out).hasMatch()) << version.out.toStdString();

    const Result bad = runProgram(kVelkor, {"--batch", "--size", "800"}, env);
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("--size wants WIDTHxHEIGHT") && bad.err.contains("velkor --help")) << bad.err.toStdString();
}

TEST(CommandLine, OptionsOfTheJsonAndChartRuns) {
    struct Case { QStringList args; bool ok; QSize size; };
    const Case cases[] = {
        {{"--batch"}, true, {1200, 800}},
        {{"--batch", "--size", "640x480"}, true, {640, 480}},
        {{"--batch", "--size", "16x8000"}, true, {16, 8000}},
        {{"--batch", "--size", "640"}, false, {}},
        {{"--batch", "--size", "0x480"}, false, {}},
        {{"--batch", "--size", "640x480x2"}, false, {}},
        {{"--batch", "--size", "9000x480"}, false, {}},
        {{"--batch", "--size"}, false, {}},
        {{"--batch", "--json", "stats"}, true, {1200, 800}},
        {{"--json"}, false, {}},
    };
    for (const Case& c : cases) {
        BatchOptions o;
        QString error;
        EXPECT_EQ(parseOptions(c.args, o, error), c.ok) << c.args.join(' ').toStdString();
        if (c.ok) EXPECT_EQ(o.chartSize, c.size) << c.args.join(' ').toStdString();
    }
}

// Under --json stdout carries one document and nothing else; the boxes' lines and the errors
// are on stderr.
TEST(CommandLine, JsonDocumentAloneOnStdout) {
    Workdir w;
    const Result r = runProgram(kVelkor, w.batch({"--json", "forecast", "5", "show", "5", "stats", "delete", "5", "show", "30"}));
    ASSERT_EQ(r.code, 0) << text(r).toStdString();
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &pe);
    ASSERT_EQ(pe.error, QJsonParseError::NoError) << pe.errorString().toStdString() << "\n" << r.out.toStdString();
    const QJsonObject o = doc.object();
    EXPECT_EQ(o.value("schema").toInt(), 1);
    EXPECT_EQ(o.value("status").toInt(), 0);
    const QJsonArray results = o.value("results").toArray();
    ASSERT_EQ(results.size(), 3);
    const QJsonObject show5 = results[0].toObject();
    EXPECT_EQ(show5.value("command").toString(), "show");
    EXPECT_EQ(show5.value("timeframe").toInt(), 5);
    EXPECT_EQ(show5.value("run").toObject().value("number").toInt(), 1);
    EXPECT_EQ(show5.value("run").toObject().value("passes").toInt(), 3);  // as cini.txt sets
    EXPECT_EQ(show5.value("periods").toArray().size(), 4);
    EXPECT_EQ(results[1].toObject().value("command").toString(), "stats");
    EXPECT_TRUE(results[2].toObject().value("run").isNull());
    EXPECT_TRUE(r.err.contains("message: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("confirm: ")) << r.err.toStdString();  // delete asks; without --yes: Cancel
    EXPECT_FALSE(r.out.contains("message: "));

    // A failed operation: status 1 in the document and the exit status, the error on stderr.
    const Result failed = runProgram(kVelkor, w.batch({"--json", "export", "999"}));
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(QJsonDocument::fromJson(failed.out.toUtf8()).object().value("status").toInt(), 1) << failed.out.toStdString();
    EXPECT_TRUE(failed.err.contains("error: ")) << failed.err.toStdString();
}

// The chart of the shown run as a PNG of the asked size (default 1200x800) that shows the
// forecast line; a timeframe without a run and a file that cannot be written are errors that
// name what is at fault and leave no file.
TEST(CommandLine, ChartWritesThePagesChartAsPng) {
    Workdir w;
    const Result r = runProgram(kVelkor, w.batch({"--size", "640x360", "forecast", "5", "chart", "5", "c5.png", "chart", "80", "c80.png",
                                           "chart", "5", "missing/c.png"}));
    EXPECT_EQ(r.code, 1) << text(r).toStdString();
    EXPECT_FALSE(QFileInfo::exists(w.file("c80.png")));
    EXPECT_TRUE(r.err.contains("FX予測検証 ﾁｬｰﾄ(4時間足)")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(w.file("missing/c.png"))) << r.err.toStdString();
    EXPECT_TRUE(QDir(w.wd).entryList({"*.png"}, QDir::Files) == QStringList{"c5.png"});

    const Result again = runProgram(kVelkor, w.batch({"chart", "5", "default.png"}));
    ASSERT_EQ(again.code, 0) << text(again).toStdString();
    for (const auto& [name, size] : {std::pair{QStringLiteral("c5.png"), QSize(640, 360)},
                                     std::pair{QStringLiteral("default.png"), QSize(1200, 800)}}) {
        QImage img(w.file(name));
        ASSERT_FALSE(img.isNull()) << name.toStdString();
        EXPECT_EQ(img.size(), size) << name.toStdString();
        // Not blank: the green forecast-close line, and text and lines in many shades.
        int green = 0;
        std::set<QRgb> colours;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.green() > 200 && c.red() < 80 && c.blue() < 80) ++green;
                colours.insert(c.rgb());
            }
        EXPECT_GT(green, size.width() / 4) << name.toStdString();
        EXPECT_GT(colours.size(), 50u) << name.toStdString();
    }
}

// A second batch run on a working directory waits, saying so, while the lock is held, and
// then runs; two runs started together both store their forecast, one after the other.
TEST(CommandLine, SecondBatchRunWaitsForTheFirst) {
    Workdir w;
    QLockFile held(w.file("velkor.lock"));
    ASSERT_TRUE(held.tryLock(0));
    QProcess p;
    p.start(kVelkor, w.batch({"forecast", "5"}));
    QString err;
    QElapsedTimer t;
    t.start();
    while (!err.contains("waiting: ") && p.state() != QProcess::NotRunning && t.elapsed() < 120000) {
        p.waitForReadyRead(1000);
        err += QString::fromUtf8(p.readAllStandardError());
    }
    ASSERT_TRUE(err.contains("waiting: ")) << err.toStdString();
    EXPECT_EQ(p.state(), QProcess::Running);
    EXPECT_FALSE(QFileInfo::exists(w.file("SQDB.DB")));  // nothing started while waiting
    held.unlock();
    ASSERT_TRUE(p.waitForFinished(240000));
    EXPECT_EQ(p.exitCode(), 0) << QString::fromUtf8(p.readAllStandardError()).toStdString();
    EXPECT_TRUE(QFileInfo::exists(w.file("SQDB.DB")));

    QProcess a, b;
    a.start(kVelkor, w.batch({"forecast", "5"}));
    b.start(kVelkor, w.batch({"forecast", "5"}));
    ASSERT_TRUE(a.waitForFinished(240000) && b.waitForFinished(240000));
    EXPECT_EQ(a.exitCode(), 0) << QString::fromUtf8(a.readAllStandardError()).toStdString();
    EXPECT_EQ(b.exitCode(), 0) << QString::fromUtf8(b.readAllStandardError()).toStdString();
    Connection db("t");
    db.setDatabase(w.file("SQDB.DB"));
    db.open();
    Query q("q", &db, "select HCNT, count(*) from F03VDT where TBID = 16 group by HCNT order by HCNT");
    q.Open();
    ASSERT_EQ(q.RecordCount(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(q.ValueAt(r, 0).asInteger(), r + 1);
        EXPECT_EQ(q.ValueAt(r, 1).asInteger(), 4);
    }
}

// A run killed while it holds the lock leaves the lock file behind; the next run takes it
// over instead of waiting for ever.
TEST(CommandLine, LockOfAKilledRunIsTakenOver) {
    Workdir w;
    textfile::writeLines(w.wd + "/cini.txt", {"a,5,100000", "b,20,3", "c,80,3"});  // a long training
    QProcess killed;
    killed.start(kVelkor, w.batch({"forecast", "5"}));
    QString out;
    while (!out.contains("message: ") && killed.state() != QProcess::NotRunning) {
        killed.waitForReadyRead(1000);
        out += QString::fromUtf8(killed.readAllStandardOutput());
    }
    ASSERT_EQ(killed.state(), QProcess::Running) << out.toStdString();
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(60000));
    ASSERT_TRUE(QFileInfo::exists(w.file("velkor.lock")));
    const Result next = runProgram(kVelkor, w.batch());
    EXPECT_EQ(next.code, 0) << text(next).toStdString();
    EXPECT_FALSE(next.err.contains("waiting: ")) << next.err.toStdString();
}

// A --data-dir folder without one of the quote files is named with the missing file: the
// 30-minute file ends the start-up, the 5-minute or 4-hour file fails its import.
TEST(CommandLine, AMissingQuoteFileIsNamedWithItsFolder) {
    for (const char* name : {"USDJPYM30.CSV", "USDJPYM05.CSV", "USDJPYH04.CSV"}) {
        SCOPED_TRACE(name);
        Workdir w;
        ASSERT_TRUE(QFile::remove(QDir(w.quotes).filePath(QString::fromLatin1(name))));
        const Result r = runProgram(kVelkor, w.batch({"show", "5"}));
        EXPECT_NE(r.code, 0) << text(r).toStdString();
        const QString missing = QLatin1String(name) == QLatin1String("USDJPYM30.CSV")
                                    ? QDir::cleanPath(w.quotes) + " に USDJPYM30.CSV がありません"
                                    : QDir(w.quotes).filePath(QString::fromLatin1(name));
        EXPECT_TRUE(r.err.contains("error: ") && r.err.contains(missing)) << text(r).toStdString() << "\n  lacks: " << missing.toStdString();
    }
}

namespace {
// Cuts the three quote files of `from` into `to` after their last line whose server date and
// time is not later than `at` ("yyyy/mm/dd hh:nn").
void cutQuotes(const QString& from, const QString& to, const QString& at) {
    QDir().mkpath(to);
    for (const char* name : {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"}) {
        const QStringList lines = textfile::readLines(QDir(from).filePath(QString::fromLatin1(name)));
        qsizetype keep = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QStringList f = lines[i].split(',');
            if (f.size() > 1 && f[0] + ' ' + f[1] <= at) keep = i + 1;
        }
        textfile::writeLines(QDir(to).filePath(QString::fromLatin1(name)), lines.mid(0, keep));
    }
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The one JSON document of a run's stdout (an empty object when there is none).
QJsonObject documentOf(const Result& r) {
    QJsonParseError e;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &e);
    EXPECT_EQ(e.error, QJsonParseError::NoError) << "stdout: " << r.out.toStdString();
    return doc.object();
}
}  // namespace

// A lock file no live process holds is taken over whatever it is (empty, any text, a dangling
// symbolic link, a link to /dev/null, which stays as it is); a name that cannot be a lock file
// (a folder, a FIFO) ends the run at once with exit status 1, naming it and why. None waits.
TEST(CommandLine, ALockFileNoLiveProcessHoldsIsTakenOverOrNamed) {
    Workdir w;
    const QString lock = w.file("velkor.lock");
    const QByteArray path = QFile::encodeName(lock);
    struct Case { const char* name; std::function<void()> make; int code; QString reason; };
    const Case cases[] = {
        {"empty", [&] { QFile f(lock); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }, 0, {}},
        {"a killed run's garbage", [&] { textfile::writeLines(lock, {"garbage", "x"}); }, 0, {}},
        {"a dangling link", [&] { ASSERT_EQ(::symlink("/nonexistent/velkor.lock", path.constData()), 0); }, 0, {}},
        {"a link to /dev/null", [&] { ASSERT_EQ(::symlink("/dev/null", path.constData()), 0); }, 0, {}},
        {"a folder", [&] { ASSERT_TRUE(QDir().mkpath(lock)); }, 1, QString::fromLocal8Bit(std::strerror(EISDIR))},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(path.constData(), 0644), 0); }, 1, "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(lock).removeRecursively();
        QFile::remove(lock);
        c.make();
        const Result r = runProgram(kVelkor, w.batch({"show", "5"}), QProcessEnvironment::systemEnvironment(), 60000);
        EXPECT_EQ(r.code, c.code) << text(r).toStdString();
        EXPECT_FALSE(r.err.contains("waiting: ")) << r.err.toStdString();
        if (c.code == 0) {
            EXPECT_FALSE(QFileInfo(lock).exists() || QFileInfo(lock).isSymLink()) << "left behind";
        } else {
            EXPECT_TRUE(r.err.contains("error: ") && r.err.contains(lock) && r.err.contains(c.reason)) << r.err.toStdString();
        }
    }
    struct stat null{};
    ASSERT_EQ(::stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));
    QFile::remove(lock);
}

// The chart command writes none of the program's own files, under any spelling of their
// names: each is refused with a message naming it, and the files stay as they were.
TEST(CommandLine, ChartRefusesTheProgramsOwnFiles) {
    Workdir w;
    ASSERT_EQ(runProgram(kVelkor, w.batch({"forecast", "5"})).code, 0);
    const QStringList own{"SQDB.DB", "config.txt", "cini.txt", "velkor.lock", "DATA/../SQDB.DB", w.file("cini.txt")};
    std::map<QString, QByteArray> before;
    for (const char* f : {"SQDB.DB", "config.txt", "cini.txt"}) before[f] = bytesOf(w.file(f));
    QStringList args;
    for (const QString& f : own) args << "chart" << "5" << f;
    const Result r = runProgram(kVelkor, w.batch(args));
    EXPECT_EQ(r.code, 1) << text(r).toStdString();
    EXPECT_EQ(r.err.count("このプログラム自身のファイルです"), own.size()) << r.err.toStdString();
    for (const auto& [f, bytes] : before) EXPECT_EQ(bytesOf(w.file(f)), bytes) << f.toStdString();
    EXPECT_FALSE(QFileInfo::exists(w.file("velkor.lock")));
}

// On a disk that takes no more bytes a chart PNG, the verification's rows and the lock file
// each end the run with exit status 1 and an error naming the file and the system's reason;
// the old chart stays, no verified row is stored, and nothing is left beside the files.
TEST(CommandLine, WritesTheDiskCannotTakeEndTheRunNamingTheFile) {
    Workdir w;
    // A run on the quotes up to noon of 2024-03-12, then the full quotes as its data folder.
    const QString early = w.tmp.filePath("early");
    cutQuotes(w.quotes, early, "2024/03/12 12:00");
    const QStringList start{"--batch", "--workdir", w.wd, "--data-dir", early, "--today", "2024-03-12", "--seed", "7"};
    ASSERT_EQ(runProgram(kVelkor, start + QStringList{"forecast", "5", "chart", "5", "c5.png"}).code, 0);
    textfile::writeLines(w.file("config.txt"), {w.quotes + "/"});
    const QString pending = "select count(*) from F03VDT where JGCL is null";
    const QString db = w.file("SQDB.DB");
    auto scalar = [&](const QString& sql) {
        Connection c("t");
        c.setDatabase(db);
        c.open();
        return queryInt(c, sql);
    };
    ASSERT_EQ(scalar(pending), 4);
    const QByteArray chart = bytesOf(w.file("c5.png"));

    const Result png = runProgram(kVelkor, w.batch({"--json", "chart", "5", "c5.png"}), fullDiskEnvironment({"c5.png"}));
    EXPECT_EQ(png.code, 1) << text(png).toStdString();
    EXPECT_EQ(documentOf(png).value("status").toInt(), 1);
    EXPECT_TRUE(png.err.contains(w.file("c5.png")) && tellsDiskFull(png.err)) << png.err.toStdString();
    EXPECT_EQ(bytesOf(w.file("c5.png")), chart);

    const Result verify = runProgram(kVelkor, w.batch({"--json", "verify"}), fullDiskEnvironment({"SQDB.DB"}));
    EXPECT_EQ(verify.code, 1) << text(verify).toStdString();
    EXPECT_EQ(documentOf(verify).value("status").toInt(), 1);
    EXPECT_TRUE(verify.err.contains(db) && tellsDiskFull(verify.err)) << verify.err.toStdString();
    EXPECT_EQ(scalar(pending), 4);

    const Result lock = runProgram(kVelkor, w.batch({"verify"}), fullDiskEnvironment({"velkor.lock"}));
    EXPECT_EQ(lock.code, 1) << text(lock).toStdString();
    EXPECT_TRUE(lock.err.contains(w.file("velkor.lock")) && tellsDiskFull(lock.err)) << lock.err.toStdString();
    EXPECT_EQ(scalar(pending), 4);

    QStringList left = QDir(w.wd).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    EXPECT_EQ(left, (QStringList{"SQDB.DB", "c5.png", "cini.txt", "config.txt"}));
    const Result ok = runProgram(kVelkor, w.batch({"verify"}));
    EXPECT_EQ(ok.code, 0) << text(ok).toStdString();
    EXPECT_EQ(scalar(pending), 0);
}

// Under --json every run prints one document, also one that ends in a usage error or before
// any command: its status, the error (null when there is none) and the results.
TEST(CommandLine, JsonRunsAlwaysPrintOneDocument) {
    Workdir w;
    struct Case { QStringList args; int status; const char* error; };
    const Case cases[] = {
        {w.batch({"--json", "stats"}), 0, nullptr},
        {w.batch({"--json", "show", "7"}), 2, "show wants one of 5|30|80, not 7"},
        {w.batch({"--json", "bogus"}), 2, "unknown command bogus"},
        {w.batch({"--json", "--bogus"}), 2, "unknown option --bogus"},
        {w.batch({"--json", "chart", "30"}), 2, "chart needs 2 arguments"},
        {w.batch({"--json", "--today", "2026-02-30"}), 2, "--today wants a date"},
        {w.batch({"--json", "--size", "0x0"}), 2, "--size wants WIDTHxHEIGHT"},
        {w.batch({"--json", "export", "999"}), 1, "F04CSV に CNT = 999 の行がありません"},
        {{"--batch", "--json", "--workdir", w.tmp.filePath("empty"), "stats"}, 2, "ﾃﾞｰﾀﾌｫﾙﾀﾞが選ばれなかった"},
        {w.batch({"--json", "backtest", "7", "2024-03-12", "2024-03-12"}), 2, "timeframe of 5|30|80, not 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r = runProgram(kVelkor, c.args);
        EXPECT_EQ(r.code, c.status) << text(r).toStdString();
        const QJsonObject doc = documentOf(r);
        EXPECT_EQ(doc.value("schema").toInt(), 1);
        EXPECT_EQ(doc.value("status").toInt(-1), c.status);
        EXPECT_TRUE(doc.value("results").isArray());
        if (c.error) EXPECT_TRUE(doc.value("error").toString().contains(QString::fromUtf8(c.error))) << r.out.toStdString();
        else EXPECT_TRUE(doc.value("error").isNull()) << r.out.toStdString();
    }
    // A backtest that fails after its arguments were taken: its folder's lock is a folder.
    const QString out = w.tmp.filePath("bt");
    QDir().mkpath(out + "/backtest.lock");
    const Result failed = runProgram(kVelkor, {"--batch", "--json", "--workdir", w.wd, "--data-dir", w.quotes, "--out", out,
                                               "backtest", "5", "2024-03-12", "2024-03-12", "72"});
    EXPECT_EQ(failed.code, 1) << text(failed).toStdString();
    EXPECT_EQ(documentOf(failed).value("status").toInt(), 1);
    EXPECT_TRUE(documentOf(failed).value("error").toString().contains(out + "/backtest.lock")) << failed.out.toStdString();
}

// Without --batch a usage error is told before the window is made, so it needs no display.
TEST(CommandLine, UsageErrorsOfTheWindowNeedNoDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(v));
    struct Case { QStringList args; const char* error; };
    const Case cases[] = {
        {{"verify"}, "commands need --batch"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"--json"}, "--json needs --batch"},
        {{"--out", "X", "backtest", "5", "2024-03-12", "2024-03-12"}, "commands need --batch"},
    };
    for (const Case& c : cases) {
        const Result r = runProgram(kVelkor, c.args, env);
        EXPECT_EQ(r.code, 2) << c.args.join(' ').toStdString() << "\n" << text(r).toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.error)) && r.err.contains("velkor --help")) << r.err.toStdString();
    }
}
