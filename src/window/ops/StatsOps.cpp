// Page "52:検証2": stored runs, hits, misses and hit rates per forecast period.
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include "app/Timeframe.h"
#include "window/TextGrid.h"
#include "window/VelkorU.h"

void TVelkorF::uq03SG(int id) {
    if (id == 1) layoutStats();
    else if (id == 2) countStats();
}

// Operation 1: the three grids with their titles and no counts.
void TVelkorF::layoutStats() {
    for (const Timeframe& t : timeframes()) {
        Page& pg = page(t.index);
        pg.statsCount->clear();
        QTableWidget* g = pg.statsGrid;
        g->clearContents();
        g->setRowCount(4);
        g->setColumnCount(6);
        g->horizontalHeader()->setDefaultSectionSize(100);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 6; ++c) setGridCell(g, r, c, QString());
    }
    for (int p = 1; p <= 4; ++p) {
        sa[1] = QStringLiteral("0") + QString::number(p) + QStringLiteral("期");
        for (const Timeframe& t : timeframes()) setGridCell(page(t.index).statsGrid, 0, p, sa[1]);
    }
    const QString titles[] = {QStringLiteral("期番"), QStringLiteral("当り数"), QStringLiteral("外れ数"),
                              QStringLiteral("当り率")};
    for (int r = 0; r < 4; ++r) {
        sa[1] = titles[r];
        for (const Timeframe& t : timeframes()) setGridCell(page(t.index).statsGrid, r, 0, sa[1]);
    }
}

// Operation 2: the run count of each timeframe, and its hits, misses and hit rate per period.
void TVelkorF::countStats() {
    for (const Timeframe& t : timeframes())
        page(t.index).statsCount->setText(QString::number(dm.headerQuery(t.index).RecordCount()));
    auto count = [this] {
        dm.qw.Close();
        dm.qw.setConnection(&dm.csq);
        sqw = sa[3] + sa[4];
        dm.qw.setSql(sqw);
        dm.qw.Open();
        const int n = dm.qw.FieldByName(QStringLiteral("CNT")).AsInteger();
        dm.qw.Close();
        return n;
    };
    for (int p = 1; p <= 4; ++p) {
        for (const Timeframe& t : timeframes()) {
            QTableWidget* g = page(t.index).statsGrid;
            const QString where = QStringLiteral(" where (TBID=") + t.tbidText() + QStringLiteral(") and (YKNO=") +
                                  QString::number(p);
            sa[3] = QStringLiteral(" select Count(CNT) as CNT from  F03VDT ");
            sa[4] = where + QStringLiteral(") and (RST = 1)");
            const int ian = count();
            sa[4] = where + QStringLiteral(") and (RST = -1) ");
            const int iln = count();
            setGridCell(g, 1, p, QString::number(ian));
            setGridCell(g, 2, p, QString::number(iln));
            if (ian + iln > 0) {
                const int iar = ian * 100 / (ian + iln);
                setGridCell(g, 3, p, QString::number(iar) + QStringLiteral("%"));
            }
        }
    }
}
