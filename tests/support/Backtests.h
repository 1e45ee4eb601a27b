#pragma once
// Test support for backtests: the stored rows of an output folder and the comparison of two
// output folders.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include "db/Database.h"

// The rows of a query on a database file, each its fields joined by '|'.
inline QStringList rowsOf(const QString& db, const QString& sql) {
    Connection c("t");
    c.setDatabase(db);
    c.open();
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

// The stored runs of a 5-minute backtest, their numbers and training times left out.
inline const char* kHeaders = "select TBID, TBNM, DT, HM, CV, RD, LN, MSE from F03V05H order by CNT";
inline const char* kDetails = "select TBID, HTNM, YKNO, YGCL, JGCL, SG, HG, LG, DCR, SGN, RST from F03VDT order by CNT";

inline QByteArray bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Two output folders of one 5-minute backtest hold the same runs and the same files.
inline void expectSameBacktest(const QString& dir, const QString& reference) {
    EXPECT_EQ(rowsOf(dir + "/SQDB.DB", kHeaders), rowsOf(reference + "/SQDB.DB", kHeaders));
    EXPECT_EQ(rowsOf(dir + "/SQDB.DB", kDetails), rowsOf(reference + "/SQDB.DB", kDetails));
    for (const char* f : {"report.csv", "report.json", "config.txt", "cini.txt", "backtest.json"})
        EXPECT_EQ(bytes(dir + "/" + f), bytes(reference + "/" + f)) << f;
}
