// The velkor-quotes program: exit status, messages and untouched output on errors, and the
// whole road from a MetaTrader export through the program's own import and training tables.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "QuotesTestSupport.h"

namespace {

struct Result {
    int code = -1;
    QString out, err;
};

Result run(const QString& program, const QStringList& args,
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

Result quotes(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    return run(QStringLiteral(VELKOR_QUOTES_EXE), args, env);
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const char* const kFiles[3] = {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"};

}  // namespace

TEST(QuotesProgram, ErrorsLeaveTheOutputAlone) {
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out"), good = tmp.filePath("good.csv"), bad = tmp.filePath("bad.csv");
    QDir().mkpath(out);
    for (const char* f : kFiles) write(out + '/' + f, "old\r\n");
    write(good, qtest::exportText(qtest::weekdayWalk(QDate(2024, 10, 7), 5), qtest::Form::MT4));
    write(bad, "2024.10.07,10:00,150.000,x,149.990,150.000\r\n2024.10.07,10:05,150.000\r\n");

    const struct {
        const char* what;
        QStringList args;
        int code;
        const char* message;
    } cases[] = {
        {"unknown zone", {"--out", out, "--source-tz", "Europe/Atlantis", "--server-tz", "UTC", good}, 1,
         "unknown time zone \"Europe/Atlantis\" (--source-tz)"},
        {"missing file", {"--out", out, good, tmp.filePath("none.csv")}, 1, "cannot read "},
        {"a folder as file", {"--out", out, tmp.path()}, 1, "cannot read "},
        {"no bar", {"--out", out, bad}, 1, "bad.csv:2: 3 fields where at least 6 are needed"},
        {"no --out", {good}, 2, "--out is missing"},
        {"no file", {"--out", out}, 2, "no input file given"},
        {"source zone alone", {"--out", out, "--source-tz", "UTC", good}, 2, "need --server-tz"},
        {"both local options",
         {"--out", out, "--server-tz=UTC", "--local-tz=Asia/Tokyo", "--local-offset-hours=9", good}, 2, "not both"},
        {"bad drop", {"--out", out, "--drop", "2024-10-07", good}, 2, "--drop \"2024-10-07\" is not a time"},
        {"bad gap", {"--out", out, "--max-gap-days", "-1", good}, 2, "--max-gap-days \"-1\""},
        {"unknown option", {"--out", out, "--fast", good}, 2, "unknown option \"--fast\""},
    };
    for (const auto& c : cases) {
        const Result r = quotes(c.args);
        EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.message))) << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << c.what;
        for (const char* f : kFiles) EXPECT_EQ(read(out + '/' + f), "old\r\n") << c.what << " " << f;
        EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 3) << c.what;  // nothing left beside them
    }
    // The "no bar" case names the unreadable lines first, then the reason it stops.
    const Result r = quotes({"--out", out, bad});
    EXPECT_TRUE(r.err.contains("bad.csv:1: high \"x\" is not a price"));
    EXPECT_TRUE(r.err.endsWith("velkor-quotes: no bar could be read from the input files\n"));

    const Result ok = quotes({"--out", out, good});
    EXPECT_EQ(ok.code, 0) << ok.err.toStdString();
    EXPECT_TRUE(ok.out.contains("USDJPYM05.CSV: 1153 lines, 2024/10/07 23:55 to 2024/10/11 23:55"));
    EXPECT_TRUE(read(out + "/USDJPYH04.CSV").startsWith("2024/10/10,04:00,"));
}

// Three weeks of 5-minute bars exported by MetaTrader 4 go through velkor-quotes and then
// through the program's start-up: every line is imported and the training tables are built.
TEST(QuotesProgram, ExportImportsIntoTheProgram) {
    QTemporaryDir tmp;
    const QString src = tmp.filePath("USDJPY5.csv"), data = tmp.filePath("data"), wd = tmp.filePath("wd");
    write(src, qtest::exportText(qtest::weekdayWalk(QDate(2024, 9, 30), 19, 5, 3), qtest::Form::MT4));
    const Result conv = quotes({"--out", data, "--local-offset-hours", "9", src});
    ASSERT_EQ(conv.code, 0) << conv.err.toStdString();
    EXPECT_TRUE(conv.err.isEmpty()) << conv.err.toStdString();

    QDir().mkpath(wd);
    const Result app = run(QStringLiteral(VELKOR_EXE),
                           {"--batch", "--workdir", wd, "--data-dir", data, "--today", "2024-10-19"});
    ASSERT_EQ(app.code, 0) << app.out.toStdString() << app.err.toStdString();
    EXPECT_FALSE(app.err.contains("error:")) << app.err.toStdString();
    const QStringList messages = app.out.split('\n').filter(QRegularExpression("^message: "));
    ASSERT_EQ(messages.size(), 7) << app.out.toStdString();  // the catalog, then notice and count per file
    const int periods[3] = {4, 3, 2};
    const char* const tables[3] = {"TS05M.CSV", "TS30M.CSV", "TS4H.CSV"};
    for (int t = 0; t < 3; ++t) {
        const qsizetype bars = read(data + '/' + kFiles[t]).count('\n');
        // The count shown is one more than the rows written, the coming bars' rows included.
        EXPECT_EQ(messages[2 + 2 * t], QStringLiteral("message: %1 件読込").arg(bars + periods[t] + 1)) << kFiles[t];
        // One training row per quote row, then two statistics lines.
        EXPECT_EQ(read(wd + "/DATA/CSV/" + tables[t]).count('\n'), bars + periods[t] + 2) << tables[t];
    }
}

// Zone names are IANA names (or Qt's UTC offsets): a name the zone database lacks is an error
// for every zone option, although Qt makes a zone at UTC of it.
TEST(QuotesProgram, UnknownZoneNamesAreErrors) {
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out"), good = tmp.filePath("good.csv");
    write(good, qtest::exportText(qtest::weekdayWalk(QDate(2024, 10, 7), 5), qtest::Form::MT4));
    for (const char* name : {"Tokyo", "JST", "Athens", "XYZ", "UTC+9", "../zoneinfo/UTC", "/usr/share/zoneinfo/UTC"})
        for (const char* option : {"--source-tz", "--server-tz", "--local-tz"}) {
            QStringList args{"--out", out, option, name};
            if (qstrcmp(option, "--server-tz") == 0)
                args << "--local-tz" << "Asia/Tokyo";
            else
                args << "--server-tz" << "Europe/Athens";
            const Result r = quotes(args << good);
            EXPECT_EQ(r.code, 1) << name << " " << option;
            EXPECT_TRUE(r.err.contains(QStringLiteral("unknown time zone \"%1\" (%2)").arg(name, option)))
                << name << " " << option << ": " << r.err.toStdString();
        }
    EXPECT_FALSE(QDir(out).exists());
    // Links of the database that Qt does not list are zones all the same.
    for (const char* name : {"Etc/GMT+5", "Japan", "UTC", "UTC+09:00", "America/New_York"}) {
        const Result r = quotes({"--out", out, "--server-tz", "Europe/Athens", "--local-tz", name, good});
        EXPECT_EQ(r.code, 0) << name << ": " << r.err.toStdString();
    }
}

// A disk that fills while the files are written: the run fails naming the file and the
// system's reason, and every old file stays as it was, also when the file is small enough to
// sit in a write buffer until it is committed, and when only the sync to the disk fails.
TEST(QuotesProgram, AFullDiskFailsTheRunAndKeepsTheOldFiles) {
    QTemporaryDir tmp;
    const QString out = QDir(tmp.path()).canonicalPath() + "/out", good = tmp.filePath("good.csv");
    write(good, qtest::exportText(qtest::weekdayWalk(QDate(2024, 10, 7), 5), qtest::Form::MT4));
    ASSERT_EQ(quotes({"--out", out, good}).code, 0);
    qint64 sizes[3];
    for (int t = 0; t < 3; ++t) sizes[t] = QFileInfo(out + '/' + kFiles[t]).size();  // written in this order
    ASSERT_LT(sizes[2], 16384);  // inside the write buffer: only the commit writes it
    const struct {
        const char* what;
        int file;     // the one the disk is full on
        qint64 room;  // bytes free on the disk
        const char* at;  // "sync": the sync fails instead
    } cases[] = {
        {"no room for the 4-hour file", 2, sizes[0] + sizes[1], ""},
        {"4-hour file cut", 2, sizes[0] + sizes[1] + 1000, ""},
        {"5-minute file cut", 0, sizes[0] / 2, ""},
        {"the sync fails", 0, 0, "sync"},
    };
    for (const auto& c : cases) {
        for (const char* f : kFiles) write(out + '/' + f, "old\r\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", VELKOR_FULL_DISK_LIB);
        env.insert("VELKOR_FULL_DISK_DIR", out);
        env.insert("VELKOR_FULL_DISK_ROOM", QString::number(c.room));
        env.insert("VELKOR_FULL_DISK_AT", c.at);
        // A sanitized build tolerates a library loaded before its runtime.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        const Result r = quotes({"--out", out, good}, env);
        EXPECT_EQ(r.code, 1) << c.what << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("cannot write %1: No space left on device")
                                       .arg(QDir::toNativeSeparators(out + '/' + kFiles[c.file]))))
            << c.what << ": " << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("written to")) << c.what;
        for (const char* f : kFiles) EXPECT_EQ(read(out + '/' + f), "old\r\n") << c.what << " " << f;
        EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 3) << c.what;  // no temporary file left
    }
}
