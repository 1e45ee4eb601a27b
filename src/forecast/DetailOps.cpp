// The detail rows of forecast runs: listing one run, inserting a new run's periods,
// verification, and deleting a run's periods.
#include "app/Format.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "forecast/Forecast.h"
#include "ui/VelkorU.h"

void TVelkorF::uq03LC(int id) {
    // Common preparation: the timeframe's tables, id, thresholds and the current run.
    const Timeframe* t = tf(iasi);
    if (!t) return;
    const QString sf02 = t->trainingTable;
    const QString sf03 = t->headerTable;
    const QString sid = t->tbidText();
    const Query& hq = dm.headerQuery(t->index);
    QString shcn = hq.IsEmpty() ? QString() : hq.FieldByName(QStringLiteral("CNT")).AsString();
    if (shcn.isEmpty()) shcn = QStringLiteral("0");
    const double dbb = t->dbb;
    const double dbs = t->dbs;
    stdb = QStringLiteral("csq");
    stnm.clear();
    Q_UNUSED(sf02);

    switch (id) {
    case 1: {  // the current run's periods in the detail grid
        stnm = QStringLiteral("F03VDT");
        swh = QStringLiteral(" where (TBID = ") + sid + QStringLiteral(") and (HCNT = ") + shcn +
              QStringLiteral(") order by CNT ");
        ucSql(1);
        dm.q4.Close();
        dm.q4.setSql(sqw);
        dm.q4.Open();
        dm.q4.First();
        applyDisplayWidths(dm.q4, stnm);
        return;
    }
    case 2: {  // the periods of the run just stored, from the placeholder rows in qmc
        dm.qmc.First();  // the base bar
        sa.clear(11, 30);
        stnm = QStringLiteral("F03VDT");
        qint64 detail = GetNewId(QStringLiteral("CNT")).toLongLong();
        int ykno = 1;
        for (int k = 0; k < ityk; ++k) {
            if (dm.qmc.RecNo() + 1 >= dm.qmc.RecordCount())
                throw VelkorError(QStringLiteral("学習テーブル %1 の予測行が %2 行足りません").arg(sf02).arg(ityk - k));
            dm.qmc.Next();
            const double ddc = dm.qmc.FieldByName(QStringLiteral("M053")).AsFloat();
            sa[11] = QString::number(detail);
            sa[12] = sid;
            sa[13] = sf03;
            sa[14] = shcn;
            sa[15] = QString::number(ykno);
            sa[16] = dm.qmc.FieldByName(QStringLiteral("CV1")).AsString();
            sa[17].clear();
            sa[18].clear();
            sa[19] = dm.qmc.FieldByName(QStringLiteral("HV1")).AsString();
            sa[20] = dm.qmc.FieldByName(QStringLiteral("LV1")).AsString();
            sa[21] = fmt::frac8(ddc);
            sa[22] = QString::number(forecast::signal(ddc, dbb, dbs));
            sa[23].clear();
            ucSql(2);
            if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("予測明細を書き込めません"), sqw));
            ++detail;
            ++ykno;
        }
        return;
    }
    case 3:
        verifyPending();
        return;
    case 4: {  // delete the current run's periods
        sqw = QStringLiteral(" delete from F03VDT ") + QStringLiteral(" where (TBID = ") + sid +
              QStringLiteral(") and (HCNT = ") + shcn + QStringLiteral(") ");
        if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("予測明細を削除できません"), sqw));
        return;
    }
    default:
        return;
    }
}
