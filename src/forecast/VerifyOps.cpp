// Verification: pairs every pending forecast with the bars imported since its run.
#include <vector>

#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "db/Transaction.h"
#include "forecast/Forecast.h"
#include "ui/VelkorU.h"


void TVelkorF::verifyPending() {
    stdb = QStringLiteral("csq");
    stnm = QStringLiteral("F03VDT");
    swh = QStringLiteral(" where JGCL is NULL  order by TBID, HCNT, YKNO, CNT ");
    ucSql(1);
    dm.qvd.Close();
    dm.qvd.setSql(sqw);
    dm.qvd.Open();
    if (dm.qvd.IsEmpty()) {
        dm.qvd.Close();
        return;
    }

    // At most 100 pending rows are collected per verification; a run cut by the 100th row is
    // still handled as a whole.
    constexpr int kCollect = 100;
    std::vector<std::pair<int, int>> pending;  // (TBID, HCNT)
    for (dm.qvd.First(); int(pending.size()) < kCollect; dm.qvd.Next()) {
        pending.emplace_back(dm.qvd.FieldByName(QStringLiteral("TBID")).AsInteger(),
                             dm.qvd.FieldByName(QStringLiteral("HCNT")).AsInteger());
        if (dm.qvd.RecNo() == dm.qvd.RecordCount() - 1) break;
    }
    dm.qvd.Close();

    std::pair<int, int> previous{0, 0};
    for (const auto& run : pending) {
        if (run == previous) continue;
        previous = run;
        const auto [iid, ihc] = run;
        const Timeframe* t = tfByTbid(iid);
        if (!t) continue;

        stnm = QStringLiteral("F03VDT");
        swh = QStringLiteral(" where (TBID = ") + QString::number(iid) + QStringLiteral(") and (HCNT = ") +
              QString::number(ihc) + QStringLiteral(") ") + QStringLiteral(" order by YKNO ");
        ucSql(1);
        dm.qvd.setSql(sqw);
        dm.qvd.Open();
        if (dm.qvd.IsEmpty()) continue;

        // The run's header: base date, time and close.
        stnm = dm.qvd.FieldByName(QStringLiteral("HTNM")).AsString();
        swh = QStringLiteral(" where CNT = ") + QString::number(ihc) + QStringLiteral("  ");
        ucSql(1);
        dm.q4.Close();
        dm.q4.setSql(sqw);
        dm.q4.Open();
        if (dm.q4.IsEmpty()) { dm.q4.Close(); continue; }
        sa[1] = dm.q4.FieldByName(QStringLiteral("DT")).AsString();
        sa[2] = dm.q4.FieldByName(QStringLiteral("HM")).AsString();
        const int ign = dm.q4.FieldByName(QStringLiteral("CV")).AsInteger();
        dm.q4.Close();

        // Only imported bars are actual bars: the placeholder rows at the end of the training
        // table (which may carry the forecasts of a run made in this program run) are left out.
        const QString quotedDt = sqlb::quoted(sa[1]);
        const QString quotedHm = sqlb::quoted(sa[2]);
        sqw = QStringLiteral("select CNT, LYMD, LHM, CV1, HV1, LV1 from ") + t->trainingTable +
              QStringLiteral(" where ((LYMD > ") + quotedDt + QStringLiteral(") or ((LYMD = ") + quotedDt +
              QStringLiteral(") and (LHM >= ") + quotedHm + QStringLiteral("))) and (CNT <= (select Max(CNT) from ") +
              t->trainingTable + QStringLiteral(") - ") + QString::number(t->ityk) + QStringLiteral(") order by CNT ");
        dm.qmc.Close();
        dm.qmc.setConnection(&dm.csm);
        dm.qmc.setSql(sqw);
        dm.qmc.Open();
        if (dm.qmc.IsEmpty()) continue;  // no bar at or after the base bar yet
        // The pairing starts after the base bar only when the first bar is the base bar itself;
        // a run whose base bar lies before the imported bars stays pending.
        dm.qmc.First();
        if (dm.qmc.FieldByName(QStringLiteral("LYMD")).AsString() != sa[1] ||
            dm.qmc.FieldByName(QStringLiteral("LHM")).AsString() != sa[2])
            continue;
        dm.qmc.Next();

        Transaction tx(dm.csq, Transaction::Immediate);  // one run's detail rows are verified as one unit
        bool ok = true;
        for (dm.qvd.First(); !dm.qvd.Eof() && !dm.qmc.Eof(); ) {
            const int ijz = dm.qvd.FieldByName(QStringLiteral("YGCL")).AsInteger();
            const Field cv1 = dm.qmc.FieldByName(QStringLiteral("CV1"));
            sa[2] = cv1.AsString();
            if (!sa[2].isEmpty()) {
                const int icl = cv1.AsInteger();
                const int iss = ign - icl;
                sa[3] = QString::number(iss);
                sa[4] = dm.qmc.FieldByName(QStringLiteral("HV1")).AsString();
                sa[5] = dm.qmc.FieldByName(QStringLiteral("LV1")).AsString();
                const qint64 fdiff = qint64(ign) - ijz;
                const QString srd = (iss > 0 && fdiff > 0) || (iss < 0 && fdiff < 0) ? QStringLiteral("1")
                                                                                    : QStringLiteral("-1");
                sqw = QStringLiteral("update F03VDT  set  JGCL = ") + sa[2] + QStringLiteral(", ") +
                      QStringLiteral(" SG   = ") + sa[3] + QStringLiteral(", ") + QStringLiteral(" HG   = ") +
                      (sa[4].isEmpty() ? QStringLiteral("NULL") : sa[4]) + QStringLiteral(", ") +
                      QStringLiteral(" LG   = ") + (sa[5].isEmpty() ? QStringLiteral("NULL") : sa[5]) +
                      QStringLiteral(", ") + QStringLiteral(" RST  = ") + srd + QStringLiteral(" where (TBID = ") +
                      QString::number(iid) + QStringLiteral(") and (HCNT = ") + QString::number(ihc) +
                      QStringLiteral(") and  (YKNO = ") + dm.qvd.FieldByName(QStringLiteral("YKNO")).AsString() +
                      QStringLiteral(")");
                if (!uexSql(1)) { ok = false; break; }  // the run stays as it was
            }
            if (dm.qvd.RecNo() == dm.qvd.RecordCount() - 1 || dm.qmc.RecNo() == dm.qmc.RecordCount() - 1) break;
            dm.qvd.Next();
            dm.qmc.Next();
        }
        if (ok) tx.commit();
    }
    dm.qvd.Close();

    uq03K05(1);
    uq03K30(1);
    uq03K4H(1);
    uq03SG(2);
}
