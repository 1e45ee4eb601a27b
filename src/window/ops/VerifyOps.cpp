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
        const Timeframe* t = tfByTbid(tbid);
        if (t) verifyRun(*t, hcnt);
    }
    dm.qvd.Close();
    uq03K05(1);
    uq03K30(1);
    uq03K4H(1);
    uq03SG(2);
}

// The runs (TBID, HCNT) of the first 100 pending detail rows, each once; a run cut by the
// 100th row is still handled as a whole.
std::vector<std::pair<int, int>> TVelkorF::pendingRuns() {
    openOnTable(dm.qvd, QStringLiteral("csq"), QStringLiteral("F03VDT"),
                QStringLiteral(" where JGCL is NULL  order by TBID, HCNT, YKNO, CNT "), false);
    constexpr int kCollect = 100;
    std::vector<std::pair<int, int>> runs;
    for (int r = 0; r < std::min(kCollect, dm.qvd.RecordCount()); ++r) {
        const std::pair<int, int> run{dm.qvd.ValueAt(r, dm.qvd.FieldIndex(QStringLiteral("TBID"))).asInteger(),
                                      dm.qvd.ValueAt(r, dm.qvd.FieldIndex(QStringLiteral("HCNT"))).asInteger()};
        if (runs.empty() || runs.back() != run) runs.push_back(run);
    }
    dm.qvd.Close();
    return runs;
}

// Pairs one run's detail rows with the imported bars from its base bar on and records the
// outcome of every period that has its bar, as one unit.
void TVelkorF::verifyRun(const Timeframe& t, int hcnt) {
    openOnTable(dm.qvd, QStringLiteral("csq"), QStringLiteral("F03VDT"),
                QStringLiteral(" where (TBID = ") + t.tbidText() + QStringLiteral(") and (HCNT = ") +
                    QString::number(hcnt) + QStringLiteral(")  order by YKNO "), false);
    if (dm.qvd.IsEmpty()) return;
    // The run's header: base date, time and close.
    dm.qvd.First();
    openOnTable(dm.q4, QStringLiteral("csq"), dm.qvd.FieldByName(QStringLiteral("HTNM")).AsString(),
                QStringLiteral(" where CNT = ") + QString::number(hcnt) + QStringLiteral("  "), false);
    if (dm.q4.IsEmpty()) { dm.q4.Close(); return; }
    sa[1] = dm.q4.FieldByName(QStringLiteral("DT")).AsString();
    sa[2] = dm.q4.FieldByName(QStringLiteral("HM")).AsString();
    const int baseClose = dm.q4.FieldByName(QStringLiteral("CV")).AsInteger();
    dm.q4.Close();

    // Only imported bars are actual bars: the placeholder rows at the end of the training
    // table (which may carry the forecasts of a run made in this program run) are left out.
    const QString dt = sqlb::quoted(sa[1]), hm = sqlb::quoted(sa[2]);
    sqw = QStringLiteral("select CNT, LYMD, LHM, CV1, HV1, LV1 from ") + t.trainingTable +
          QStringLiteral(" where ((LYMD > ") + dt + QStringLiteral(") or ((LYMD = ") + dt + QStringLiteral(") and (LHM >= ") +
          hm + QStringLiteral("))) and (CNT <= (select Max(CNT) from ") + t.trainingTable + QStringLiteral(") - ") +
          QString::number(t.ityk) + QStringLiteral(") order by CNT ");
    dm.qmc.Close();
    dm.qmc.setConnection(&dm.csm);
    dm.qmc.setSql(sqw);
    dm.qmc.Open();
    const std::vector<forecast::VerifiedPeriod> periods = forecast::pairRun(dm.qvd, dm.qmc, sa[1], sa[2], baseClose);
    if (periods.empty()) return;

    Transaction tx(dm.csq, Transaction::Immediate);
    for (const forecast::VerifiedPeriod& p : periods) {
        sqw = QStringLiteral("update F03VDT  set  JGCL = ") + p.jgcl + QStringLiteral(",  SG   = ") + p.sg +
              QStringLiteral(",  HG   = ") + sqlb::orNull(p.hg) + QStringLiteral(",  LG   = ") + sqlb::orNull(p.lg) +
              QStringLiteral(",  RST  = ") + p.rst + QStringLiteral(" where (TBID = ") + t.tbidText() +
              QStringLiteral(") and (HCNT = ") + QString::number(hcnt) + QStringLiteral(") and  (YKNO = ") + p.ykno +
              QStringLiteral(")");
        // The run stays as it was, and the verification ends naming the file.
        if (!uexSql(1)) throw VelkorError(texts::fileWriteError(dm.csq.database(), failureReason(dm.csq)));
    }
    tx.commit();
}
