#include "window/batch/ReportFiles.h"

#include <QDir>
#include <QImageWriter>
#include <QSaveFile>

#include "app/TextFile.h"
#include "app/VelkorError.h"
#include "backtest/Report.h"
#include "window/BacktestChart.h"

void saveFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw VelkorError(QStringLiteral("cannot write %1 (%2)").arg(path, f.errorString()));
}

namespace {
void savePng(const QString& path, const QImage& image) {
    QSaveFile f(path);
    QImageWriter writer(&f, "png");
    if (!f.open(QIODevice::WriteOnly) || !writer.write(image) || !f.commit())
        throw VelkorError(QStringLiteral("cannot write %1 (%2)").arg(path, f.errorString()));
}
}  // namespace

QByteArray writeReportFiles(const QString& dir, const backtest::Report& report, const QSize& chartSize) {
    const QDir out(dir);
    const QByteArray json = backtest::reportJson(report);
    saveFile(out.filePath(QStringLiteral("report.json")), json);
    textfile::writeLines(out.filePath(QStringLiteral("report.csv")), backtest::reportCsvLines(report));
    savePng(out.filePath(QStringLiteral("report.png")), backtestChartImage(report, chartSize));
    return json;
}
