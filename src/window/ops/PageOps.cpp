// The timeframe result pages: newest run in labels, result grid and chart; the run list of
// page "51:検証" with its delete command; the storing step of a forecast run.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include <limits>

#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "db/Transaction.h"
#include "forecast/Forecast.h"
#include "window/Chart.h"
#include "window/TextGrid.h"
#include "window/VelkorU.h"

namespace {
const QString rowTitles[] = {QStringLiteral("予測分"), QStringLiteral("予測額"), QStringLiteral("実終値"),
                             QStringLiteral("売  買"), QStringLiteral("合  否")};
}  // namespace

// What the page shows of the current run of its header list.
struct TVelkorF::ShownRun {
    QString cnt, hm, dt, cv, rd, ln, ms, lt;
    std::vector<std::array<QString, 5>> periods;  // rows 0 to 4 of grid columns 1 to ityk
    bool chart = false;
    ChartRun run;
};

void TVelkorF::uq03K05(int id) { iasi = 5; uq03K(id); }
void TVelkorF::uq03K30(int id) { iasi = 30; uq03K(id); }
void TVelkorF::uq03K4H(int id) { iasi = 80; uq03K(id); }

void TVelkorF::uq03K(int id) {
    const Timeframe* t = tf(iasi);
    if (!t) return;
    stdb = QStringLiteral("csq");
    stnm = t->headerTable;
    swh = QStringLiteral(" order by cnt ");
    ityk = t->ityk;
    Page& pg = page(t->index);
    switch (id) {
    case 1:  // refresh the header list and show the newest run
        reopenHeaders(*t);
        uq03LC(1);
        iasi = t->code;
        showRun(*t, readShownRun(*t));
        return;
    case 2:  // store the run just forecast
        storeRun(*t);
        return;
    case 3:  // verify every pending forecast, then refresh
        uq03LC(3);
        iasi = t->code;
        // A page keeps the run selected in its list, or moves to the newest.
        if (t->verifyKeepsRun) {
            showRun(*t, readShownRun(*t));
            uq03MCT(t->code);
        } else {
            uq03K(1);
        }
        return;
    case 4: {  // a new run number into the count label: above every number of the timeframe's
               // headers and of its detail rows (a detail row left without its header is
               // never taken over by a new run)
        const qint64 header = GetNewId(QStringLiteral("CNT")).toLongLong();
        Query q(QStringLiteral("runs"), &dm.csq,
                QStringLiteral("select Max(HCNT) from F03VDT where TBID = ") + t->tbidText());
        q.Open();
        const DbValue last = q.ValueAt(0, 0);
        const qint64 detail = last.isNull() ? 1 : last.asInt64() + 1;
        if (detail > std::numeric_limits<int>::max()) throw VelkorError(texts::noNewNumber(QStringLiteral("F03VDT")));
        pg.cntL->setText(QString::number(std::max(header, detail)));
        return;
    }
    case 5:
        resetPage(*t);
        return;
    case 6:  // show the current run: labels, result grid, chart
        showRun(*t, readShownRun(*t));
        return;
    case 7:
        deleteRun(*t);
        return;
    default:
        return;
    }
}

// The header list in CNT order, on its newest run.
void TVelkorF::reopenHeaders(const Timeframe& t) {
    openOnTable(dm.headerQuery(t.index), QStringLiteral("csq"), t.headerTable, QStringLiteral(" order by cnt "));
}

// Operation 6, first half: the current run as the page will show it, read from the databases
// (its details into qw and, for the chart, into q4).
TVelkorF::ShownRun TVelkorF::readShownRun(const Timeframe& t) {
    ShownRun s;
    const Query& hq = dm.headerQuery(t.index);
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
        openOnTable(dm.qw, QStringLiteral("csq"), QStringLiteral("F03VDT"), detailsOf(t, s.cnt), false);
        dm.qw.First();
        const int rows = dm.qw.RecordCount();
        for (int p = 1; p <= t.ityk; ++p) {
            const bool has = p <= rows;
            auto value = [&](const char* f) { return has ? dm.qw.FieldByName(QString::fromLatin1(f)).AsString() : QString(); };
            auto code = [&](const char* f) { return has ? dm.qw.FieldByName(QString::fromLatin1(f)).AsInteger() : 0; };
            s.periods.push_back({forecast::periodTime(s.hm, p, t.periodSeconds), value("YGCL"), value("JGCL"),
                                 forecast::signalText(code("SGN")), forecast::resultText(code("RST"))});
            dm.qw.Next();
        }
        dm.qw.Close();
    }
    // The chart's labels are the base time and the period times as the grid will hold them.
    const QTableWidget* grid = page(t.index).sg;
    auto label = [&](int i) {
        if (i == 0) return s.hm;
        const bool cell = grid->rowCount() > 0 && i < grid->columnCount() && i <= int(s.periods.size());
        return cell ? s.periods[size_t(i - 1)][0] : QString();
    };
    s.chart = readChartRun(*this, t.code, label, s.run);
    return s;
}

// Operation 6, second half: labels, result grid and chart.
void TVelkorF::showRun(const Timeframe& t, const ShownRun& s) {
    Page& pg = page(t.index);
    pg.dt2E->setText(s.dt);
    pg.hmL->setText(s.hm);
    pg.cv2L->setText(s.cv);
    pg.cntL->setText(s.cnt);
    pg.rd2L->setText(s.rd);
    pg.ln2L->setText(s.ln);
    pg.ms2L->setText(s.ms);
    pg.lt2L->setText(s.lt);
    // No run: nothing of an earlier (deleted) run stays on the page.
    if (s.cnt.isEmpty())
        for (int r = 0; r < pg.sg->rowCount(); ++r)
            for (int c = 1; c < pg.sg->columnCount(); ++c) setGridCell(pg.sg, r, c, QString());
    for (int p = 1; p <= int(s.periods.size()); ++p)
        for (int r = 0; r < 5; ++r) setGridCell(pg.sg, r, p, s.periods[size_t(p - 1)][size_t(r)]);
    if (s.chart) drawVerificationChart(pg.cht, s.run);
    else clearVerificationChart(pg.cht);
}

// " where (TBID = ..) and (HCNT = ..) order by CNT ": the detail rows of one run.
QString TVelkorF::detailsOf(const Timeframe& t, const QString& hcnt) {
    return QStringLiteral(" where (TBID = ") + t.tbidText() + QStringLiteral(") and (HCNT = ") + sqlb::keyLiteral(hcnt) +
           QStringLiteral(") order by CNT ");
}

// Operation 2: the header of the run just forecast and its details, as one unit, from the
// browse query's rows; then the page shows the run.
void TVelkorF::storeRun(const Timeframe& t) {
    Page& pg = page(t.index);
    const QString countBefore = pg.cntL->text();
    Transaction tx(dm.csq, Transaction::Immediate);
    try {
        Query& rows = dm.trainingQuery(t.index);
        rows.Last();
        rows.MoveBy(-ityk);
        uq03K(4);
        fillHeaderSlots(t, rows);
        stnm = t.headerTable;
        ucSql(2);
        if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("予測の記録を書き込めません"), sqw));
        reopenHeaders(t);
        rows.Last();
        sa[1] = QString::number(rows.FieldByName(QStringLiteral("CNT")).AsInteger() - t.ityk);
        openOnTable(dm.qmc, QStringLiteral("csm"), t.trainingTable,
                    QStringLiteral(" where CNT >= ") + sa[1] + QStringLiteral(" order by CNT "), false);
        iasi = t.code;
        uq03LC(2);
        iasi = t.code;
        ityk = t.ityk;
        const ShownRun shown = readShownRun(t);
        tx.commit();
        showRun(t, shown);
    } catch (...) {
        tx.rollback();
        // The page shows what is stored again.
        iasi = t.code;
        bool shown = false;
        try {
            uq03K(1);
            shown = true;
        } catch (...) {
        }
        if (!shown || dm.headerQuery(t.index).IsEmpty()) pg.cntL->setText(countBefore);
        iasi = t.code;
        throw;
    }
    iasi = t.code;
}

// The header's values in slots 11 to 20, the base bar being the current row of `rows`.
void TVelkorF::fillHeaderSlots(const Timeframe& t, const Query& rows) {
    const Page& pg = page(t.index);
    const QString passes = pg.ln1E->text().trimmed();
    const QString days = pg.rd1E->text().trimmed();
    sa.clear(11, 20);
    sa[11] = pg.cntL->text();
    sa[12] = t.tbidText();
    sa[13] = t.headerTable;
    sa[14] = rows.FieldByName(QStringLiteral("LYMD")).AsString();
    sa[15] = rows.FieldByName(QStringLiteral("LHM")).AsString();
    sa[16] = rows.FieldByName(QStringLiteral("CV1")).AsString();
    // Integer columns: a text that is no number stores an unknown read-days setting and the
    // passes actually made (none), instead of losing the run.
    bool daysOk = false, passesOk = false;
    const int nDays = days.toInt(&daysOk), nPasses = passes.toInt(&passesOk);
    sa[17] = daysOk ? QString::number(nDays) : QString();
    sa[18] = passesOk ? QString::number(nPasses) : passes.isEmpty() ? QString() : QStringLiteral("0");
    sa[19] = sa[3];
    sa[20] = sa[4];
}

// Operation 5: the page as a start-up leaves it before the first run is shown.
void TVelkorF::resetPage(const Timeframe& t) {
    Page& pg = page(t.index);
    const std::array<int, 2>& rl = this->*t.rdLn;
    pg.ln1E->setText(QString::number(rl[1]));
    pg.rd1E->setText(QString::number(rl[0]));
    pg.dt2E->clear();
    for (QLabel* l : {pg.hmL, pg.cv2L, pg.cntL, pg.rd2L, pg.ln2L, pg.ms2L, pg.lt2L}) l->clear();
    QTableWidget* g = pg.sg;
    g->clearContents();
    g->setRowCount(5);
    g->setColumnCount(t.ityk + 1);
    g->horizontalHeader()->setDefaultSectionSize(100);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c <= t.ityk; ++c) setGridCell(g, r, c, c == 0 ? rowTitles[r] : QString());
    uq03K(1);
}

// Operation 7: the current run and its details, after confirmation.
void TVelkorF::deleteRun(const Timeframe& t) {
    const Query& hq = dm.headerQuery(t.index);
    if (hq.IsEmpty()) {
        dialogs().message(texts::nothingToDelete);
        return;
    }
    const QString which = texts::runToDelete(hq.FieldByName(QStringLiteral("CNT")).AsString(),
                                             hq.FieldByName(QStringLiteral("DT")).AsString(),
                                             hq.FieldByName(QStringLiteral("HM")).AsString());
    if (!dialogs().confirmOkCancel(t.deleteConfirm, which)) return;
    const QString cnt = hq.FieldByName(QStringLiteral("CNT")).AsString();
    {
        Transaction tx(dm.csq, Transaction::Immediate);
        iasi = t.code;
        uq03LC(4);
        sqw = QStringLiteral("delete from ") + t.headerTable + QStringLiteral(" ") + QStringLiteral(" where CNT = ") +
              sqlb::keyLiteral(cnt);
        if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("削除できません"), sqw));
        tx.commit();
    }
    iasi = t.code;
    uq03K(1);
}
