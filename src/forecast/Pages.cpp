// The timeframe result pages: newest run in labels, result grid and chart; the run list of
// page "51:検証" with its delete command; the storing step of a forecast run.
#include <sqlite3.h>

#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QTableWidget>
#include <QTime>
#include <array>
#include <vector>

#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "forecast/Forecast.h"
#include "ui/Chart.h"
#include "ui/TextGrid.h"
#include "ui/VelkorU.h"

namespace forecast {

void beginWrite(Connection& c) {
    // SQLite opens a file it may not write read-only and only refuses the first change.
    if (c.isOpen() && sqlite3_db_readonly(c.handle(), "main") == 1)
        throw VelkorError(texts::fileWriteError(c.database(), QStringLiteral("読み取り専用です")));
    QString why;
    if (!execOne(c, QStringLiteral("begin immediate"), &why)) throw VelkorError(texts::fileWriteError(c.database(), why));
}

void widthsAtOnce(Query& q, QueryObserver* observer, const std::function<void()>& set) {
    q.setObserver(nullptr);
    try {
        set();
    } catch (...) {
        q.setObserver(observer);
        throw;
    }
    q.setObserver(observer);
    if (observer) observer->widthsSet();
}

QString signalText(int sgn) {
    return sgn == 1 ? QStringLiteral("買") : sgn == -1 ? QStringLiteral("売") : QString();
}

QString resultText(int rst) {
    return rst == 1 ? QStringLiteral("○") : rst == -1 ? QStringLiteral("×") : QString();
}

QString periodTime(const QString& hm, int p, int stepSeconds) {
    QTime t = QTime::fromString(hm.trimmed(), QStringLiteral("hh:mm"));
    if (!t.isValid()) t = QTime::fromString(hm.trimmed(), QStringLiteral("H:mm"));
    if (!t.isValid()) return {};
    // addSecs wraps at midnight; the step count is reduced first so it cannot overflow.
    const qint64 secs = (qint64(p) * stepSeconds) % 86400;
    return t.addSecs(int(secs)).toString(QStringLiteral("HH:mm"));
}

}  // namespace forecast

namespace {

const QString rowTitles[] = {QStringLiteral("予測分"), QStringLiteral("予測額"), QStringLiteral("実終値"),
                             QStringLiteral("売  買"), QStringLiteral("合  否")};

// Empties the period columns of a result grid (the titles stay).
void clearPeriods(QTableWidget* g) {
    for (int r = 0; r < g->rowCount(); ++r)
        for (int c = 1; c < g->columnCount(); ++c) setGridCell(g, r, c, QString());
}

}  // namespace

void TVelkorF::uq03K05(int id) { iasi = 5; uq03K(id); }
void TVelkorF::uq03K30(int id) { iasi = 30; uq03K(id); }
void TVelkorF::uq03K4H(int id) { iasi = 80; uq03K(id); }

void TVelkorF::uq03K(int id) {
    const Timeframe* t = tf(iasi);
    if (!t) return;
    const int code = t->code;
    stdb = QStringLiteral("csq");
    stnm = t->headerTable;
    swh = QStringLiteral(" order by cnt ");
    ityk = t->ityk;
    Page& pg = page(t->index);
    Query& hq = dm.headerQuery(t->index);
    // The header list in CNT order, on its newest run.
    auto reopenHeaders = [&] {
        stdb = QStringLiteral("csq");
        stnm = t->headerTable;
        swh = QStringLiteral(" order by cnt ");
        ucSql(1);
        hq.Close();
        hq.setSql(sqw);
        hq.Open();
        hq.Last();
        forecast::widthsAtOnce(hq, dm.headerSource(t->index), [&] { applyDisplayWidths(hq, t->headerTable); });
    };
    // Operation 6 in two steps: what the page shows of the current run is read from the
    // databases first (the details into qw and, for the chart, into q4), then shown.
    struct Shown {
        QString cnt, hm, dt, cv, rd, ln, ms, lt;
        std::vector<std::array<QString, 5>> periods;  // rows 0 to 4 of grid columns 1 to ityk
        bool chart = false;
        ChartRun run;
    };
    auto readShown = [&] {
        Shown s;
        auto field = [&](const char* f) { return hq.FieldByName(QString::fromLatin1(f)).AsString(); };
        s.cnt = field("CNT");
        s.hm = field("HM");
        s.dt = field("DT");
        s.cv = field("CV");
        s.rd = field("RD");
        s.ln = field("LN");
        s.ms = field("MSE");
        s.lt = field("LT");
        if (!s.cnt.isEmpty()) {
            stnm = QStringLiteral("F03VDT");
            swh = QStringLiteral(" where (TBID = ") + t->tbidText() + QStringLiteral(") and (HCNT = ") + s.cnt +
                  QStringLiteral(") order by CNT ");
            ucSql(1);
            dm.qw.Close();
            dm.qw.setConnection(&dm.csq);
            dm.qw.setSql(sqw);
            dm.qw.Open();
            const int rows = dm.qw.RecordCount();
            for (int p = 1; p <= ityk; ++p) {
                const bool has = p <= rows;
                auto value = [&](const char* f) {
                    return has ? dm.qw.FieldByName(QString::fromLatin1(f)).AsString() : QString();
                };
                s.periods.push_back(
                    {forecast::periodTime(s.hm, p, t->periodSeconds), value("YGCL"), value("JGCL"),
                     has ? forecast::signalText(dm.qw.FieldByName(QStringLiteral("SGN")).AsInteger()) : QString(),
                     has ? forecast::resultText(dm.qw.FieldByName(QStringLiteral("RST")).AsInteger()) : QString()});
                dm.qw.Next();
            }
            dm.qw.Close();
        }
        // The chart's labels are the base time and the period times as the grid will hold them.
        auto label = [&](int i) {
            if (i == 0) return s.hm;
            const bool cell = pg.sg->rowCount() > 0 && i < pg.sg->columnCount() && i <= int(s.periods.size());
            return cell ? s.periods[size_t(i - 1)][0] : QString();
        };
        s.chart = readChartRun(*this, code, label, s.run);
        return s;
    };
    auto show = [&](const Shown& s) {
        pg.dt2E->setText(s.dt);
        pg.hmL->setText(s.hm);
        pg.cv2L->setText(s.cv);
        pg.cntL->setText(s.cnt);
        pg.rd2L->setText(s.rd);
        pg.ln2L->setText(s.ln);
        pg.ms2L->setText(s.ms);
        pg.lt2L->setText(s.lt);
        // No run: nothing of an earlier (deleted) run stays on the page.
        if (s.cnt.isEmpty()) clearPeriods(pg.sg);
        for (int p = 1; p <= int(s.periods.size()); ++p)
            for (int r = 0; r < 5; ++r) setGridCell(pg.sg, r, p, s.periods[size_t(p - 1)][size_t(r)]);
        if (s.chart) drawVerificationChart(pg.cht, s.run);
        else clearVerificationChart(pg.cht);
    };

    switch (id) {
    case 1: {  // refresh the header list and show the newest run
        reopenHeaders();
        uq03LC(1);
        iasi = code;
        uq03K(6);
        return;
    }
    case 2: {  // store the run just forecast: header and details as one unit
        const QString countBefore = pg.cntL->text();
        forecast::beginWrite(dm.csq);
        try {
            // The base bar of the training rows the run has just read into qm (the browse
            // query may not show the table yet).
            Query& rows = dm.qm;
            rows.Last();
            rows.MoveBy(-ityk);
            uq03K(4);
            const QString passes = pg.ln1E->text().trimmed();
            const QString days = pg.rd1E->text().trimmed();
            sa.clear(11, 20);
            sa[11] = pg.cntL->text();
            sa[12] = t->tbidText();
            sa[13] = t->headerTable;
            sa[14] = rows.FieldByName(QStringLiteral("LYMD")).AsString();
            sa[15] = rows.FieldByName(QStringLiteral("LHM")).AsString();
            sa[16] = rows.FieldByName(QStringLiteral("CV1")).AsString();
            // Integer columns: a text that is no number stores an unknown read-days setting
            // and the passes actually made (none), instead of losing the run.
            bool daysOk = false, passesOk = false;
            const int nDays = days.toInt(&daysOk), nPasses = passes.toInt(&passesOk);
            sa[17] = daysOk ? QString::number(nDays) : QString();
            sa[18] = passesOk ? QString::number(nPasses) : passes.isEmpty() ? QString() : QStringLiteral("0");
            sa[19] = sa[3];
            sa[20] = sa[4];
            stnm = t->headerTable;
            ucSql(2);
            if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("予測の記録を書き込めません"), sqw));
            // The header list with the new run; the page shows the run once its details
            // are stored (operation 6 below).
            reopenHeaders();
            rows.Last();
            const int from = rows.FieldByName(QStringLiteral("CNT")).AsInteger() - ityk;
            sa[1] = QString::number(from);
            stdb = QStringLiteral("csm");
            stnm = t->trainingTable;
            // The rows are found by their rowids when the read gave them (the CNT condition
            // stays, so the select gives the same rows): with integer CNTs in order, the last.
            QString byRowid;
            if (const std::optional<std::vector<qint64>> ids = forecast::rowids(rows)) {
                const int cnt = rows.FieldIndex(QStringLiteral("CNT"));
                int first = rows.RecordCount();
                while (first > 0 && rows.IntAt(first - 1, cnt) >= from) --first;
                byRowid = forecast::rowidList(*ids, first, rows.RecordCount() - 1);
            }
            swh = QStringLiteral(" where ") + byRowid + QStringLiteral("CNT >= ") + sa[1] + QStringLiteral(" order by CNT ");
            ucSql(1);
            dm.qmc.Close();
            dm.qmc.setSql(sqw);
            dm.qmc.Open();
            iasi = code;
            uq03LC(2);
            // Operation 6: the page is read with the new rows and shows them once they are
            // committed.
            iasi = code;
            stdb = QStringLiteral("csq");
            stnm = t->headerTable;
            swh = QStringLiteral(" order by cnt ");
            ityk = t->ityk;
            const Shown page6 = readShown();
            execOrThrow(dm.csq, QStringLiteral("COMMIT"));
            show(page6);
        } catch (...) {
            execOne(dm.csq, QStringLiteral("ROLLBACK"));
            // The page shows what is stored again.
            iasi = code;
            bool shown = false;
            try {
                uq03K(1);
                shown = true;
            } catch (...) {
            }
            if (!shown || hq.IsEmpty()) pg.cntL->setText(countBefore);
            iasi = code;
            throw;
        }
        iasi = code;
        return;
    }
    case 3: {  // verify every pending forecast, then refresh
        uq03LC(3);
        iasi = code;
        // The 4-hour page keeps the run selected in its list; the others move to the newest.
        if (code == 80) {
            uq03K(6);
            uq03MCT(code);
        } else {
            uq03K(1);
        }
        return;
    }
    case 4:  // a new run number into the count label
        pg.cntL->setText(GetNewId(QStringLiteral("CNT")));
        return;
    case 5: {  // reset the page at start-up
        if (const std::array<int, 2>* rl = rdLn(code)) {
            pg.ln1E->setText(QString::number((*rl)[1]));
            pg.rd1E->setText(QString::number((*rl)[0]));
        }
        pg.dt2E->clear();
        for (QLabel* l : {pg.hmL, pg.cv2L, pg.cntL, pg.rd2L, pg.ln2L, pg.ms2L, pg.lt2L}) l->clear();
        QTableWidget* g = pg.sg;
        g->clearContents();
        g->setRowCount(5);
        g->setColumnCount(ityk + 1);
        g->horizontalHeader()->setDefaultSectionSize(100);
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c <= ityk; ++c) setGridCell(g, r, c, c == 0 ? rowTitles[r] : QString());
        uq03K(1);
        return;
    }
    case 6:  // show the current run: labels, result grid, chart
        show(readShown());
        return;
    case 7: {  // delete the current run after confirmation
        if (hq.IsEmpty()) {
            dialogs().message(texts::nothingToDelete);
            return;
        }
        const QString which = texts::runToDelete(hq.FieldByName(QStringLiteral("CNT")).AsString(),
                                                 hq.FieldByName(QStringLiteral("DT")).AsString(),
                                                 hq.FieldByName(QStringLiteral("HM")).AsString());
        if (!dialogs().confirmOkCancel(t->deleteConfirm, which)) return;
        const QString cnt = hq.FieldByName(QStringLiteral("CNT")).AsString();
        forecast::beginWrite(dm.csq);
        try {
            iasi = code;
            uq03LC(4);
            sqw = QStringLiteral("delete from ") + t->headerTable + QStringLiteral(" ") +
                  QStringLiteral(" where CNT = ") + (cnt.isEmpty() ? QStringLiteral("NULL") : cnt);
            if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("削除できません"), sqw));
            execOrThrow(dm.csq, QStringLiteral("COMMIT"));
        } catch (...) {
            execOne(dm.csq, QStringLiteral("ROLLBACK"));
            throw;
        }
        iasi = code;
        uq03K(1);
        return;
    }
    default:
        return;
    }
}
