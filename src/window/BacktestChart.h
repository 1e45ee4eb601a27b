#pragma once
// The chart of a backtest report: per forecast period, the running hit rate over the base bars
// with its Wilson band, the 50 % line and the persistence baseline. Drawn without a display.
#include <QImage>
#include <QSize>

namespace backtest {
struct Report;
}

QImage backtestChartImage(const backtest::Report& report, const QSize& size);
