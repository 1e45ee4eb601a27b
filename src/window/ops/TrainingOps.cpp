// Builds the training table of the active timeframe from the quote table F01CSV, one
// training row per quote row, and writes it with two statistics lines as a CSV file.
#include <sqlite3.h>

#include <QHash>
#include <QStringList>
#include <cmath>
#include <vector>

#include "app/Format.h"
#include "app/TextFile.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "market/MarketCommon.h"
#include "market/TrainingRow.h"
#include "window/VelkorU.h"

namespace {

QString notDateTime(const QString& text) {
    return QStringLiteral("'%1' は日付と時刻として読めません").arg(text);
}

// The column positions of the quote view, looked up once.
struct QuoteColumns {
    int cnt, symd, shm, hv, lv, cv, m05, m20, m1h, m4h, atr, rsi, b0l, b0u, b1l, b1u, b4l, b4u, lymd, lhm;
    explicit QuoteColumns(const Query& q) {
        auto at = [&](const char* name) {
            const int i = q.FieldIndex(QLatin1String(name));
            if (i < 0) q.FieldByName(QLatin1String(name));  // throws, naming the field
            return i;
        };
        cnt = at("CNT"); symd = at("SYMD"); shm = at("SHM"); hv = at("HV"); lv = at("LV"); cv = at("CV");
        m05 = at("M05"); m20 = at("M20"); m1h = at("M1H"); m4h = at("M4H"); atr = at("ATR"); rsi = at("RSI");
        b0l = at("B0L"); b0u = at("B0U"); b1l = at("B1L"); b1u = at("B1U"); b4l = at("B4L"); b4u = at("B4U");
        lymd = at("LYMD"); lhm = at("LHM");
    }
    market::QuoteBar bar(const Query& q, int r) const {
        auto v = [&](int c) { return q.ValueAt(r, c); };
        return {v(symd), v(shm), v(hv),  v(lv),  v(cv),  v(m05), v(m20), v(m1h), v(m4h), v(atr),
                v(rsi),  v(b0l), v(b0u), v(b1l), v(b1u), v(b4l), v(b4u), v(lymd), v(lhm)};
    }
};

// Reads back the window columns of the row just inserted, as SQLite stored them.
class InsertedRow {
public:
    InsertedRow(Connection& c, const QString& table)
        : c_(c), sql_(QStringLiteral("select CV1, HV1, LV1, M051, M201, M1H1, ATR1 from ") + table +
                      QStringLiteral(" where rowid = ?1")) {}

    bool read(std::array<DbValue, market::kRangeColumns>& out) {
        sqlite3_stmt* st = c_.cached(sql_);
        sqlite3_bind_int64(st, 1, sqlite3_last_insert_rowid(c_.handle()));
        const int rc = sqlite3_step(st);
        const bool found = rc == SQLITE_ROW;
        if (found) {
            for (int i = 0; i < market::kRangeColumns; ++i) out[size_t(i)] = columnValue(st, i);
        }
        sqlite3_reset(st);
        if (!found && rc != SQLITE_DONE)
            throw VelkorError(texts::sqlError(QString::fromUtf8(sqlite3_errmsg(c_.handle())), sql_));
        return found;
    }

private:
    Connection& c_;
    QString sql_;
};

// Slots `from` to `to` joined by commas, in one allocation of the line's own length.
QString joinedSlots(const Slots& values, int from, int to) {
    qsizetype length = to - from;
    for (int s = from; s <= to; ++s) length += values[s].size();
    QString line;
    line.reserve(length);
    for (int s = from; s <= to; ++s) {
        if (s > from) line += QLatin1Char(',');
        line += values[s];
    }
    return line;
}

}  // namespace

void TVelkorF::buildTrainingTable(const Timeframe& t, const market::QuoteImport& imported) {
    openQuoteRows(QStringLiteral(" order by CNT "));  // walked in CNT order
    QStringList csv = buildTrainingRows(t, imported);
    openOnTable(data.trainingQuery(t.index), Db::Memory, t.trainingTable, QStringLiteral(" order by CNT "));
    // The largest close change is not gathered: its place in the line stays 0.
    const market::ImportStats& x = imported.stats;
    csv.append(t.statsLabel + fmt::zfrac6(0) + QStringLiteral(" ATR最大:") + x.atrMax + t.atrMinLabel + x.atrMin +
               QStringLiteral(" RSI 最大: ") + x.rsiMax + QStringLiteral(" 最小: ") + x.rsiMin);
    csv.append(trainingAverages(t));
    textfile::writeLines(path(t.trainingCsv), csv);
}

// One training row per quote row of the quote view, inserted into the training table; the
// rows as lines of the training CSV.
QStringList TVelkorF::buildTrainingRows(const Timeframe& t, const market::QuoteImport& imported) {
    const market::QuoteOrigin& origin = imported.origin;
    const QString& table = t.trainingTable;
    const Query& q = data.quoteRows;
    const QuoteColumns col(q);
    const int rows = q.RecordCount();
    // Quote row position by CNT (the first row of a CNT wins), for the previous closes.
    QHash<qint64, int> rowOfCnt;
    rowOfCnt.reserve(rows);
    for (int r = rows - 1; r >= 0; --r)
        if (const DbValue c = q.ValueAt(r, col.cnt); c.type == DbValue::Int) rowOfCnt.insert(c.i, r);
    auto closeOf = [&](qint64 cnt) -> QString {
        const auto it = rowOfCnt.constFind(cnt);
        return it == rowOfCnt.cend() ? QString() : q.ValueAt(*it, col.cv).asString();
    };
    // The window ranges come from the rows inserted here, kept in memory; a table that
    // already holds rows (not the case at start-up) is asked with the range query.
    const bool startsEmpty = queryInt(data.memory, QStringLiteral("select count(*) from ") + table) == 0;
    market::RangeWindow window;
    InsertedRow inserted(data.memory, table);
    std::array<DbValue, market::kRangeColumns> stored;
    market::SlotInsert prepared(data.memory, data.catalog.find(table));
    const int closeScale = imported.closeMoveScale[2];
    Slots values;

    QStringList csv;
    market::ProgressScope progress(this->progress(), t.trainingTable, rows);
    for (int r = 0, n = 1; r < rows; ++r, ++n) {
        progress.step(r);
        const DbValue cnt = q.ValueAt(r, col.cnt);
        // An error of this row names the quote file's line it came from.
        auto lineError = [&](const QString& what) {
            const int line = origin.lineOf(cnt.type == DbValue::Int ? cnt.i : -1);
            return VelkorError(line > 0 ? texts::lineError(origin.path, line, what)
                                        : texts::lineError(QStringLiteral("F01CSV"), r + 1, what));
        };
        const QString date = q.ValueAt(r, col.symd).asString(), time = q.ValueAt(r, col.shm).asString() + ":00";
        const std::optional<QDateTime> when = market::readDateTime(date, time);
        if (!when) throw lineError(notDateTime(date + QLatin1Char(' ') + time));
        try {
            // The window of the rows before this one, partial at the head of the table (the
            // first row has none): each table is scaled by its own bars alone.
            const market::WindowScale scale = startsEmpty ? market::windowScale(window.window(n, t.windowLength))
                                                          : windowScaleOf(table, n, t.windowLength);
            // Closes of the quote rows one, two and three places before this row's own CNT.
            std::array<QString, 3> previous;
            if (cnt.type == DbValue::Int && cnt.i > 3)
                for (int back = 1; back <= 3; ++back) previous[size_t(back - 1)] = closeOf(cnt.i - back);
            market::TrainingRow row =
                market::trainingRow(n, *when, col.bar(q, r), previous, scale, closeScale, t.slopeMultiplier);
            for (int k = 1; k <= market::kTrainingColumns; ++k) values[10 + k] = std::move(row.v[size_t(k - 1)]);
            if (insertRow(prepared, table, values) && inserted.read(stored)) window.add(n, stored);
            // The line holds the values as the insert left them in the slots (its literals).
            csv.append(joinedSlots(values, 11, 10 + market::kTrainingColumns));
        } catch (const VelkorError& e) {
            throw lineError(e.text());  // a value out of range
        }
    }
    return csv;
}

// Statistics line 2 of the training CSV: the averages of the scaled columns.
QString TVelkorF::trainingAverages(const Timeframe& t) {
    data.trainingRead.Close();
    data.trainingRead.setConnection(&data.memory);
    data.trainingRead.setSql(QStringLiteral("select AVG(HV3) as HV, AVG(LV3) as LV, AVG(CV3) as CV,  AVG(SLP13) as SL1, "
                                "AVG(SLP23) as SL2, AVG(SLP33) as SL3,   AVG(M053) as M05, AVG(M203) as M20, "
                                "AVG(M1H3) as H1,  AVG(M4H3) as H4, AVG(M453) as M45, AVG(ATR2) as AT,  "
                                "AVG(RSI2) as RS, AVG(B0L3) as B0, AVG(B1L3) as B1,  AVG(B4L3) as B4  from  ") +
                 t.trainingTable);
    data.trainingRead.Open();
    static const char* const averages[16] = {"HV", "LV", "CV", "SL1", "SL2", "SL3", "M05", "M20",
                                             "H1", "H4", "M45", "AT", "RS", "B0", "B1", "B4"};
    std::array<QString, 16> values;
    for (int i = 0; i < 16; ++i) values[size_t(i)] = data.trainingRead.FieldByName(QLatin1String(averages[i])).AsString();
    data.trainingRead.Close();
    static const char* const labels[16] = {"平均  高値:", ", 安値:", ", 終値", ", SLP1:", ", SLP2:", ", SLP3:",
                                           ", M05AV:", ", M20AV:", ", 1HAV:", ", 4HAV:", ", 45AV:", ", ATR:",
                                           ", RSI:", ", B0L:", ", B1L:", ", B4L:"};
    QString line;
    for (int i = 0; i < 16; ++i) line += QString::fromUtf8(labels[i]) + values[size_t(i)];
    return line;
}
