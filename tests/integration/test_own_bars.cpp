// Each timeframe is trained on its own bars: nothing of one timeframe's import reaches
// another's table; a forecast from too few bars is refused, and an import far short of its
// read days is told.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/Programs.h"

#include "app/TextFile.h"
#include "db/Database.h"

namespace {

QString sampleQuotes(const QTemporaryDir& dir) {
    const QString quotes = dir.filePath("quotes");
    const ProgramResult s = runProgram(kSample, {"--out", quotes, "--end", "2024-03-15"});
    EXPECT_EQ(s.code, 0) << s.err.toStdString();
    return quotes;
}

void writeCini(const QString& workDir, int days05, int days30, int days80) {
    QDir().mkpath(workDir);
    textfile::writeLines(workDir + "/cini.txt", {QString("05分足読込日数学習回数,%1,20").arg(days05),
                                                 QString("30分足読込日数学習回数,%1,20").arg(days30),
                                                 QString("4時間足読込日数学習回数,%1,20").arg(days80)});
}

QByteArray bytesOf(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The stored 4-hour run and its periods, the training time left out.
QStringList storedFourHourRun(const QString& workDir) {
    Connection c(QStringLiteral("t"));
    c.setDatabase(workDir + "/SQDB.DB");
    c.open();
    QStringList out;
    for (const char* sql : {"select CNT, DT, HM, CV, RD, LN, MSE from F03V4HH order by CNT",
                            "select YKNO, YGCL, HG, LG, DCR, SGN from F03VDT where TBID = 18 order by CNT"}) {
        Query q("rows", &c, QString::fromLatin1(sql));
        q.Open();
        for (int r = 0; r < q.RecordCount(); ++r) {
            QStringList row;
            for (int k = 0; k < q.FieldCount(); ++k) row << q.ValueAt(r, k).asString();
            out << row.join('|');
        }
    }
    return out;
}

}  // namespace

// The 4-hour table, its training CSV and a seeded 4-hour forecast are the same whatever the
// 5- and 30-minute read days are, and also when the 5-minute file is empty.
TEST(OwnBars, FourHourForecastDependsOnTheFourHourBarsAlone) {
    QTemporaryDir dir;
    const QString quotes = sampleQuotes(dir);
    const QString emptied = dir.filePath("emptied");
    QDir().mkpath(emptied);
    for (const char* f : {"USDJPYM30.CSV", "USDJPYH04.CSV"}) QFile::copy(quotes + "/" + f, emptied + "/" + f);
    QFile(emptied + "/USDJPYM05.CSV").open(QIODevice::WriteOnly);

    struct Variant { const char* name; int days05, days30; QString data; };
    const Variant variants[] = {{"short", 2, 2, quotes}, {"long", 40, 200, quotes}, {"no 5-minute bars", 40, 200, emptied}};
    QByteArray csv, net;
    QStringList run;
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const QString wd = dir.filePath(QString::fromLatin1(v.name).replace(' ', '-'));
        writeCini(wd, v.days05, v.days30, 200);
        const ProgramResult r = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", v.data, "--today",
                                                     "2024-03-15", "--seed", "1", "forecast", "80"});
        ASSERT_EQ(r.code, v.data == emptied ? 1 : 0) << r.err.toStdString();
        if (v.data == emptied) EXPECT_TRUE(r.err.contains("USDJPYM05.CSV")) << r.err.toStdString();
        const QByteArray thisCsv = bytesOf(wd + "/DATA/CSV/TS4H.CSV"), thisNet = bytesOf(wd + "/DATA/USDJPY4H.net");
        const QStringList thisRun = storedFourHourRun(wd);
        ASSERT_FALSE(thisCsv.isEmpty());
        ASSERT_EQ(thisRun.size(), 3);
        if (csv.isEmpty()) {
            csv = thisCsv, net = thisNet, run = thisRun;
            continue;
        }
        EXPECT_TRUE(thisCsv == csv);
        EXPECT_TRUE(thisNet == net);
        EXPECT_EQ(thisRun, run);
    }
}

// Fewer imported bars than the scaling window and the periods: the forecast is refused with
// the count, the dates and what to change, and nothing is stored.
TEST(OwnBars, AForecastFromTooFewBarsIsRefused) {
    QTemporaryDir dir;
    const QString quotes = sampleQuotes(dir);
    const QString wd = dir.filePath("wd");
    writeCini(wd, 40, 200, 20);
    const ProgramResult r = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", quotes, "--today",
                                                 "2024-03-15", "--lang", "en", "forecast", "80", "forecast", "30"});
    EXPECT_EQ(r.code, 1);
    const QStringList errors = r.err.split('\n').filter("error: ");
    ASSERT_EQ(errors.size(), 1) << r.err.toStdString();
    const QString& e = errors[0];
    for (const char* part : {"USDJPYH04.CSV", "2024/02/", "2024/03/15", "at least 152", "read days", "--today", "[F02R4H]"})
        EXPECT_TRUE(e.contains(QString::fromUtf8(part))) << part << ": " << e.toStdString();
    EXPECT_EQ(storedFourHourRun(wd), QStringList());
}

// Quote files that end long before the date the read days count back from: each file is
// named once, with its last bar, today and the bars read.
TEST(OwnBars, AnImportFarShortOfItsReadDaysIsTold) {
    QTemporaryDir dir;
    const QString quotes = sampleQuotes(dir);
    const QString wd = dir.filePath("wd");
    writeCini(wd, 40, 200, 200);
    const ProgramResult r = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", quotes, "--today",
                                                 "2024-07-01", "--lang", "en"});
    const QStringList told = r.out.split('\n').filter("ends with a bar of 2024/03/15, but today is 2024/07/01");
    ASSERT_EQ(told.size(), 3) << r.out.toStdString();  // the 5-minute file reads nothing, the others little
    EXPECT_TRUE(told[0].contains("USDJPYM05.CSV") && told[0].contains("only 0 bars") && told[0].contains("--today 2024-03-15"))
        << told[0].toStdString();
    EXPECT_TRUE(told[1].contains("USDJPYM30.CSV")) << told[1].toStdString();
    // Read days that reach the file's last days say nothing.
    const ProgramResult fresh = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", quotes, "--today",
                                                     "2024-03-16", "--lang", "en"});
    EXPECT_FALSE(fresh.out.contains("ends with a bar")) << fresh.out.toStdString();
}
