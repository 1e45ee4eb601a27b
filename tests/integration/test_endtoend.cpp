// The whole loop through the program itself: forecasts after one start-up, verified after a
// later start-up that imported newer bars, checked against the bars of the quote files.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/Programs.h"

#include "app/TextFile.h"
#include "db/Database.h"

namespace {
using Result = ProgramResult;

QStringList queryRowsOf(Connection& c, const QString& sql) {
    Query q("rows", &c, sql);
    q.Open();
    QStringList out;
    for (int r = 0; r < q.RecordCount(); ++r) {
        QStringList row;
        for (int k = 0; k < q.FieldCount(); ++k) row << q.ValueAt(r, k).asString();
        out << row.join('|');
    }
    return out;
}


// Closes (in thousandths) of a quote file by local date and time, in file order.
struct Bars {
    QStringList keys;
    std::vector<int> closes;
    explicit Bars(const QString& file) {
        for (const QString& l : textfile::readLines(file)) {
            const QStringList f = l.split(',');
            keys.append(f[18] + ' ' + f[19]);
            closes.push_back(QString(f[4]).remove('.').toInt());
        }
    }
};
}  // namespace

TEST(EndToEnd, ForecastThenVerifyAfterNewerBars) {
    QTemporaryDir tmp;
    const QString wd = tmp.filePath("wd"), d1 = tmp.filePath("d1"), d2 = tmp.filePath("d2");
    ASSERT_EQ(runProgram(kSample, {"--out", d1, "--end", "2024-03-13", "--days5", "6", "--days30", "20", "--days4h", "80"}).code, 0);
    ASSERT_EQ(runProgram(kSample, {"--out", d2, "--end", "2024-03-15", "--days5", "8", "--days30", "22", "--days4h", "82"}).code, 0);
    QDir().mkpath(wd);
    textfile::writeLines(wd + "/cini.txt", {"a,5,3", "b,20,3", "c,80,3"});

    const Result first = runProgram(kVelkor, {"--batch", "--workdir", wd, "--data-dir", d1, "--today", "2024-03-13", "--seed", "7",
                                       "forecast", "5", "forecast", "30", "forecast", "80", "verify"});
    ASSERT_EQ(first.code, 0) << first.out.toStdString() << first.err.toStdString();
    EXPECT_EQ(first.out.count("message: "), 1 + 6 + 3);  // catalog, start-up boxes, three training times

    Connection db("t");
    db.setDatabase(wd + "/SQDB.DB");
    db.open();
    auto scalar = [&](const QString& sql) {
        Query q("q", &db, sql);
        q.Open();
        return q.ValueAt(0, 0).asString();
    };
    // Right after the forecasts nothing can be verified: the new runs have no later bars yet.
    EXPECT_EQ(scalar("select count(*) from F03VDT"), "9");
    EXPECT_EQ(scalar("select count(*) from F03VDT where JGCL is null"), "9");

    textfile::writeLines(wd + "/config.txt", {d2 + "/"});
    const Result second = runProgram(kVelkor, {"--batch", "--workdir", wd, "--today", "2024-03-15", "--seed", "7", "verify", "stats"});
    ASSERT_EQ(second.code, 0) << second.out.toStdString() << second.err.toStdString();

    struct Tf { int tbid; const char* header; const char* file; int periods; };
    const Tf tfs[] = {{16, "F03V05H", "USDJPYM05.CSV", 4}, {17, "F03V30H", "USDJPYM30.CSV", 3}, {18, "F03V4HH", "USDJPYH04.CSV", 2}};
    int hits[3][4] = {}, misses[3][4] = {};
    for (int t = 0; t < 3; ++t) {
        const Bars bars(d2 + "/" + tfs[t].file);
        Query h("h", &db, QString("select DT, HM, CV, CNT from %1").arg(tfs[t].header));
        h.Open();
        ASSERT_EQ(h.RecordCount(), 1);
        const qsizetype base = bars.keys.indexOf(h.FieldByName("DT").AsString() + ' ' + h.FieldByName("HM").AsString());
        ASSERT_GE(base, 0);
        const int b = h.FieldByName("CV").AsInteger();
        EXPECT_EQ(b, bars.closes[size_t(base)]);
        Query d("d", &db, QString("select YKNO, YGCL, JGCL, SG, RST from F03VDT where TBID = %1 order by YKNO").arg(tfs[t].tbid));
        d.Open();
        ASSERT_EQ(d.RecordCount(), tfs[t].periods);
        for (int r = 0; r < d.RecordCount(); ++r) {
            const auto& row = d.Row(r);
            const size_t bar = size_t(base) + 1 + size_t(r);
            ASSERT_LT(bar, bars.closes.size()) << "the later file must hold the forecast periods";
            const int a = bars.closes[bar], f = row[1].asInteger();
            EXPECT_EQ(row[2].asInteger(), a) << tfs[t].header << " period " << r + 1;
            EXPECT_EQ(row[3].asInteger(), b - a);
            const bool hit = (b - a > 0 && b - f > 0) || (b - a < 0 && b - f < 0);
            EXPECT_EQ(row[4].asInteger(), hit ? 1 : -1);
            (hit ? hits : misses)[t][r]++;
        }
    }
    // The statistics printed by "stats": one count line and four grid rows per timeframe.
    const QStringList lines = second.out.split('\n');
    for (int t = 0; t < 3; ++t) {
        QStringList hitRow{"当り数"}, missRow{"外れ数"};
        for (int p = 0; p < 4; ++p) {
            hitRow << QString::number(hits[t][p]);
            missRow << QString::number(misses[t][p]);
        }
        EXPECT_TRUE(lines.contains(hitRow.join('\t') + '\t')) << second.out.toStdString();
        EXPECT_TRUE(lines.contains(missRow.join('\t') + '\t')) << second.out.toStdString();
    }
}

// The daily loop's "forecast all" trains the three networks at the same time and ends exactly
// as the three forecasts one after the other: stored rows (the training time aside), network
// files, printed messages and exit status, also when one timeframe fails.
TEST(EndToEnd, ForecastAllEqualsTheThreeForecastsInTurn) {
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    ASSERT_EQ(runProgram(kSample, {"--out", data, "--end", "2024-03-13", "--days5", "6", "--days30", "20", "--days4h", "80"}).code, 0);
    struct Outcome {
        Result result;
        QStringList rows;
        QList<QByteArray> networks;
    };
    auto forecast = [&](const QString& name, const QStringList& commands, bool failThirty) {
        const QString wd = tmp.filePath(name);
        QDir().mkpath(wd + "/DATA");
        textfile::writeLines(wd + "/cini.txt", {"a,5,4", "b,20,3", "c,80,5"});
        // A folder where the 30-minute network file belongs: replacing it fails.
        if (failThirty) QDir().mkpath(wd + "/DATA/USDJPY30.net/x");
        Outcome o;
        o.result = runProgram(kVelkor, QStringList{"--batch", "--workdir", wd, "--data-dir", data, "--today", "2024-03-13",
                                            "--seed", "3"} + commands);
        o.result.err.replace(wd, "WD");
        Connection db("t");
        db.setDatabase(wd + "/SQDB.DB");
        db.open();
        for (const char* table : {"F03V05H", "F03V30H", "F03V4HH"})
            o.rows += queryRowsOf(db, QString("select CNT, DT, HM, CV, RD, LN, MSE from %1 order by CNT").arg(table));
        o.rows += queryRowsOf(db, "select * from F03VDT order by CNT");
        for (const char* net : {"USDJPY05.net", "USDJPY4H.net"}) {
            QFile f(wd + "/DATA/" + net);
            o.networks.append(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
        }
        return o;
    };
    for (bool failThirty : {false, true}) {
        const Outcome inTurn = forecast(failThirty ? "turn-fail" : "turn",
                                        {"forecast", "5", "forecast", "30", "forecast", "80"}, failThirty);
        const Outcome all = forecast(failThirty ? "all-fail" : "all", {"forecast", "all"}, failThirty);
        EXPECT_EQ(inTurn.result.code, failThirty ? 1 : 0) << inTurn.result.err.toStdString();
        EXPECT_EQ(all.result.code, inTurn.result.code);
        EXPECT_EQ(all.result.out.toStdString(), inTurn.result.out.toStdString());
        EXPECT_EQ(all.result.err.toStdString(), inTurn.result.err.toStdString());
        EXPECT_EQ(all.rows, inTurn.rows);
        EXPECT_EQ(inTurn.rows.size(), 3 + 9);
        EXPECT_EQ(all.networks, inTurn.networks);
        EXPECT_FALSE(all.networks[0].isEmpty());
    }
}
