#pragma once
// Whether an output folder that holds this backtest can be resumed: its stored runs must be
// exactly the first steps of this backtest, made from the quote data the files hold now.
#include <QJsonObject>
#include <QString>
#include <vector>

#include "backtest/Plan.h"

namespace backtest {

class QuoteFile;

// The document "backtest.json" holds: the plan's identity and the digest of the quote data of
// its range (QuoteFile::rangeDigest of the timeframe's file).
QJsonObject identityDocument(const Plan& plan, const QString& quoteDigest);

// The digest "backtest.json" of the output folder holds; empty when it holds none (written by
// the version before).
QString heldQuoteDigest(const Plan& plan);

// Checks a folder that holds this backtest (OutDir::Resume) before anything is run in it: the
// digest it holds, if any, is `quoteDigest`; its database is whole; and its runs, in number
// order, are those of the first k base bars (local date and time, base close), each with one
// detail row per forecast period, with no detail row of the timeframe outside them. False,
// with what differs in `error`, otherwise.
bool checkResume(const Plan& plan, const QuoteFile& quotes, const std::vector<int>& bases, const QString& quoteDigest,
                 QString& error);

}  // namespace backtest
