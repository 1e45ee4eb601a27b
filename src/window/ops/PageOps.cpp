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
    std::vector<std::array<QString, 5>> periods;  // rows 0 to 4 of grid columns 1 to the periods
    bool chart = false;
    ChartRun run;
};

TVelkorF::Page& TVelkorF::page(const Timeframe& t) { return pages_[size_t(t.index)]; }

void TVelkorF::refreshPage(const Timeframe& t) {
    reopenHeaders(t);
    // The detail grid stays on the run list that was highlighted last.
    if (t.index == detailsTimeframe_) showRunDetails(t);
    showRun(t, readShownRun(t));
}

void TVelkorF::verifyAndShow(const Timeframe& t) {
    verifyPending();
    // A page keeps the run selected in its list, or moves to the newest.
    if (t.verifyKeepsRun) {
        showRun(t, readShownRun(t));
        drawChart(t);
    } else {
        refreshPage(t);
    }
}

void TVelkorF::showNewRunNumber(const Timeframe& t) {
    // Above every number of the timeframe's headers and of its detail rows: a detail row left
    // without its header is never taken over by a new run.
    const qint64 header = newNumber(t.headerTable, QStringLiteral("CNT")).toLongLong();
    Query q(QStringLiteral("runs"), &data.file, QStringLiteral("select Max(HCNT) from F03VDT where TBID = ") + t.tbidText());
    q.Open();
    const DbValue last = q.ValueAt(0, 0);
    const qint64 detail = last.isNull() ? 1 : last.asInt64() + 1;
    if (detail > std::numeric_limits<int>::max()) throw VelkorError(texts::noNewNumber(QStringLiteral("F03VDT")));
    page(t).cntL->setText(QString::number(std::max(header, detail)));
}

void TVelkorF::showCurrentRun(const Timeframe& t) { showRun(t, readShownRun(t)); }

QString TVelkorF::currentRunNumber(const Timeframe& t) {
    const Query& hq = data.headerQuery(t.index);
    const QString cnt = hq.IsEmpty() ? QString() : hq.FieldByName(QStringLiteral("CNT")).AsString();
    return cnt.isEmpty() ? QStringLiteral("0") : cnt;
}

void TVelkorF::showRunDetails(const Timeframe& t) {
    detailsTimeframe_ = t.index;
    openOnTable(data.runDetails, Db::File, QStringLiteral("F03VDT"), detailsOf(t, currentRunNumber(t)));
    data.runDetails.First();
}

// The header list in CNT order, on its newest run.
void TVelkorF::reopenHeaders(const Timeframe& t) {
    openOnTable(data.headerQuery(t.index), Db::File, t.headerTable, QStringLiteral(" order by cnt "));
}

// The current run as the page will show it, read from the databases (its details into the
// scratch query and, for the chart, into the run's details).
TVelkorF::ShownRun TVelkorF::readShownRun(const Timeframe& t) {
    ShownRun s;
    const Query& hq = data.headerQuery(t.index);
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
        openOnTable(data.scratch, Db::File, QStringLiteral("F03VDT"), detailsOf(t, s.cnt), false);
        data.scratch.First();
        const int rows = data.scratch.RecordCount();
        for (int p = 1; p <= t.periods; ++p) {
            const bool has = p <= rows;
            auto value = [&](const char* f) { return has ? data.scratch.FieldByName(QString::fromLatin1(f)).AsString() : QString(); };
            auto code = [&](const char* f) { return has ? data.scratch.FieldByName(QString::fromLatin1(f)).AsInteger() : 0; };
            s.periods.push_back({forecast::periodTime(s.hm, p, t.periodSeconds), value("YGCL"), value("JGCL"),
                                 forecast::signalText(code("SGN")), forecast::resultText(code("RST"))});
            data.scratch.Next();
        }
        data.scratch.Close();
    }
    // The chart's labels are the base time and the period times as the grid will hold them.
    const QTableWidget* grid = page(t).sg;
    auto label = [&](int i) {
        if (i == 0) return s.hm;
        const bool cell = grid->rowCount() > 0 && i < grid->columnCount() && i <= int(s.periods.size());
        return cell ? s.periods[size_t(i - 1)][0] : QString();
    };
    s.chart = readChartRun(t, label, s.run);
    return s;
}

// Shows a run read by readShownRun: labels, result grid and chart.
void TVelkorF::showRun(const Timeframe& t, const ShownRun& s) {
    Page& pg = page(t);
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

// The header of the run just forecast and its details, as one unit, from the browse query's
// rows; then the page shows the run.
void TVelkorF::storeRun(const Timeframe& t, const QString& mseText, const QString& timeText) {
    Page& pg = page(t);
    const QString countBefore = pg.cntL->text();
    Transaction tx(data.file, Transaction::Immediate);
    try {
        Query& rows = data.trainingQuery(t.index);
        rows.Last();
        rows.MoveBy(-t.periods);
        showNewRunNumber(t);
        Slots header;
        fillHeaderSlots(t, rows, header, mseText, timeText);
        const SqlText insert = insertStatement(t.headerTable, header);
        if (!execute(Db::File, insert)) throw VelkorError(texts::sqlError(QStringLiteral("予測の記録を書き込めません"), insert));
        reopenHeaders(t);
        rows.Last();
        const QString base = QString::number(rows.FieldByName(QStringLiteral("CNT")).AsInteger() - t.periods);
        openOnTable(data.periodRows, Db::Memory, t.trainingTable,
                    QStringLiteral(" where CNT >= ") + base + QStringLiteral(" order by CNT "), false);
        insertDetails(t, currentRunNumber(t));
        const ShownRun shown = readShownRun(t);
        tx.commit();
        showRun(t, shown);
    } catch (...) {
        tx.rollback();
        // The page shows what is stored again.
        bool shown = false;
        try {
            refreshPage(t);
            shown = true;
        } catch (...) {
        }
        if (!shown || data.headerQuery(t.index).IsEmpty()) pg.cntL->setText(countBefore);
        throw;
    }
}

// The header's values in slots 11 to 20, the base bar being the current row of `rows`.
void TVelkorF::fillHeaderSlots(const Timeframe& t, const Query& rows, Slots& values, const QString& mseText,
                               const QString& timeText) {
    const Page& pg = page(t);
    const QString passes = pg.ln1E->text().trimmed();
    const QString days = pg.rd1E->text().trimmed();
    values[11] = pg.cntL->text();
    values[12] = t.tbidText();
    values[13] = t.headerTable;
    values[14] = rows.FieldByName(QStringLiteral("LYMD")).AsString();
    values[15] = rows.FieldByName(QStringLiteral("LHM")).AsString();
    values[16] = rows.FieldByName(QStringLiteral("CV1")).AsString();
    // Integer columns: a text that is no number stores an unknown read-days setting and the
    // passes actually made (none), instead of losing the run.
    bool daysOk = false, passesOk = false;
    const int nDays = days.toInt(&daysOk), nPasses = passes.toInt(&passesOk);
    values[17] = daysOk ? QString::number(nDays) : QString();
    values[18] = passesOk ? QString::number(nPasses) : passes.isEmpty() ? QString() : QStringLiteral("0");
    values[19] = mseText;
    values[20] = timeText;
}

// The page as a start-up leaves it before the first run is shown.
void TVelkorF::resetPage(const Timeframe& t) {
    Page& pg = page(t);
    pg.ln1E->setText(QString::number(settings[size_t(t.index)].passes));
    pg.rd1E->setText(QString::number(settings[size_t(t.index)].readDays));
    pg.dt2E->clear();
    for (QLabel* l : {pg.hmL, pg.cv2L, pg.cntL, pg.rd2L, pg.ln2L, pg.ms2L, pg.lt2L}) l->clear();
    QTableWidget* g = pg.sg;
    g->clearContents();
    g->setRowCount(5);
    g->setColumnCount(t.periods + 1);
    g->horizontalHeader()->setDefaultSectionSize(100);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c <= t.periods; ++c) setGridCell(g, r, c, c == 0 ? rowTitles[r] : QString());
    refreshPage(t);
}

// The current run and its details, after confirmation.
void TVelkorF::deleteRun(const Timeframe& t) {
    const Query& hq = data.headerQuery(t.index);
    if (hq.IsEmpty()) {
        dialogs().message(texts::nothingToDelete);
        return;
    }
    const QString which = texts::runToDelete(hq.FieldByName(QStringLiteral("CNT")).AsString(),
                                             hq.FieldByName(QStringLiteral("DT")).AsString(),
                                             hq.FieldByName(QStringLiteral("HM")).AsString());
    showRunDetails(t);  // the detail grid shows the run the confirmation names
    if (!dialogs().confirmOkCancel(t.deleteConfirm, which)) return;
    const QString cnt = hq.FieldByName(QStringLiteral("CNT")).AsString();
    {
        Transaction tx(data.file, Transaction::Immediate);
        deleteDetails(t, currentRunNumber(t));
        const SqlText remove = QStringLiteral("delete from ") + t.headerTable + QStringLiteral(" ") +
                               QStringLiteral(" where CNT = ") + sqlb::keyLiteral(cnt);
        if (!execute(Db::File, remove)) throw VelkorError(texts::sqlError(QStringLiteral("削除できません"), remove));
        tx.commit();
    }
    refreshPage(t);
}

// The labels of the base bar and of the periods as the page shows them.
void TVelkorF::drawChart(const Timeframe& t) {
    Page& pg = page(t);
    auto label = [&](int i) {
        if (i == 0) return pg.hmL->text();
        const QTableWidgetItem* cell = pg.sg->item(0, i);
        return cell ? cell->text() : QString();
    };
    ChartRun run;
    if (readChartRun(t, label, run)) drawVerificationChart(pg.cht, run);
    else clearVerificationChart(pg.cht);  // no run to draw: the chart shows nothing rather than an earlier run
}

// The page's current run for its chart: its details into the run's details query with their
// display widths. `label(0)` is the base bar's time text, `label(i)` that of period i. False
// when there is no run.
bool TVelkorF::readChartRun(const Timeframe& t, const std::function<QString(int)>& label, ChartRun& run) {
    Query& hq = data.headerQuery(t.index);
    const QString cnt = hq.FieldByName(QStringLiteral("CNT")).AsString();
    if (hq.IsEmpty() || cnt.isEmpty()) return false;
    Query& details = data.chartDetails;
    details.Close();
    details.setSql(selectStatement(QStringLiteral("F03VDT"), detailsOf(t, cnt)));
    details.Open();
    applyDisplayWidths(details, QStringLiteral("F03VDT"));

    run = ChartRun();
    run.series = t.index + 1;
    run.title = t.chartTitle;
    run.baseLabel = label(0);
    run.baseClose = hq.FieldByName(QStringLiteral("CV")).AsInteger();
    run.sellAtLow = t.sellAtLow;
    details.First();
    for (int i = 1; i <= t.periods && !details.IsEmpty(); ++i) {
        ChartRun::Period p;
        p.label = label(i);
        p.ygcl = details.FieldByName(QStringLiteral("YGCL")).AsInteger();
        p.jgcl = details.FieldByName(QStringLiteral("JGCL")).AsInteger();
        p.hg = details.FieldByName(QStringLiteral("HG")).AsInteger();
        p.lg = details.FieldByName(QStringLiteral("LG")).AsInteger();
        p.sgn = details.FieldByName(QStringLiteral("SGN")).AsInteger();
        run.periods.push_back(p);
        if (details.RecNo() + 1 >= details.RecordCount()) break;  // a run never has fewer rows; never repeat one
        details.Next();
    }
    return true;
}
