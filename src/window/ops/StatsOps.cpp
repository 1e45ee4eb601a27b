// Page "52:検証2": stored runs, hits, misses and hit rates per forecast period.
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include "app/Timeframe.h"
#include "db/Database.h"
#include "window/TextGrid.h"
#include "window/VelkorU.h"

// The three grids with their titles and no counts.
void TVelkorF::layoutStats() {
    for (const Timeframe& t : timeframes()) {
        Page& pg = page(t);
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
        const QString title = QStringLiteral("0") + QString::number(p) + QStringLiteral("期");
        for (const Timeframe& t : timeframes()) setGridCell(page(t).statsGrid, 0, p, title);
    }
    const QString titles[] = {QStringLiteral("期番"), QStringLiteral("当り数"), QStringLiteral("外れ数"),
                              QStringLiteral("当り率")};
    for (int r = 0; r < 4; ++r)
        for (const Timeframe& t : timeframes()) setGridCell(page(t).statsGrid, r, 0, titles[r]);
}

// The run count of each timeframe, and its hits, misses and hit rate per period.
void TVelkorF::countStats() {
    for (const Timeframe& t : timeframes()) page(t).statsCount->setText(QString::number(data.headerQuery(t.index).RecordCount()));
    for (int p = 1; p <= 4; ++p) {
        for (const Timeframe& t : timeframes()) {
            QTableWidget* g = page(t).statsGrid;
            const QString count = QStringLiteral(" select Count(CNT) as CNT from  F03VDT  where (TBID=") + t.tbidText() +
                                  QStringLiteral(") and (YKNO=") + QString::number(p);
            const int hits = queryInt(data.file, count + QStringLiteral(") and (RST = 1)"));
            const int misses = queryInt(data.file, count + QStringLiteral(") and (RST = -1) "));
            setGridCell(g, 1, p, QString::number(hits));
            setGridCell(g, 2, p, QString::number(misses));
            if (hits + misses > 0) setGridCell(g, 3, p, QString::number(hits * 100 / (hits + misses)) + QStringLiteral("%"));
        }
    }
}
