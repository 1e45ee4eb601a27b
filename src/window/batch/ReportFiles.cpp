#include "window/batch/ReportFiles.h"

#include <QDir>

#include "app/SaveFile.h"
#include "app/TextFile.h"
#include "backtest/Report.h"
#include "window/BacktestChart.h"

QByteArray writeReportFiles(const QString& dir, const backtest::Report& report, const QSize& chartSize) {
    const QDir out(dir);
    const QByteArray json = backtest::reportJson(report);
    savefile::writeBytes(out.filePath(QStringLiteral("report.json")), json);
    textfile::writeLines(out.filePath(QStringLiteral("report.csv")), backtest::reportCsvLines(report));
    savefile::writeImage(out.filePath(QStringLiteral("report.png")), backtestChartImage(report, chartSize));
    return json;
}
