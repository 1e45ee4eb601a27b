#include "backtest/LiveRecord.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <map>

#include "app/Timeframe.h"
#include "backtest/QuoteFile.h"
#include "db/Database.h"

namespace backtest {

namespace {
// The runs' header rows, in base-bar order, with their periods still empty.
std::vector<StepOutcome> readRuns(Connection& c, const Timeframe& t, std::map<qint64, size_t>& stepOf) {
    Query h(QStringLiteral("h"), &c, QStringLiteral("select CNT, DT, HM, CV from %1 order by DT, HM, CNT").arg(t.headerTable));
    h.Open();
    std::vector<StepOutcome> out(size_t(h.RecordCount()));
    for (int r = 0; r < h.RecordCount(); ++r) {
        StepOutcome& s = out[size_t(r)];
        s.local = h.ValueAt(r, 1).asString().trimmed() + QLatin1Char(' ') + h.ValueAt(r, 2).asString().trimmed();
        s.baseClose = h.ValueAt(r, 3).asInteger();
        s.periods.resize(size_t(t.periods));
        stepOf[h.ValueAt(r, 0).asInt64()] = size_t(r);
    }
    return out;
}

// Places the base bars: by their line in the quote file where every one is found there,
// otherwise all by local time.
void placeBaseBars(std::vector<StepOutcome>& runs, const Timeframe& t, const QuoteFile* quotes) {
    bool allFound = quotes != nullptr;
    for (StepOutcome& s : runs) {
        const std::optional<int> line = quotes ? quotes->barAtLocal(s.local) : std::nullopt;
        if (!line) {
            allFound = false;
            continue;
        }
        s.barNumber = quotes->lines()[size_t(*line)].barNumber;
        s.move = s.baseClose - quotes->previousClose(*line).value_or(s.baseClose);
    }
    if (allFound) return;
    for (StepOutcome& s : runs) {
        const QDateTime at(QDate::fromString(s.local.left(10), QStringLiteral("yyyy/MM/dd")),
                           QTime::fromString(s.local.mid(11), QStringLiteral("HH:mm")), Qt::UTC);
        s.barNumber = at.isValid() ? at.toSecsSinceEpoch() / t.periodSeconds : 0;
    }
}
}  // namespace

std::vector<StepOutcome> readLiveRecord(const QString& dbFile, const Timeframe& t, const QuoteFile* quotes) {
    if (!QFile::exists(dbFile)) return {};
    Connection c(QStringLiteral("live record"));
    c.setDatabase(dbFile);
    c.open();
    std::map<qint64, size_t> stepOf;  // header CNT -> run
    std::vector<StepOutcome> runs = readRuns(c, t, stepOf);
    Query d(QStringLiteral("d"), &c,
            QStringLiteral("select HCNT, YKNO, YGCL, JGCL, RST from F03VDT where TBID = %1 order by HCNT, YKNO").arg(t.tbid));
    d.Open();
    for (int r = 0; r < d.RecordCount(); ++r) {
        const auto run = stepOf.find(d.ValueAt(r, 0).asInt64());
        const int p = d.ValueAt(r, 1).asInteger();
        if (run == stepOf.end() || p < 1 || p > t.periods) continue;
        StepOutcome::Period& x = runs[run->second].periods[size_t(p - 1)];
        x.forecast = d.ValueAt(r, 2).asInteger();
        x.verified = !d.ValueAt(r, 3).isNull() && !d.ValueAt(r, 4).isNull();
        x.actual = d.ValueAt(r, 3).asInteger();
        x.hit = d.ValueAt(r, 4).asInteger() == 1;
    }
    placeBaseBars(runs, t, quotes);
    return runs;
}

std::vector<evaluation::VerifiedForecast> readVerifiedForecasts(const QString& dbFile, const Timeframe& t,
                                                                const QuoteFile* quotes) {
    return verifiedForecasts(readLiveRecord(dbFile, t, quotes));
}

}  // namespace backtest
