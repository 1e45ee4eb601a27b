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
#include "window/VelkorU.h"


QString& TVelkorF::ErPeriod(QString& st) { return market::erPeriod(st); }

void TVelkorF::uq01F(int id) {
    stdb = QStringLiteral("csm");
    stnm = QStringLiteral("F01CSV");
    if (id == 1) {  // the quote view, with the tail in swh
        openOnTable(dm.qmf, QStringLiteral("csm"), stnm, swh);
        dm.qst.Close();
        return;
    }
    if (id != 2) return;
    if (const Timeframe* t = tf(iasi)) importQuotes(*t);
}

// Operation 2: the bars of the last read days, the rows of the coming bars and the side file.
void TVelkorF::importQuotes(const Timeframe& t) {
    const QStringList config = textfile::readLines(scfn);
    sa[1] = config.isEmpty() ? QString() : config.first();
    sqw = QStringLiteral("delete from F01CSV ");
    uexSql(2);
    susj = dataFolder(sa[1]) + t.quoteFile;
    ityk = t.ityk;
    dialogs().message(t.importNotice);
    const int irdd = Cvs2i(page(t.index).rd1E->text());
    const QStringList lines = textfile::readLines(susj);
    const QString sdt = clock().today().addDays(-irdd).toString(QStringLiteral("yyyy/MM/dd"));

    // Kept on the window however the import ends, for the rows it stored.
    struct OriginScope {
        QObject& window;
        market::QuoteOrigin origin;
        ~OriginScope() { market::setQuoteOrigin(window, origin); }
    } originScope{*this, {susj, {0}}};
    market::QuoteOrigin& origin = originScope.origin;
    market::SlotInsert prepared(dm.csm, dm.catalog.find(stnm));
    market::ImportStats x;
    market::resetStats(*this);
    market::SuspectBars suspects(clock().today().toString(QStringLiteral("yyyy/MM/dd")));
    int icn = 1;
    {
        market::ProgressScope progress(this->progress(), t.importNotice.trimmed(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            progress.step(i);
            QStringList raw;
            if (!market::takeQuoteLine(*this, x, lines[i], sdt, susj, i + 1, icn, &raw)) continue;
            suspects.add(i + 1, raw, insertRow(prepared));
            origin.lineOfCnt.push_back(int(i + 1));
            ++icn;
        }
        imcn = icn - 1;
        icn = storeComingBars(lines, icn, prepared, origin);
        writeSideFile(t, lines, x);
    }
    dialogs().message(QString::number(icn) + texts::rowsRead);
    if (suspects.count() > 0) dialogs().message(texts::suspectLines(susj, suspects.first(), suspects.count()));
    std::array<int, 3>& scale = this->*t.scale;
    scale[0] = x.iP;
    scale[1] = x.iM;
    scale[2] = x.iP + x.iM > 0 ? x.iP : -x.iM;
    page(t.index).cntL->setText(QString::number(imcn));
}

// The rows of the coming bars from row number `icn` on, one bar period apart (the period of
// the file's last two lines), without prices; the next row number.
int TVelkorF::storeComingBars(const QStringList& lines, int icn, market::SlotInsert& prepared,
                              market::QuoteOrigin& origin) {
    for (const market::ComingBar& bar : market::comingBars(lines, susj, ityk)) {
        sa[11] = QString::number(icn);
        sa[12] = bar.serverDate;
        sa[13] = bar.serverTime;
        sa.clear(14, 29);
        sa[30] = bar.localDate;
        sa[31] = bar.localTime;
        insertRow(prepared);
        origin.lineOfCnt.push_back(0);
        ++icn;
    }
    return icn;
}

// The side file: the quote file's lines from the tenth last on, one per coming bar, and the
// two statistics lines.
void TVelkorF::writeSideFile(const Timeframe& t, const QStringList& lines, const market::ImportStats& x) {
    constexpr int kSideLinesFromEnd = 10;
    const qsizetype n = lines.size();
    if (n < kSideLinesFromEnd) throw VelkorError(texts::tooFewLines(susj, n, kSideLinesFromEnd));
    QStringList side = lines.mid(n - kSideLinesFromEnd, ityk);
    side.append(market::statsLine1(*this));
    side.append(market::statsLine2(x));
    textfile::writeLines(path(t.sideFile), side);
}
