#pragma once
// The verification chart of a forecast page. Every call into the chart library lives in
// Chart.cpp, so a move to another chart library touches that one file.
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

class QChartView;

// One stored forecast run as the chart draws it. Prices are in the tables' integer units;
// a value of 0 (or less) means "not there" for the actual close, the high and the low.
struct ChartRun {
    struct Period {
        QString label;  // the period's time
        int ygcl = 0;   // forecast close
        int jgcl = 0;   // actual close (0 while pending)
        int hg = 0;     // high
        int lg = 0;     // low
        int sgn = 0;    // 1 buy, -1 sell, 0 none
    };
    int series = 1;           // 1, 2, 3: the digit in the series names (S1CL, S2CL, S3CL)
    QString title;
    QString baseLabel;        // the base bar's time
    int baseClose = 0;
    bool sellAtLow = true;    // a sell signal stands at the period's low (else at its high)
    std::vector<Period> periods;
};

// Draws the chart of a run: six series in the order actual close, high, low,
// forecast close, buy signals, sell signals; x position 0 is the base bar, position i the
// i-th period, and every point stands at its own period's position.
void drawVerificationChart(QChartView* view, const ChartRun& run);

// The view's chart as it is drawn, rendered into an image of `size` pixels without a display;
// the view itself keeps its size.
QImage verificationChartImage(QChartView* view, const QSize& size);

// Gives a chart view the dark look of the window, with texts sized to the view, before
// anything is drawn on it.
void prepareChartView(QChartView* view);

// Draws the learning curve of a forecast run: the training error after each pass (pass 1 first)
// as one line over the passes. No errors leave the chart empty.
void drawLearningCurve(QChartView* view, const std::vector<double>& errors);

// Leaves the chart without series and axes (a page with no run).
void clearVerificationChart(QChartView* view);

