#pragma once
// The batch command "backtest TF FROM TO [EVERY]": the forecasts of a timeframe replayed over
// history as live runs, verified, and judged in a report.
struct BatchOptions;

// Runs the backtest the options ask for and prints its report; returns the exit status
// (0 done, 1 a step or a file failed, 2 a usage error with nothing written).
int runBacktest(const BatchOptions& o);
