#include "window/batch/EvaluateCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <memory>

#include "app/Clock.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "backtest/LiveRecord.h"
#include "backtest/QuoteFile.h"
#include "backtest/Report.h"
#include "backtest/ReportTexts.h"
#include "window/VelkorU.h"
#include "window/batch/ReportFiles.h"

namespace {
// The timeframe's quote file in the data folder "config.txt" names, when it can be read: it
// places the runs' base bars and gives the closes before them.
std::unique_ptr<backtest::QuoteFile> quoteFileOf(TVelkorF& w, const Timeframe& t) {
    const QString config = w.path(QStringLiteral("config.txt"));
    if (!QFileInfo::exists(config)) return nullptr;
    const QString file = w.dataFolder(textfile::readLines(config).value(0)) + t.quoteFile;
    if (!QFileInfo::exists(file)) return nullptr;
    return std::make_unique<backtest::QuoteFile>(file);
}
}  // namespace

EvaluateResult evaluateLiveRecord(TVelkorF& w, int code, const QString& out, const QSize& chartSize) {
    const Timeframe& t = *timeframeOf(code);
    const QString db = w.path(QStringLiteral("SQDB.DB"));
    const std::unique_ptr<backtest::QuoteFile> quotes = quoteFileOf(w, t);
    const std::vector<backtest::StepOutcome> runs = backtest::readLiveRecord(db, t, quotes.get());
    if (backtest::verifiedForecasts(runs).empty())
        throw VelkorError(evaluation::ReportTexts::noVerifiedForecast(t.name, QDir::cleanPath(db)));
    const backtest::Report report = backtest::makeLiveReport(t, QDir::cleanPath(w.workDir()), runs);
    const QString folder = QDir::cleanPath(w.path(
        !out.isEmpty() ? out : QStringLiteral("evaluation-%1-%2").arg(code).arg(w.clock().today().toString(QStringLiteral("yyyyMMdd")))));
    if (!QDir().mkpath(folder)) throw VelkorError(QStringLiteral("cannot make the folder %1").arg(folder));
    const QByteArray json = writeReportFiles(folder, report, chartSize);
    return {backtest::reportTable(report), QJsonDocument::fromJson(json).object(), folder};
}
