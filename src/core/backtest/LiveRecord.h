#pragma once
// The live record of a working directory: the runs its SQDB.DB holds for a timeframe, read for
// the report and the evaluation, with their base bars placed in the timeframe's quote file.
#include <QString>
#include <vector>

#include "backtest/Evaluation.h"
#include "backtest/Report.h"

struct Timeframe;

namespace backtest {

class QuoteFile;

// The runs of timeframe `t` in the file database `dbFile` (its header table and F03VDT), in
// the order of their base bars' local date and time, each with its periods, pending or
// verified. The base bar is looked up by its local date and time in `quotes` (the
// timeframe's quote file; may be null): it gives the bar's place and the close of the bar
// before it. Where some base bar is not found there, every base bar is placed by its local
// time in bars of the timeframe instead, and a base bar not found has no move. No runs when
// the file does not exist.
std::vector<StepOutcome> readLiveRecord(const QString& dbFile, const Timeframe& t, const QuoteFile* quotes);

// The verified forecasts of that record, the evaluation's input.
std::vector<evaluation::VerifiedForecast> readVerifiedForecasts(const QString& dbFile, const Timeframe& t,
                                                                const QuoteFile* quotes);

}  // namespace backtest
