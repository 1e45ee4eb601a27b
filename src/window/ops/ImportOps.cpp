// Imports the last N days of one timeframe's quote file into F01CSV, appends the rows of
// the coming bars, gathers the value extremes and writes the side file.
#include <sqlite3.h>

#include <QDir>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <cmath>

#include "app/TextFile.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "market/MarketCommon.h"
#include "market/QuoteLine.h"
#include "net/Scaling.h"
#include "window/VelkorU.h"


void TVelkorF::openQuoteRows(const QString& tail) {
    openOnTable(data.quoteRows, Db::Memory, QStringLiteral("F01CSV"), tail);
}

market::QuoteImport TVelkorF::importQuotes(const Timeframe& t) {
    const QString table = QStringLiteral("F01CSV");
    execute(Db::Memory, QStringLiteral("delete from F01CSV "));
    const QString quoteFile = configuredDataFolder() + t.quoteFile;
    dialogs().message(t.importNotice);
    const int readDays = textToInt(page(t).rd1E->text());
    const QStringList lines = textfile::readLines(quoteFile);
    const QString firstDate = clock().today().addDays(-readDays).toString(QStringLiteral("yyyy/MM/dd"));

    market::QuoteImport imported;
    imported.origin = {quoteFile, {0}};
    market::SlotInsert prepared(data.memory, data.catalog.find(table));
    Slots values;
    market::SuspectBars suspects(clock().today().toString(QStringLiteral("yyyy/MM/dd")));
    int row = 1;
    {
        market::ProgressScope progress(this->progress(), t.importNotice.trimmed(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            progress.step(i);
            QStringList raw;
            if (!market::takeQuoteLine(values, imported.stats, lines[i], firstDate, quoteFile, i + 1, row, &raw)) continue;
            suspects.add(i + 1, raw, insertRow(prepared, table, values));
            imported.origin.lineOfCnt.push_back(int(i + 1));
            ++row;
        }
        imported.stored = row - 1;
        row = storeComingBars(t, lines, row, prepared, imported);
        writeSideFile(t, lines, imported);
    }
    dialogs().message(QString::number(row) + texts::rowsRead);
    if (suspects.count() > 0) dialogs().message(texts::suspectLines(quoteFile, suspects.first(), suspects.count()));
    if (const QDate lastBar = market::lastBarDate(lines); market::isThinImport(lastBar, clock().today(), readDays))
        dialogs().message(texts::thinImport(quoteFile, lastBar.toString(QStringLiteral("yyyy/MM/dd")),
                                            clock().today().toString(QStringLiteral("yyyy/MM/dd")), readDays,
                                            imported.stored, lastBar.toString(Qt::ISODate)));
    const market::ImportStats& x = imported.stats;
    imported.closeMoveScale = {x.iP, x.iM, x.iP + x.iM > 0 ? x.iP : -x.iM};
    page(t).cntL->setText(QString::number(imported.stored));
    return imported;
}

// The rows of the coming bars from row number `row` on, one bar period apart (the period of
// the file's last two lines), without prices; the next row number.
int TVelkorF::storeComingBars(const Timeframe& t, const QStringList& lines, int row, market::SlotInsert& prepared,
                              market::QuoteImport& imported) {
    Slots values;
    for (const market::ComingBar& bar : market::comingBars(lines, imported.origin.path, t.periods)) {
        values[11] = QString::number(row);
        values[12] = bar.serverDate;
        values[13] = bar.serverTime;
        values.clear(14, 29);
        values[30] = bar.localDate;
        values[31] = bar.localTime;
        insertRow(prepared, QStringLiteral("F01CSV"), values);
        imported.origin.lineOfCnt.push_back(0);
        ++row;
    }
    return row;
}

// The side file: the quote file's lines from the tenth last on, one per coming bar, and the
// two statistics lines.
void TVelkorF::writeSideFile(const Timeframe& t, const QStringList& lines, const market::QuoteImport& imported) {
    constexpr int kSideLinesFromEnd = 10;
    const qsizetype n = lines.size();
    if (n < kSideLinesFromEnd) throw VelkorError(texts::tooFewLines(imported.origin.path, n, kSideLinesFromEnd));
    QStringList side = lines.mid(n - kSideLinesFromEnd, t.periods);
    side.append(market::statsLine1(imported.stats));
    side.append(market::statsLine2(imported.stats));
    textfile::writeLines(path(t.sideFile), side);
}
