// The backtest command through the program itself on velkor-sample data: every step stores
// what a live run made by hand on the cut quote files stores; the number of jobs and an
// interruption change nothing; bad input is refused with nothing written.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/Backtests.h"
#include <cerrno>
#include <cstring>
#include <functional>

#include "support/Programs.h"

#include "app/TextFile.h"

namespace {
using Result = ProgramResult;

// Every file in a folder with its bytes (the lock file aside).
std::map<QString, QByteArray> folder(const QString& dir) {
    std::map<QString, QByteArray> files;
    for (const QString& f : QDir(dir).entryList(QDir::Files | QDir::Hidden)) files[f] = bytes(dir + "/" + f);
    return files;
}

class Backtest : public ::testing::Test {
protected:
    static inline QTemporaryDir* tmp = nullptr;
    static inline QString wd, quotes, reference;

    static void SetUpTestSuite() {
        tmp = new QTemporaryDir;
        wd = tmp->filePath("wd");
        quotes = tmp->filePath("quotes");
        QDir().mkpath(wd);
        textfile::writeLines(wd + "/cini.txt", {"a,3,3", "b,20,3", "c,80,3"});
        ASSERT_EQ(runProgram(kSample, {"--out", quotes, "--end", "2024-03-13", "--days5", "6", "--days30", "20", "--days4h", "80"}).code, 0);
        // Four steps: the 5-minute bars of 2024-03-12 at 00:00, 06:00, 12:00 and 18:00.
        const Result r = runProgram(kVelkor, args("ref", {"--jobs", "2"}));
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        reference = tmp->filePath("ref");
    }
    static void TearDownTestSuite() { delete tmp; }

    static QStringList args(const QString& out, const QStringList& more = {}) {
        return QStringList{"--batch", "--workdir", wd, "--data-dir", quotes, "--seed", "5", "--out", tmp->filePath(out)} +
               more + QStringList{"backtest", "5", "2024-03-12", "2024-03-12", "72"};
    }
    static void expectSameResult(const QString& dir) { expectSameBacktest(dir, reference); }
};

// Cuts a quote file after its last line whose server date and time is not later than `at`.
void cut(const QString& from, const QString& to, const QString& at) {
    const QStringList lines = textfile::readLines(from);
    qsizetype keep = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringList f = lines[i].split(',');
        if (f.size() > 1 && f[0] + ' ' + f[1] <= at) keep = i + 1;
    }
    textfile::writeLines(to, lines.mid(0, keep));
}
}  // namespace

// Steps 1 and 3 by hand: the cut files, a forecast run on them with the same settings, today
// and seed, then a verification against the full files. Their rows equal the backtest's.
TEST_F(Backtest, StepsEqualLiveRunsMadeByHand) {
    const QStringList headers = rowsOf(reference + "/SQDB.DB", kHeaders);
    const QStringList details = rowsOf(reference + "/SQDB.DB", kDetails);
    ASSERT_EQ(headers.size(), 4);
    ASSERT_EQ(details.size(), 16);
    const char* bases[] = {"2024/03/12 00:00", "2024/03/12 12:00"};
    for (int s = 0; s < 2; ++s) {
        const int step = s * 2;  // steps 1 and 3
        const QString hand = tmp->filePath(QString("hand%1").arg(step + 1)), data = hand + "/data";
        QDir().mkpath(data);
        for (const char* f : {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"}) cut(quotes + "/" + f, data + "/" + f, bases[s]);
        QFile::copy(wd + "/cini.txt", hand + "/cini.txt");
        const Result live = runProgram(kVelkor, {"--batch", "--workdir", hand, "--data-dir", data, "--today", "2024-03-12",
                                          "--seed", "5", "forecast", "5"});
        ASSERT_EQ(live.code, 0) << live.err.toStdString();
        textfile::writeLines(hand + "/config.txt", {quotes + "/"});
        ASSERT_EQ(runProgram(kVelkor, {"--batch", "--workdir", hand, "--today", "2024-03-12", "verify"}).code, 0);
        EXPECT_EQ(rowsOf(hand + "/SQDB.DB", kHeaders), headers.mid(step, 1));
        EXPECT_EQ(rowsOf(hand + "/SQDB.DB", kDetails), details.mid(step * 4, 4));
    }
    // Runs numbered in base-bar order, details after their header, every period verified.
    EXPECT_EQ(rowsOf(reference + "/SQDB.DB", "select CNT, DT, HM from F03V05H order by CNT"),
              (QStringList{"1|2024/03/12|07:00", "2|2024/03/12|13:00", "3|2024/03/12|19:00", "4|2024/03/13|01:00"}));
    EXPECT_EQ(rowsOf(reference + "/SQDB.DB", "select group_concat(CNT) from F03VDT group by HCNT order by HCNT"),
              (QStringList{"1,2,3,4", "5,6,7,8", "9,10,11,12", "13,14,15,16"}));
    EXPECT_EQ(rowsOf(reference + "/SQDB.DB", "select count(*) from F03VDT where RST is null"), QStringList{"0"});
    // The working directory itself is untouched.
    EXPECT_FALSE(QFile::exists(wd + "/SQDB.DB"));
    EXPECT_FALSE(QFile::exists(wd + "/config.txt"));
}

// The report: its shape, and figures that agree with the stored rows.
TEST_F(Backtest, ReportFilesAgreeWithTheStoredRuns) {
    const QJsonObject doc = QJsonDocument::fromJson(bytes(reference + "/report.json")).object();
    EXPECT_EQ(doc["schema"].toInt(), 2);  // schema 1 and the evaluation
    EXPECT_EQ(doc["timeframe"].toInt(), 5);
    EXPECT_EQ(doc["from"].toString(), "2024-03-12");
    EXPECT_EQ(doc["every"].toInt(), 72);
    EXPECT_EQ(doc["seed"].toInt(), 5);
    EXPECT_EQ(doc["passes"].toInt(), 3);
    EXPECT_EQ(doc["read_days"].toInt(), 3);
    EXPECT_EQ(doc["steps"].toInt(), 4);
    EXPECT_EQ(doc["pending"].toInt(), 0);
    const QJsonArray periods = doc["periods"].toArray();
    ASSERT_EQ(periods.size(), 4);
    for (int p = 1; p <= 4; ++p) {
        const QJsonObject o = periods[p - 1].toObject();
        const QString where = QString(" from F03VDT where YKNO = %1").arg(p);
        const int hits = rowsOf(reference + "/SQDB.DB", "select count(*)" + where + " and RST = 1")[0].toInt();
        EXPECT_EQ(o["period"].toInt(), p);
        EXPECT_EQ(o["n"].toInt(), 4);
        EXPECT_EQ(o["hits"].toInt(), hits);
        EXPECT_EQ(o["misses"].toInt(), 4 - hits);
        EXPECT_DOUBLE_EQ(o["hit_rate"].toDouble(), hits / 4.0);
        EXPECT_EQ(o["wilson95"].toArray().size(), 2);
        EXPECT_TRUE(o["p_value"].isDouble());
        for (const char* k : {"hits", "hit_rate", "p_value"}) EXPECT_TRUE(o["persistence"].toObject().contains(k)) << k;
        EXPECT_TRUE(o["pt"].toObject().contains("statistic"));
        const int ups = rowsOf(reference + "/SQDB.DB", "select count(*)" + where + " and SG < 0")[0].toInt();
        EXPECT_DOUBLE_EQ(o["up_share"].toDouble(), ups / 4.0);
    }
    const QStringList csv = textfile::readLines(reference + "/report.csv");
    ASSERT_EQ(csv.size(), 5);
    EXPECT_TRUE(csv[1].startsWith("5,2024-03-12,2024-03-12,72,5,3,3,4,0,1,4,")) << csv[1].toStdString();
    EXPECT_TRUE(bytes(reference + "/report.png").startsWith("\x89PNG"));
}

// Run with one job the backtest gives the same files; interrupted after its second step and
// run again, it does only the rest and ends the same.
TEST_F(Backtest, OneJobAndAnInterruptionChangeNothing) {
    const Result one = runProgram(kVelkor, args("one", {"--jobs", "1"}));
    ASSERT_EQ(one.code, 0) << one.err.toStdString();
    expectSameResult(tmp->filePath("one"));
    const QStringList progress = one.err.split('\n').filter("backtest 5: step ");
    ASSERT_EQ(progress.size(), 4) << one.err.toStdString();
    EXPECT_TRUE(QRegularExpression("^backtest 5: step 3/4 2024/03/12 12:00 elapsed \\d\\d:\\d\\d, about \\d\\d:\\d\\d left$")
                    .match(progress[2]).hasMatch()) << progress[2].toStdString();

    QProcess p;
    p.start(kVelkor, args("cut", {"--jobs", "1"}));
    QString err;
    while (!err.contains("step 2/4") && p.waitForReadyRead(60000)) err += QString::fromUtf8(p.readAllStandardError());
    p.kill();  // in step 3, or storing it, or verifying
    p.waitForFinished();
    ASSERT_TRUE(err.contains("step 2/4")) << err.toStdString();
    const QString cutDir = tmp->filePath("cut");
    EXPECT_GE(rowsOf(cutDir + "/SQDB.DB", "select count(*) from F03V05H")[0].toInt(), 2);
    const Result resumed = runProgram(kVelkor, args("cut", {"--jobs", "2"}));
    ASSERT_EQ(resumed.code, 0) << resumed.err.toStdString();
    expectSameResult(cutDir);
    EXPECT_FALSE(QFile::exists(cutDir + "/.steps"));
}

// A step that fails ends the backtest with exit status 1 and is named; the steps before it
// stay stored. Here a 5-minute bar between the second and the third base bar has an ATR
// that is no number, so the runs of steps 3 and 4 (running side by side) refuse to forecast.
TEST_F(Backtest, AFailedStepKeepsTheStepsBeforeIt) {
    const QString bad = tmp->filePath("bad-quotes");
    QDir().mkpath(bad);
    for (const char* f : {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"})
        ASSERT_TRUE(QFile::copy(quotes + "/" + f, bad + "/" + f));
    QStringList lines = textfile::readLines(bad + "/USDJPYM05.CSV");
    const qsizetype at = lines.indexOf(QRegularExpression("^2024/03/12,09:00,.*"));
    ASSERT_GE(at, 0);
    QStringList fields = lines[at].split(',');
    fields[10] = "x";
    lines[at] = fields.join(',');
    textfile::writeLines(bad + "/USDJPYM05.CSV", lines);

    const QString out = tmp->filePath("failed");
    const Result r = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", bad, "--seed", "5", "--out", out, "--jobs", "2",
                                          "backtest", "5", "2024-03-12", "2024-03-12", "72"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("step 3 (base bar 2024/03/12 12:00) failed")) << r.err.toStdString();
    EXPECT_EQ(r.err.count("backtest 5: step "), 2) << r.err.toStdString();
    EXPECT_EQ(rowsOf(out + "/SQDB.DB", kHeaders), rowsOf(reference + "/SQDB.DB", kHeaders).mid(0, 2));
}

// Periods without a bar yet stay pending: the 4-hour bars of the last day, the last of which
// has no period verified and the one before it one.
TEST_F(Backtest, PeriodsWithoutBarsArePending) {
    const Result r = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", quotes, "--json", "--out", tmp->filePath("h4"),
                                   "backtest", "80", "2024-03-13", "2024-03-13"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(doc["steps"].toInt(), 6);
    EXPECT_EQ(doc["pending"].toInt(), 3);
    const QJsonArray periods = doc["periods"].toArray();
    ASSERT_EQ(periods.size(), 2);
    EXPECT_EQ(periods[0].toObject()["n"].toInt(), 5);
    EXPECT_EQ(periods[1].toObject()["n"].toInt(), 4);
    EXPECT_EQ(r.out.toUtf8(), bytes(tmp->filePath("h4/report.json")));
}

// Bad input: a clear message, exit status 2, and nothing written.
TEST_F(Backtest, BadInputIsRefusedWithNothingWritten) {
    struct Case { QStringList words, options; const char* message; };
    const Case cases[] = {
        {{"7", "2024-03-12", "2024-03-12"}, {}, "timeframe of 5|30|80, not 7"},
        {{"5", "2024-03-13", "2024-03-12"}, {}, "FROM 2024-03-13 lies after TO 2024-03-12"},
        {{"5", "2024-03-32", "2024-03-12"}, {}, "dates YYYY-MM-DD, not 2024-03-32"},
        {{"5", "2023-01-01", "2023-01-31"}, {}, "no bar of"},
        {{"5", "2024-03-12", "2024-03-12", "0"}, {}, "EVERY as a whole number of 1 or more, not 0"},
        {{"5", "2024-03-12", "2024-03-12"}, {"--jobs", "0"}, "--jobs wants a whole number of 1 or more, not 0"},
        {{"5", "2024-03-12", "2024-03-12"}, {"--today", "2024-03-12"}, "--today does not go with backtest"},
        {{"5", "2024-03-12", "2024-03-12"}, {"--out", wd}, "is not empty and holds no backtest"},
        {{"5", "2024-03-12", "2024-03-12"}, {"--out", wd + "/cini.txt"}, "cini.txt is not a folder"},
        {{"5", "2024-03-12", "2024-03-12", "+4"}, {}, "EVERY as a whole number of 1 or more, not +4"},
        {{"5", "2024-03-12", "2024-03-12"}, {"--days", "0"}, "--days wants a whole number of 1 or more, not 0"},
        {{"5", "2024-03-12", "2024-03-12"}, {"--jobs", "+2"}, "--jobs wants a whole number of 1 or more, not +2"},
        // 48 bars a day: no 30-minute bar has the 200 bars of its range window in one read day.
        {{"30", "2024-03-12", "2024-03-12"}, {"--days", "1"}, "202 bars before it in its 1 read days"},
    };
    const QString out = tmp->filePath("bad");
    for (const Case& c : cases) {
        QStringList a{"--batch", "--workdir", wd, "--data-dir", quotes};
        if (!c.options.contains("--out")) a << "--out" << out;
        const Result r = runProgram(kVelkor, a + c.options + QStringList{"backtest"} + c.words);
        EXPECT_EQ(r.code, 2) << c.message;
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << c.message;
    }
    EXPECT_FALSE(QFile::exists(wd + "/SQDB.DB"));

    // The reference folder asked for another backtest (another seed): refused, untouched.
    const auto before = folder(reference);
    const Result other = runProgram(kVelkor, QStringList{"--batch", "--workdir", wd, "--data-dir", quotes, "--seed", "6", "--out",
                                                  reference, "backtest", "5", "2024-03-12", "2024-03-12", "72"});
    EXPECT_EQ(other.code, 2);
    EXPECT_TRUE(other.err.contains("holds another backtest")) << other.err.toStdString();
    EXPECT_EQ(folder(reference), before);
}

// The backtest's folder is an ordinary working directory: "evaluate" over its live record
// judges the same forecasts on the same base bars as the backtest's report did, and writes
// the same report files. No verified forecast is exit status 1 with nothing written; a
// timeframe other than 5, 30 or 80 a usage error. The texts follow --lang and the locale.
TEST_F(Backtest, EvaluateOverItsFolderJudgesTheSame) {
    const QString dir = tmp->filePath("evaluated");
    QDir().mkpath(dir);
    for (const char* f : {"SQDB.DB", "config.txt", "cini.txt"}) ASSERT_TRUE(QFile::copy(reference + "/" + f, dir + "/" + f));
    const Result r = runProgram(kVelkor, {"--batch", "--workdir", dir, "--today", "2024-03-13", "--lang", "en", "--json", "evaluate", "5"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject result = QJsonDocument::fromJson(r.out.toUtf8()).object()["results"].toArray()[0].toObject();
    EXPECT_EQ(result["command"].toString(), "evaluate");
    EXPECT_EQ(result["folder"].toString(), dir + "/evaluation-5-20240313");
    const QJsonObject live = QJsonDocument::fromJson(bytes(dir + "/evaluation-5-20240313/report.json")).object();
    EXPECT_EQ(live["source"].toString(), "live");
    const QJsonArray want = QJsonDocument::fromJson(bytes(reference + "/report.json")).object()["periods"].toArray();
    const QJsonArray got = live["periods"].toArray();
    ASSERT_EQ(got.size(), want.size());
    for (int p = 0; p < got.size(); ++p)
        for (const char* k : {"n", "hits", "persistence", "up_share", "effective_n", "p_value_overlap", "wilson95_overlap",
                              "p_value_holm", "random_walk", "baselines"})
            EXPECT_EQ(got[p].toObject()[k], want[p].toObject()[k]) << p << " " << k;
    EXPECT_TRUE(QFile::exists(dir + "/evaluation-5-20240313/report.png"));
    EXPECT_EQ(textfile::readLines(dir + "/evaluation-5-20240313/report.csv").size(), 5);

    // The table in Japanese where the locale names nothing.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) env.remove(v);
    const Result ja = runProgram(kVelkor, {"--batch", "--workdir", dir, "--out", "ja", "evaluate", "5"}, env);
    ASSERT_EQ(ja.code, 0) << ja.err.toStdString();
    EXPECT_TRUE(ja.out.contains(QString::fromUtf8("判定:"))) << ja.out.toStdString();
    EXPECT_TRUE(ja.out.contains(QString::fromUtf8("5分足: ")));
    EXPECT_TRUE(ja.out.contains(dir + "/ja/report.{csv,json,png}"));
    env.insert("LANG", "C");
    const Result en = runProgram(kVelkor, {"--batch", "--workdir", dir, "--out", "en", "evaluate", "5"}, env);
    EXPECT_TRUE(en.out.contains("Verdict:")) << en.out.toStdString();

    const QString empty = tmp->filePath("no-runs");
    const Result none = runProgram(kVelkor, {"--batch", "--workdir", empty, "--data-dir", quotes, "--lang", "en", "evaluate", "30"});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains("holds no verified forecast; nothing to evaluate")) << none.err.toStdString();
    EXPECT_FALSE(QDir(empty).entryList({"evaluation-*"}, QDir::Dirs).size() > 0);
    const Result bad = runProgram(kVelkor, {"--batch", "--workdir", empty, "evaluate", "7"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains("evaluate wants one of 5|30|80, not 7")) << bad.err.toStdString();
}

namespace {
// A copy of the files of a finished backtest's folder.
QString copyOf(const QString& dir, const QString& to) {
    QDir().mkpath(to);
    for (const QString& f : QDir(dir).entryList(QDir::Files | QDir::Hidden)) EXPECT_TRUE(QFile::copy(dir + "/" + f, to + "/" + f));
    return to;
}
void execOn(const QString& db, const QString& sql) {
    Connection c("t");
    c.setDatabase(db);
    c.open();
    execOrThrow(c, sql);
}
QJsonObject jsonOf(const QString& path) { return QJsonDocument::fromJson(bytes(path)).object(); }
void writeJson(const QString& path, const QJsonObject& o) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(o).toJson());
}
}  // namespace

// A resume first checks what it resumes: runs missing, out of place or without their detail
// rows, a damaged database and quote data of the range that changed are refused with what
// differs (exit status 2), the folder untouched; the same data in another folder of the same
// name resumes; a backtest.json of the version before, without the data's digest, resumes and
// gets it.
TEST_F(Backtest, AResumeChecksTheStoredRunsAndTheirData) {
    struct Case { const char* name; std::function<void(const QString&)> spoil; const char* message; };
    const Case cases[] = {
        {"a run deleted", [](const QString& d) { execOn(d + "/SQDB.DB", "delete from F03V05H where CNT = 2"); },
         "its run 3, stored as step 2, is of the base bar 2024/03/12 19:00 (local time), not of 2024/03/12 13:00"},
        {"a run's details deleted", [](const QString& d) { execOn(d + "/SQDB.DB", "delete from F03VDT where HCNT = 3"); },
         "its run 3 (step 3) lacks detail rows of its 4 forecast periods"},
        {"a damaged database",
         [](const QString& d) {
             QFile f(d + "/SQDB.DB");
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             f.seek(4096);
             f.write(QByteArray(8192, '\x5a'));
         },
         "SQDB.DB: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString dir = copyOf(reference, tmp->filePath(QString("spoilt-%1").arg(&c - cases)));
        c.spoil(dir);
        const auto before = folder(dir);
        const Result r = runProgram(kVelkor, args(QDir(tmp->path()).relativeFilePath(dir)));
        EXPECT_EQ(r.code, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(dir + " cannot be resumed: ") && r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_EQ(folder(dir), before);
    }

    // The same quote data in another folder: resumed, nothing to do. Then a close of the range
    // edited there: refused.
    const QString data = tmp->filePath("same-quotes");
    QDir().mkpath(data);
    for (const char* f : {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"}) ASSERT_TRUE(QFile::copy(quotes + "/" + f, data + "/" + f));
    const QString moved = copyOf(reference, tmp->filePath("moved"));
    QJsonObject id = jsonOf(moved + "/backtest.json");
    ASSERT_TRUE(id.contains("quote_sha256"));
    id["data"] = data + "/";
    writeJson(moved + "/backtest.json", id);
    const QStringList movedArgs{"--batch", "--workdir", wd, "--data-dir", data, "--seed", "5", "--out", moved,
                                "backtest", "5", "2024-03-12", "2024-03-12", "72"};
    const Result same = runProgram(kVelkor, movedArgs);
    ASSERT_EQ(same.code, 0) << same.err.toStdString();
    EXPECT_EQ(bytes(moved + "/report.json"), bytes(reference + "/report.json"));
    QStringList lines = textfile::readLines(data + "/USDJPYM05.CSV");
    const qsizetype at = lines.indexOf(QRegularExpression("^2024/03/12,15:00,.*"));
    ASSERT_GE(at, 0);
    QStringList fields = lines[at].split(',');
    fields[4] = QString::number(fields[4].toDouble() + 0.5, 'f', 3);
    lines[at] = fields.join(',');
    textfile::writeLines(data + "/USDJPYM05.CSV", lines);
    const auto before = folder(moved);
    const Result edited = runProgram(kVelkor, movedArgs);
    EXPECT_EQ(edited.code, 2) << edited.err.toStdString();
    EXPECT_TRUE(edited.err.contains(data + "/USDJPYM05.CSV from 2024-03-12 to 2024-03-12 are not those its runs were made from"))
        << edited.err.toStdString();
    EXPECT_EQ(folder(moved), before);

    // Written by the version before: no digest. Resumed, and the digest is added.
    const QString old = copyOf(reference, tmp->filePath("old"));
    id = jsonOf(old + "/backtest.json");
    id.remove("quote_sha256");
    writeJson(old + "/backtest.json", id);
    const Result resumed = runProgram(kVelkor, args("old"));
    ASSERT_EQ(resumed.code, 0) << resumed.err.toStdString();
    expectSameResult(old);
}

// A backtest starting on the data's first day starts at the first base bar that has its range
// window of bars before it (the ones before are told and left out), not with a failed step.
TEST_F(Backtest, StartsAtTheFirstBarWithAFullRangeWindow) {
    const QString data = tmp->filePath("short-quotes");  // the three files from one day on
    ASSERT_EQ(runProgram(kSample, {"--out", data, "--end", "2024-03-13", "--days5", "12", "--days30", "12", "--days4h", "12"}).code, 0);
    const QStringList lines = textfile::readLines(data + "/USDJPYM30.CSV");
    ASSERT_GT(lines.size(), 240);
    const QString firstDay = lines[0].left(10);
    ASSERT_TRUE(textfile::readLines(data + "/USDJPYM05.CSV").value(0).startsWith(firstDay));
    const QStringList first = lines[202].split(',');  // the window of 200 bars and 3 periods, the base bar counted
    const Result r = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", data, "--out", tmp->filePath("first-day"),
                                          "--jobs", "2", "backtest", "30", QString(firstDay).replace('/', '-'),
                                          QString(first[0]).replace('/', '-'), "24"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("backtest 30: 202 bars from " + lines[0].left(16).replace(',', ' ') + " to " +
                               lines[201].left(16).replace(',', ' ') +
                               " left out, with fewer than 202 bars before them in their 20 read days"))
        << r.err.toStdString();
    const QStringList runs = rowsOf(tmp->filePath("first-day/SQDB.DB"), "select DT || ' ' || HM from F03V30H order by CNT");
    ASSERT_FALSE(runs.isEmpty());
    EXPECT_EQ(runs[0], first[18] + ' ' + first[19]);
}

// Lock files no live process holds, in a folder of its own or of a backtest, are taken over;
// a lock file or report the disk cannot take ends the backtest with exit status 1, naming the
// file and the system's reason, and the old report stays.
TEST_F(Backtest, LockFilesAndReportsOfItsFolder) {
    const QString fresh = tmp->filePath("locked-fresh");
    QDir().mkpath(fresh);
    for (const char* f : {"backtest.lock", "velkor.lock"}) ASSERT_TRUE(QFile(fresh + "/" + f).open(QIODevice::WriteOnly));
    const Result r = runProgram(kVelkor, args("locked-fresh", {"--jobs", "2"}), QProcessEnvironment::systemEnvironment(), 120000);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    expectSameResult(fresh);

    const QString dir = copyOf(reference, tmp->filePath("full-disk"));
    const Result report = runProgram(kVelkor, args("full-disk"), fullDiskEnvironment({"report.json"}));
    EXPECT_EQ(report.code, 1) << report.err.toStdString();
    EXPECT_TRUE(report.err.contains(dir + "/report.json") && tellsDiskFull(report.err)) << report.err.toStdString();
    EXPECT_FALSE(report.out.contains("report: ")) << report.out.toStdString();
    EXPECT_EQ(folder(dir), folder(reference));
    const Result lock = runProgram(kVelkor, args("full-disk"), fullDiskEnvironment({"backtest.lock"}));
    EXPECT_EQ(lock.code, 1) << lock.err.toStdString();
    EXPECT_TRUE(lock.err.contains(dir + "/backtest.lock") && tellsDiskFull(lock.err)) << lock.err.toStdString();
    EXPECT_EQ(folder(dir), folder(reference));
}
