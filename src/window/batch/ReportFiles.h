#pragma once
// The report files of a backtest or an evaluation: report.json, report.csv and report.png in a
// folder, each written whole or not at all.
#include <QByteArray>
#include <QSize>
#include <QString>

namespace backtest {
struct Report;
}

// Writes the three files into `dir` (which must exist) and returns the JSON document. Throws
// VelkorError naming the file that cannot be written.
QByteArray writeReportFiles(const QString& dir, const backtest::Report& report, const QSize& chartSize);
