// Verification: pairs every pending forecast with the bars imported since its run.
#include <vector>

#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/Database.h"
#include "db/SqlBuilder.h"
#include "db/Transaction.h"
#include "forecast/Verification.h"
#include "window/VelkorU.h"

void TVelkorF::verifyPending() {
    const std::vector<std::pair<int, int>> runs = pendingRuns();
    if (runs.empty()) return;  // nothing pending
    for (const auto& [tbid, hcnt] : runs) {
        const Timeframe* t = timeframeOfTbid(tbid);
        if (t) verifyRun(*t, hcnt);
    }
    data.pendingDetails.Close();
    for (const Timeframe& t : timeframes()) refreshPage(t);
    countStats();
}

// The runs (TBID, HCNT) of the first 100 pending detail rows, each once; a run cut by the
// 100th row is still handled as a whole.
std::vector<std::pair<int, int>> TVelkorF::pendingRuns() {
    openOnTable(data.pendingDetails, Db::File, QStringLiteral("F03VDT"),
                QStringLiteral(" where JGCL is NULL  order by TBID, HCNT, YKNO, CNT "), false);
    constexpr int kCollect = 100;
    std::vector<std::pair<int, int>> runs;
    for (int r = 0; r < std::min(kCollect, data.pendingDetails.RecordCount()); ++r) {
        const std::pair<int, int> run{data.pendingDetails.ValueAt(r, data.pendingDetails.FieldIndex(QStringLiteral("TBID"))).asInteger(),
                                      data.pendingDetails.ValueAt(r, data.pendingDetails.FieldIndex(QStringLiteral("HCNT"))).asInteger()};
        if (runs.empty() || runs.back() != run) runs.push_back(run);
    }
    data.pendingDetails.Close();
    return runs;
}

// Pairs one run's detail rows with the imported bars from its base bar on and records the
// outcome of every period that has its bar, as one unit.
void TVelkorF::verifyRun(const Timeframe& t, int hcnt) {
    openOnTable(data.pendingDetails, Db::File, QStringLiteral("F03VDT"),
                QStringLiteral(" where (TBID = ") + t.tbidText() + QStringLiteral(") and (HCNT = ") +
                    QString::number(hcnt) + QStringLiteral(")  order by YKNO "), false);
    if (data.pendingDetails.IsEmpty()) return;
    // The run's header: base date, time and close.
    data.pendingDetails.First();
    Query& header = data.scratch;
    openOnTable(header, Db::File, data.pendingDetails.FieldByName(QStringLiteral("HTNM")).AsString(),
                QStringLiteral(" where CNT = ") + QString::number(hcnt) + QStringLiteral("  "), false);
    if (header.IsEmpty()) { header.Close(); return; }
    const QString baseDate = header.FieldByName(QStringLiteral("DT")).AsString();
    const QString baseTime = header.FieldByName(QStringLiteral("HM")).AsString();
    const int baseClose = header.FieldByName(QStringLiteral("CV")).AsInteger();
    header.Close();

    // Only imported bars are actual bars: the placeholder rows at the end of the training
    // table (which may carry the forecasts of a run made in this program run) are left out.
    const QString dt = sqlb::quoted(baseDate), hm = sqlb::quoted(baseTime);
    const QString bars = QStringLiteral("select CNT, LYMD, LHM, CV1, HV1, LV1 from ") + t.trainingTable +
          QStringLiteral(" where ((LYMD > ") + dt + QStringLiteral(") or ((LYMD = ") + dt + QStringLiteral(") and (LHM >= ") +
          hm + QStringLiteral("))) and (CNT <= (select Max(CNT) from ") + t.trainingTable + QStringLiteral(") - ") +
          QString::number(t.periods) + QStringLiteral(") order by CNT ");
    data.periodRows.Close();
    data.periodRows.setConnection(&data.memory);
    data.periodRows.setSql(bars);
    data.periodRows.Open();
    const std::vector<forecast::VerifiedPeriod> periods =
        forecast::pairRun(data.pendingDetails, data.periodRows, baseDate, baseTime, baseClose);
    if (periods.empty()) return;

    Transaction tx(data.file, Transaction::Immediate);
    for (const forecast::VerifiedPeriod& p : periods) {
        const SqlText update = QStringLiteral("update F03VDT  set  JGCL = ") + p.jgcl + QStringLiteral(",  SG   = ") + p.sg +
              QStringLiteral(",  HG   = ") + sqlb::orNull(p.hg) + QStringLiteral(",  LG   = ") + sqlb::orNull(p.lg) +
              QStringLiteral(",  RST  = ") + p.rst + QStringLiteral(" where (TBID = ") + t.tbidText() +
              QStringLiteral(") and (HCNT = ") + QString::number(hcnt) + QStringLiteral(") and  (YKNO = ") + p.ykno +
              QStringLiteral(")");
        // The run stays as it was, and the verification ends naming the file.
        if (!execute(Db::File, update)) throw VelkorError(texts::fileWriteError(data.file.database(), failureReason(data.file)));
    }
    tx.commit();
}
