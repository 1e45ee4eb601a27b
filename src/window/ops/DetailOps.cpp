// The detail rows of forecast runs: listing one run, inserting a new run's periods,
// verification, and deleting a run's periods.
#include "app/Format.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "forecast/Forecast.h"
#include "window/VelkorU.h"

void TVelkorF::uq03LC(int id) {
    const Timeframe* t = tf(iasi);
    if (!t) return;
    // The current run of the timeframe's header list ("0" when there is none).
    const Query& hq = dm.headerQuery(t->index);
    QString shcn = hq.IsEmpty() ? QString() : hq.FieldByName(QStringLiteral("CNT")).AsString();
    if (shcn.isEmpty()) shcn = QStringLiteral("0");
    stdb = QStringLiteral("csq");
    stnm.clear();
    switch (id) {
    case 1:  // the current run's periods in the detail grid
        openOnTable(dm.q4, QStringLiteral("csq"), QStringLiteral("F03VDT"), detailsOf(*t, shcn));
        dm.q4.First();
        return;
    case 2:
        insertDetails(*t, shcn);
        return;
    case 3:
        verifyPending();
        return;
    case 4:  // delete the current run's periods
        sqw = QStringLiteral(" delete from F03VDT ") + QStringLiteral(" where (TBID = ") + t->tbidText() +
              QStringLiteral(") and (HCNT = ") + sqlb::keyLiteral(shcn) + QStringLiteral(") ");
        if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("予測明細を削除できません"), sqw));
        return;
    default:
        return;
    }
}

// The periods of the run `hcnt` just stored, from the placeholder rows in qmc (after the
// base bar), each with its signal.
void TVelkorF::insertDetails(const Timeframe& t, const QString& hcnt) {
    dm.qmc.First();  // the base bar
    sa.clear(11, 30);
    stnm = QStringLiteral("F03VDT");
    qint64 detail = GetNewId(QStringLiteral("CNT")).toLongLong();
    for (int ykno = 1; ykno <= ityk; ++ykno, ++detail) {
        if (dm.qmc.RecNo() + 1 >= dm.qmc.RecordCount())
            throw VelkorError(QStringLiteral("学習テーブル %1 の予測行が %2 行足りません").arg(t.trainingTable).arg(ityk - ykno + 1));
        dm.qmc.Next();
        const double ddc = dm.qmc.FieldByName(QStringLiteral("M053")).AsFloat();
        sa[11] = QString::number(detail);
        sa[12] = t.tbidText();
        sa[13] = t.headerTable;
        sa[14] = hcnt;
        sa[15] = QString::number(ykno);
        sa[16] = dm.qmc.FieldByName(QStringLiteral("CV1")).AsString();
        sa[17].clear();
        sa[18].clear();
        sa[19] = dm.qmc.FieldByName(QStringLiteral("HV1")).AsString();
        sa[20] = dm.qmc.FieldByName(QStringLiteral("LV1")).AsString();
        sa[21] = fmt::frac8(ddc);
        sa[22] = QString::number(forecast::signal(ddc, t.dbb, t.dbs));
        sa[23].clear();
        ucSql(2);
        if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("予測明細を書き込めません"), sqw));
    }
}
