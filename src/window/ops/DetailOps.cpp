// The detail rows of forecast runs: inserting a new run's periods and deleting a run's.
#include "app/Format.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "forecast/Forecast.h"
#include "window/VelkorU.h"

void TVelkorF::deleteDetails(const Timeframe& t, const QString& hcnt) {
    const SqlText remove = QStringLiteral(" delete from F03VDT ") + QStringLiteral(" where (TBID = ") + t.tbidText() +
                           QStringLiteral(") and (HCNT = ") + sqlb::keyLiteral(hcnt) + QStringLiteral(") ");
    if (!execute(Db::File, remove)) throw VelkorError(texts::sqlError(QStringLiteral("予測明細を削除できません"), remove));
}

// The periods of the run `hcnt` just stored, from the placeholder rows of the period rows
// (after the base bar), each with its signal.
void TVelkorF::insertDetails(const Timeframe& t, const QString& hcnt) {
    data.periodRows.First();  // the base bar
    Slots values;
    qint64 detail = newNumber(QStringLiteral("F03VDT"), QStringLiteral("CNT")).toLongLong();
    for (int ykno = 1; ykno <= t.periods; ++ykno, ++detail) {
        if (data.periodRows.RecNo() + 1 >= data.periodRows.RecordCount())
            throw VelkorError(QStringLiteral("学習テーブル %1 の予測行が %2 行足りません").arg(t.trainingTable).arg(t.periods - ykno + 1));
        data.periodRows.Next();
        const double ddc = data.periodRows.FieldByName(QStringLiteral("M053")).AsFloat();
        values[11] = QString::number(detail);
        values[12] = t.tbidText();
        values[13] = t.headerTable;
        values[14] = hcnt;
        values[15] = QString::number(ykno);
        values[16] = data.periodRows.FieldByName(QStringLiteral("CV1")).AsString();
        values[17].clear();
        values[18].clear();
        values[19] = data.periodRows.FieldByName(QStringLiteral("HV1")).AsString();
        values[20] = data.periodRows.FieldByName(QStringLiteral("LV1")).AsString();
        values[21] = fmt::frac8(ddc);
        values[22] = QString::number(forecast::signal(ddc, t.buyThreshold, t.sellThreshold));
        values[23].clear();
        const SqlText insert = insertStatement(QStringLiteral("F03VDT"), values);
        if (!execute(Db::File, insert)) throw VelkorError(texts::sqlError(QStringLiteral("予測明細を書き込めません"), insert));
    }
}
