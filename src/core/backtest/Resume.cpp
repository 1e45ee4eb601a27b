#include "backtest/Resume.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <map>

#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "backtest/QuoteFile.h"
#include "db/Database.h"

namespace backtest {

namespace {
QString dbFile(const Plan& plan) { return QDir(plan.outDir).filePath(QStringLiteral("SQDB.DB")); }

// What is wrong with the stored runs of `c`, or nothing.
QString storedRunsError(Connection& c, const Plan& plan, const QuoteFile& quotes, const std::vector<int>& bases) {
    const Timeframe& t = *plan.t;
    Query check(QStringLiteral("check"), &c, QStringLiteral("pragma quick_check"));
    check.Open();
    if (check.ValueAt(0, 0).asString() != QLatin1String("ok"))
        return QStringLiteral("the database is damaged (%1)").arg(check.ValueAt(0, 0).asString().left(200));
    Query h(QStringLiteral("h"), &c, QStringLiteral("select CNT, DT, HM, CV from %1 order by CNT").arg(t.headerTable));
    h.Open();
    if (h.RecordCount() > int(bases.size()))
        return QStringLiteral("it holds %1 runs, and this backtest has %2 steps").arg(h.RecordCount()).arg(bases.size());
    // The periods of each run's detail rows, by run number.
    Query d(QStringLiteral("d"), &c,
            QStringLiteral("select HCNT, YKNO from F03VDT where TBID = %1 order by HCNT, YKNO").arg(t.tbid));
    d.Open();
    std::map<qint64, std::vector<int>> periods;
    for (int r = 0; r < d.RecordCount(); ++r) periods[d.ValueAt(r, 0).asInt64()].push_back(d.ValueAt(r, 1).asInteger());
    std::vector<int> all(size_t(t.periods));
    for (int p = 1; p <= t.periods; ++p) all[size_t(p - 1)] = p;
    for (int r = 0; r < h.RecordCount(); ++r) {
        const QuoteLine& base = quotes.lines()[size_t(bases[size_t(r)])];
        const QString at = h.ValueAt(r, 1).asString() + QLatin1Char(' ') + h.ValueAt(r, 2).asString();
        const qint64 cnt = h.ValueAt(r, 0).asInt64();
        if (at != base.local)
            return QStringLiteral("its run %1, stored as step %2, is of the base bar %3 (local time), not of %4 (a run "
                                  "is missing or out of place)")
                .arg(cnt).arg(r + 1).arg(at, base.local);
        if (h.ValueAt(r, 3).asInteger() != base.close)
            return QStringLiteral("its run %1 has the base close %2, the bar %3 of %4 closes at %5")
                .arg(cnt).arg(h.ValueAt(r, 3).asInteger()).arg(base.serverText, quotes.path()).arg(base.close);
        const auto found = periods.find(cnt);
        if (found == periods.end() || found->second != all)
            return QStringLiteral("its run %1 (step %2) lacks detail rows of its %3 forecast periods").arg(cnt).arg(r + 1).arg(t.periods);
        periods.erase(found);
    }
    if (!periods.empty())
        return QStringLiteral("it holds detail rows of runs it does not hold (run %1)").arg(periods.begin()->first);
    return {};
}
}  // namespace

QJsonObject identityDocument(const Plan& plan, const QString& quoteDigest) {
    QJsonObject doc = plan.identity();
    doc.insert(Plan::quoteDigestKey, quoteDigest);
    return doc;
}

QString heldQuoteDigest(const Plan& plan) {
    QFile f(QDir(plan.outDir).filePath(QStringLiteral("backtest.json")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object().value(Plan::quoteDigestKey).toString();
}

bool checkResume(const Plan& plan, const QuoteFile& quotes, const std::vector<int>& bases, const QString& quoteDigest,
                 QString& error) {
    auto refuse = [&](const QString& what) {
        error = QStringLiteral("%1 cannot be resumed: %2; give another --out, or remove the folder to start again")
                    .arg(plan.outDir, what);
        return false;
    };
    const QString held = heldQuoteDigest(plan);
    if (!held.isEmpty() && held != quoteDigest)
        return refuse(QStringLiteral("the lines of %1 from %2 to %3 are not those its runs were made from")
                          .arg(quotes.path(), plan.from.toString(Qt::ISODate), plan.to.toString(Qt::ISODate)));
    if (!QFile::exists(dbFile(plan))) return true;  // no step stored yet
    QString wrong;
    try {
        Connection c(QStringLiteral("resume"));
        c.setDatabase(dbFile(plan));
        c.open();
        wrong = storedRunsError(c, plan, quotes, bases);
    } catch (const VelkorError& e) {
        wrong = QStringLiteral("cannot be read (%1)").arg(e.text().section(QLatin1Char('\n'), 0, 0));
    }
    return wrong.isEmpty() || refuse(dbFile(plan) + QStringLiteral(": ") + wrong);
}

}  // namespace backtest
