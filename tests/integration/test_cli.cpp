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
