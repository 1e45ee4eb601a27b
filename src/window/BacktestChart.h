#pragma once
// The chart of a report (a backtest's or the live record's), in the window's dark look: per
// forecast period the running hit rate over the base bars' local times with its overlap-aware
// Wilson band, the 50 % line and the rates of "always up" and persistence; the timeframe by its
// name in the title and the verdict beneath. Drawn without a display.
#include <QImage>
#include <QSize>

namespace backtest {
struct Report;
}

QImage backtestChartImage(const backtest::Report& report, const QSize& size);
