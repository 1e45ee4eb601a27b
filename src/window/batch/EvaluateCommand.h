#pragma once
// The batch command "evaluate TF": the report of the working directory's live record of a
// timeframe (its verified forecasts against chance, the naive rules and the random walk),
// printed and written into a folder as report.json, report.csv and report.png.
#include <QJsonObject>
#include <QSize>
#include <QString>
#include <optional>

class TVelkorF;

struct EvaluateResult {
    QString table;     // the printed table
    QJsonObject json;  // the report document
    QString folder;    // where the files went
};

// Evaluates timeframe `code` of the started window's working directory into `out` (relative
// to the working directory; empty: evaluation-TF-YYYYMMDD with today's date). Throws
// VelkorError, with nothing written, when no forecast of the timeframe is verified.
EvaluateResult evaluateLiveRecord(TVelkorF& w, int code, const QString& out, const QSize& chartSize);
