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
#include "ui/VelkorU.h"

namespace {

QString notDateTime(const QString& text) {
    return QStringLiteral("'%1' は日付と時刻として読めません").arg(text);
}

double clamp01(double r) { return r > 1 ? 1 : r < 0 ? 0 : r; }

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
            for (int i = 0; i < market::kRangeColumns; ++i) {
                switch (sqlite3_column_type(st, i)) {
                case SQLITE_INTEGER: out[size_t(i)] = DbValue::integer(sqlite3_column_int64(st, i)); break;
                case SQLITE_FLOAT: out[size_t(i)] = DbValue::real(sqlite3_column_double(st, i)); break;
                case SQLITE_NULL: out[size_t(i)] = DbValue::null(); break;
                default:
                    out[size_t(i)] = DbValue::text(QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i)));
                }
            }
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

}  // namespace

void TVelkorF::uq01G() {
    const Timeframe* t = tf(iasi);
    if (!t) return;

    // The quote view, walked in CNT order.
    stdb = QStringLiteral("csm");
    swh = QStringLiteral(" order by CNT ");
    uq01F(1);

    dslmx = 1;
    itkn = 0;
    stdb = QStringLiteral("csm");
    stnm = t->trainingTable;
    const QString csvPath = path(t->trainingCsv);
    itkn = t->itkn;
    ityk = t->ityk;
    const int imxn = (this->*t->scale)[2];
    dslmx = t->dslmx;

    QStringList csv;
    int n = 1;
    dmx = 0;

    const Query& q = dm.qmf;
    const QuoteColumns col(q);
    const int rows = q.RecordCount();
    // Quote row position by CNT (the first row of a CNT wins), for the previous closes.
    QHash<qint64, int> rowOfCnt;
    rowOfCnt.reserve(rows);
    for (int r = rows - 1; r >= 0; --r) {
        const DbValue& c = q.ValueAt(r, col.cnt);
        if (c.type == DbValue::Int) rowOfCnt.insert(c.i, r);
    }
    auto closeOf = [&](qint64 cnt) -> QString {
        const auto it = rowOfCnt.constFind(cnt);
        return it == rowOfCnt.cend() ? QString() : q.ValueAt(*it, col.cv).asString();
    };

    const market::QuoteOrigin origin = market::quoteOrigin(*this);
    // The window ranges come from the rows inserted here, kept in memory; a table that
    // already holds rows (not the case at start-up) is asked with the range query.
    Query existing(QStringLiteral("existing"), &dm.csm, QStringLiteral("select count(*) from ") + stnm);
    existing.Open();
    const bool startsEmpty = existing.ValueAt(0, 0).asInt64() == 0;
    market::RangeWindow window;
    InsertedRow inserted(dm.csm, stnm);
    std::array<DbValue, market::kRangeColumns> stored;
    const CatalogTable* table = dm.catalog.find(stnm);
    std::optional<market::SlotInsert> fast;
    if (table) fast.emplace(dm.csm, *table);

    {
        market::ProgressScope progress(this->progress(), t->trainingTable, rows);
        for (int r = 0; r < rows; ++r) {
            progress.step(r);
            auto v = [&](int c) { return q.ValueAt(r, c); };
            for (int s = 11; s <= 64; ++s) sa[s].clear();

            sa[11] = QString::number(n);
            sa[12] = v(col.symd).asString();
            sa[13] = v(col.shm).asString();
            const std::optional<QDateTime> when = market::readDateTime(sa[12], sa[13] + QStringLiteral(":00"));
            if (!when) {
                const QString what = notDateTime(sa[12] + QLatin1Char(' ') + sa[13] + QStringLiteral(":00"));
                const qint64 cnt = v(col.cnt).type == DbValue::Int ? v(col.cnt).i : -1;
                const int line = origin.lineOf(cnt);
                throw VelkorError(line > 0 ? texts::lineError(origin.path, line, what)
                                           : texts::lineError(QStringLiteral("F01CSV"), r + 1, what));
            }

            if (n > itkn) {
                if (startsEmpty) market::storeRanges(*this, window.window(n, itkn));
                else fqHLn(n, itkn);
            }

            const int dow = when->date().dayOfWeek() % 7 + 1;  // 1 Sunday .. 7 Saturday
            const int m = when->time().hour() * 60 + when->time().minute();
            const double angle = 2 * M_PI * m / 1440;
            sa[14] = fmt::frac6(dow / 7.0);
            sa[15] = fmt::frac6((std::sin(angle) + 1) / 2);
            sa[16] = fmt::frac6((std::cos(angle) + 1) / 2);
            if (sa[15].isEmpty()) sa[15] = QStringLiteral("0");
            if (sa[16].isEmpty()) sa[16] = QStringLiteral("0");

            sa[17] = v(col.hv).asString();
            sa[20] = v(col.lv).asString();
            sa[23] = v(col.cv).asString();

            // Closes of the quote rows one, two and three places before this row's own CNT.
            sa[1].clear();
            sa[2].clear();
            sa[3].clear();
            if (v(col.cnt).type == DbValue::Int && v(col.cnt).i > 3) {
                const qint64 cnt = v(col.cnt).i;
                sa[3] = closeOf(cnt - 3);
                sa[2] = closeOf(cnt - 2);
                sa[1] = closeOf(cnt - 1);
            }
            sa[26] = sa[1];
            sa[29] = sa[2];
            sa[32] = sa[3];

            const int h = v(col.hv).asInteger();
            const int l = v(col.lv).asInteger();
            const int qc = v(col.cv).asInteger();
            i01 = h;
            i02 = l;
            if (qc > 0) {
                int d = h - qc;
                if (d < 0) d = 0;
                double ratio = Divid(d, double(ihvt[0]) - icvt[1]);
                if (ratio > 1) ratio = 1;
                sa[18] = QString::number(d);
                sa[19] = fmt::frac6(ratio);

                d = qc - l;
                ratio = clamp01(Divid(d, double(icvt[0]) - ilvt[1]));
                sa[21] = QString::number(d);
                sa[22] = fmt::frac6(ratio);

                sa[24] = QString::number(icvt[2]);
                sa[25] = fmt::frac6(ClSc(qc, icvt[1], icvt[2]));

                for (int s : {26, 29, 32}) {
                    if (sa[s].isEmpty()) continue;
                    const int change = qc - Cvs2i(sa[s]);
                    sa[s + 1] = QString::number(change);
                    sa[s + 2] = fmt::frac6(ClSlp(change, imxn));
                }
            }

            sa[35] = v(col.m05).asString();
            sa[38] = v(col.m20).asString();
            sa[41] = v(col.m1h).asString();
            sa[44] = v(col.m4h).asString();
            sa[47] = v(col.m4h).asString();
            const int m05 = v(col.m05).asInteger();
            const int m20 = v(col.m20).asInteger();
            const int m1h = v(col.m1h).asInteger();
            const int m4h = v(col.m4h).asInteger();
            if (m05 > 0) {
                sa[36] = QString::number(im05t[2]);
                sa[37] = fmt::frac6(ClSc(m05, im05t[1], im05t[2]));
                sa[39] = QString::number(im20t[1]);
                sa[40] = fmt::frac6(ClSc(m20, im20t[1], im20t[2]));
                sa[42] = QString::number(im1ht[1]);
                sa[43] = fmt::frac6(ClSc(m1h, im1ht[1], im1ht[2]));
            }

            const double atr = v(col.atr).asFloat();
            if (atr != 0) {
                sa[50] = fmt::frac6(atr);
                sa[51] = fmt::frac6(clamp01(Divid(atr - datt[1], datt[2]) * 0.8 + 0.1));
            }
            const double rsi = v(col.rsi).asFloat();
            if (rsi > 0) {
                double ratio = Divid(rsi, 100);
                if (ratio > 1) ratio = 1;
                sa[52] = fmt::frac6(rsi);
                sa[53] = fmt::frac6(ratio);
            }

            sa[54] = v(col.b0l).asString();
            sa[57] = v(col.b1l).asString();
            sa[60] = v(col.b4l).asString();
            auto band = [&](int c, int lowCol, int highCol, int slot) {
                if (c <= 0) return;
                const int b = v(lowCol).asInteger();
                const int u = v(highCol).asInteger();
                const qint64 d = qint64(c) - b;
                sa[slot] = QString::number(d);
                sa[slot + 1] = fmt::frac6(clamp01(Divid(double(d), double(u) - b)));
            };
            band(m20, col.b0l, col.b0u, 55);
            band(m1h, col.b1l, col.b1u, 58);
            band(m4h, col.b4l, col.b4u, 61);

            sa[63] = v(col.lymd).asString();
            sa[64] = v(col.lhm).asString();

            bool done;
            if (fast && fast->usable()) {
                done = fast->insert(sa);
            } else {
                ucSql(2);
                done = uexSql(2);
            }
            if (done && inserted.read(stored)) window.add(n, stored);
            ++n;

            qsizetype length = sa[11].size();
            for (int s = 12; s <= 64; ++s) length += 1 + sa[s].size();
            QString line;
            line.reserve(length);
            line += sa[11];
            for (int s = 12; s <= 64; ++s) {
                line += QLatin1Char(',');
                line += sa[s];
            }
            csv.append(line);
        }
    }

    stdb = QStringLiteral("csm");
    stnm = t->trainingTable;
    swh = QStringLiteral(" order by CNT ");
    ucSql(1);
    Query& view = dm.trainingQuery(t->index);
    view.Close();
    view.setConnection(&dm.csm);
    view.setSql(sqw);
    view.Open();
    view.Last();
    applyDisplayWidths(view, stnm);

    csv.append(t->statsLabel + fmt::zfrac6(dmx) + QStringLiteral(" ATR最大:") + sath + t->atrMinLabel + satl +
               QStringLiteral(" RSI 最大: ") + srsh + QStringLiteral(" 最小: ") + srsl);

    dm.qm.Close();
    dm.qm.setConnection(&dm.csm);
    dm.qm.setSql(QStringLiteral("select AVG(HV3) as HV, AVG(LV3) as LV, AVG(CV3) as CV,  AVG(SLP13) as SL1, "
                                "AVG(SLP23) as SL2, AVG(SLP33) as SL3,   AVG(M053) as M05, AVG(M203) as M20, "
                                "AVG(M1H3) as H1,  AVG(M4H3) as H4, AVG(M453) as M45, AVG(ATR2) as AT,  "
                                "AVG(RSI2) as RS, AVG(B0L3) as B0, AVG(B1L3) as B1,  AVG(B4L3) as B4  from  ") +
                 stnm);
    dm.qm.Open();
    static const char* const averages[16] = {"HV", "LV", "CV", "SL1", "SL2", "SL3", "M05", "M20",
                                             "H1", "H4", "M45", "AT", "RS", "B0", "B1", "B4"};
    for (int i = 0; i < 16; ++i) sa[11 + i] = dm.qm.FieldByName(QLatin1String(averages[i])).AsString();
    dm.qm.Close();

    static const char* const labels[16] = {"平均  高値:", ", 安値:", ", 終値", ", SLP1:", ", SLP2:", ", SLP3:",
                                           ", M05AV:", ", M20AV:", ", 1HAV:", ", 4HAV:", ", 45AV:", ", ATR:",
                                           ", RSI:", ", B0L:", ", B1L:", ", B4L:"};
    QString line2;
    for (int i = 0; i < 16; ++i) line2 += QString::fromUtf8(labels[i]) + sa[11 + i];
    csv.append(line2);

    textfile::writeLines(csvPath, csv, textfile::Replace::Rebuilt);
}
