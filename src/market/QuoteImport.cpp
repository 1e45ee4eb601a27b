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
#include "ui/VelkorU.h"

namespace market {

namespace {
bool digitsOnly(const QString& s, int maxLen) {
    if (s.isEmpty() || s.size() > maxLen) return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9') return false;
    return true;
}
}  // namespace

std::optional<QDateTime> readDateTime(const QString& date, const QString& time) {
    const QStringList d = date.trimmed().split(QLatin1Char('/'));
    const QStringList t = time.trimmed().split(QLatin1Char(':'));
    if (d.size() != 3 || t.size() < 2 || t.size() > 3) return std::nullopt;
    if (!digitsOnly(d[0], 4) || !digitsOnly(d[1], 2) || !digitsOnly(d[2], 2)) return std::nullopt;
    for (const QString& p : t)
        if (!digitsOnly(p, 2)) return std::nullopt;
    const QDate day(d[0].toInt(), d[1].toInt(), d[2].toInt());
    const QTime clock(t[0].toInt(), t[1].toInt(), t.size() == 3 ? t[2].toInt() : 0);
    if (!day.isValid() || !clock.isValid()) return std::nullopt;
    return QDateTime(day, clock, Qt::UTC);
}

char columnAffinity(const QString& declaredType) {
    const QString t = declaredType.toUpper();
    if (t.contains(QLatin1String("INT"))) return 'I';
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
        return 'T';
    if (t.contains(QLatin1String("BLOB")) || t.isEmpty()) return 'B';
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")))
        return 'R';
    return 'N';
}

SlotInsert::SlotInsert(Connection& c, const CatalogTable& t) : c_(c) {
    if (!c.isOpen() || t.columns.empty() || t.columns.size() > size_t(Slots::count - 10)) return;
    // The declared types of the table as it exists.
    Query info(QStringLiteral("table_info"), &c, QStringLiteral("pragma table_info(\"") + t.name + QStringLiteral("\")"));
    try {
        info.Open();
    } catch (const VelkorError&) {
        return;
    }
    QHash<QString, QString> declared;
    for (int r = 0; r < info.RecordCount(); ++r)
        declared.insert(info.ValueAt(r, info.FieldIndex(QStringLiteral("name"))).asString().toUpper(),
                        info.ValueAt(r, info.FieldIndex(QStringLiteral("type"))).asString());
    QString sql = QStringLiteral(" insert into ") + t.name + QStringLiteral(" ( ");
    QString values;
    for (size_t k = 0; k < t.columns.size(); ++k) {
        const CatalogColumn& col = t.columns[k];
        const auto it = declared.constFind(col.name.toUpper());
        if (it == declared.cend()) return;
        if (!col.isCharacter()) {
            const char a = columnAffinity(*it);
            if (a == 'T' || a == 'B') return;
        }
        if (k) {
            sql += QStringLiteral(", ");
            values += QStringLiteral(", ");
        }
        sql += col.name;
        values += QLatin1Char('?') + QString::number(k + 1);
        columns_.push_back({col.isCharacter(), std::max(col.lengthLimit(), 0)});
    }
    sql += QStringLiteral(" ) values ( ") + values + QStringLiteral(" ) ");
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v3(c.handle(), utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &st_, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(st_);
        st_ = nullptr;
    }
}

SlotInsert::~SlotInsert() { sqlite3_finalize(st_); }

namespace {
// The value of a plain decimal integer text of at most 18 digits (an optional sign
// first), or nothing for any other text.
std::optional<qint64> smallInteger(const QString& text) {
    const qsizetype n = text.size();
    qsizetype i = n > 0 && (text[0] == u'-' || text[0] == u'+') ? 1 : 0;
    if (i == n || n - i > 18) return std::nullopt;
    qint64 v = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        v = v * 10 + (c - u'0');
    }
    return text[0] == u'-' ? -v : v;
}
}  // namespace

bool SlotInsert::insert(Slots& sa) {
    if (!st_) return false;
    static const QString null = QStringLiteral("NULL");
    sqlite3_reset(st_);
    bool bad = false;
    // The texts bound stay alive until the statement has run.
    std::array<QByteArray, Slots::count> bound;
    for (size_t k = 0; k < columns_.size(); ++k) {
        const Column& col = columns_[k];
        const int slot = 11 + int(k);
        const int p = int(k) + 1;
        const QString& value = std::as_const(sa)[slot];
        int rc = SQLITE_OK;
        if (value.isEmpty()) {
            rc = sqlite3_bind_null(st_, p);
            if (k > 0) sa[slot] = null;
        } else if (col.character) {
            const QString cut = value.left(col.length);
            bound[k] = cut.toUtf8();
            rc = sqlite3_bind_text(st_, p, bound[k].constData(), int(bound[k].size()), SQLITE_STATIC);
            if (k > 0) {
                QString inner = cut;
                if (inner.contains(QLatin1Char('\''))) inner.replace(QLatin1Char('\''), QLatin1String("''"));
                sa[slot] = QLatin1Char('\'') + inner + QLatin1Char('\'');
            }
        } else if (value == null) {
            rc = sqlite3_bind_null(st_, p);
        } else if (const std::optional<qint64> n = smallInteger(value)) {
            rc = sqlite3_bind_int64(st_, p, *n);
        } else if (!sqlb::isNumericLiteral(value)) {
            bad = true;  // the literal is the text itself: the row is refused
        } else {
            bound[k] = value.toUtf8();
            rc = sqlite3_bind_text(st_, p, bound[k].constData(), int(bound[k].size()), SQLITE_STATIC);
        }
        if (rc != SQLITE_OK) bad = true;
    }
    const int rc = bad ? SQLITE_MISUSE : sqlite3_step(st_);
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);  // nothing keeps pointing at the texts of this row
    return rc == SQLITE_DONE;
}

void setQuoteOrigin(QObject& window, const QuoteOrigin& origin) {
    window.setProperty("quoteFile", origin.path);
    window.setProperty("quoteFileLines", QVariant::fromValue(origin.lineOfCnt));
}

QuoteOrigin quoteOrigin(const QObject& window) {
    return {window.property("quoteFile").toString(), window.property("quoteFileLines").value<QList<int>>()};
}

}  // namespace market

namespace {

// Texts of this file's error messages.
QString notDateTime(const QString& date, const QString& time) {
    return QStringLiteral("'%1 %2' は日付と時刻として読めません").arg(date, time);
}
QString tooFewLines(const QString& path, qsizetype got, qsizetype need) {
    return QStringLiteral("%1: 行が %2 行しかありません (%3 行以上必要です)").arg(path).arg(got).arg(need);
}

constexpr int kBarFields = 20;
constexpr int kSideLinesFromEnd = 10;

// The data folder of "config.txt" as the start-up checks it: a trailing separator, and
// a relative folder taken from the working directory.
QString dataFolder(const TVelkorF& w, QString line) {
    line = line.trimmed();
    line.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!line.isEmpty() && !line.endsWith(QLatin1Char('/'))) line += QLatin1Char('/');
    if (QDir::isRelativePath(line)) line = w.path(line);
    if (!line.endsWith(QLatin1Char('/'))) line += QLatin1Char('/');
    return line;
}

// The running extremes of one import.
struct ImportStats {
    std::array<int, 3> igc3{0, 0, 0};
    int iP = 0, iM = 0;
    std::array<int, 2> ihc{0, 999999}, icl{0, 999999};
    std::array<int, 2> ib0L{0, 999999}, ib1L{0, 999999}, ib4L{0, 999999};
    std::array<int, 2> ib0U{0, 999999}, ib1U{0, 999999}, ib4U{0, 999999};
    // The numbers of the text fields shmh, shml, slmh, slml, sath, satl, srsh, srsl.
    int hmh = 0, hml = 999999, lmh = 0, lml = 999999;
    double ath = 0, atl = 99, rsh = 0, rsl = 99;

    static void into(std::array<int, 2>& x, int d) {
        if (d > x[0]) x[0] = d;
        if (d < x[1]) x[1] = d;
    }
};

void resetStats(VelkorState& s) {
    s.shmh.clear();
    s.shml = QStringLiteral("999999");
    s.slmh.clear();
    s.slml = QStringLiteral("999999");
    s.scmh.clear();
    s.scml = QStringLiteral("999999");
    s.sath = QStringLiteral("0");
    s.satl = QStringLiteral("99");
    s.srsh = QStringLiteral("0");
    s.srsl = QStringLiteral("99");
    s.sbml = QStringLiteral("999999");
    s.sbmh = QStringLiteral("0");
}

// A decimal number of the quote file (ATR, RSI); a text that is none ends the import.
double readDecimal(const QString& text, const QString& what, const QString& path, qsizetype line) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        throw VelkorError(texts::lineError(path, line, what + QLatin1Char(' ') + texts::notNumber(text)));
    return v;
}

// Updates the extremes from one bar line whose price fields (2..9, 12..17) already passed
// ErPeriod.
void updateStats(VelkorState& s, ImportStats& x, const QStringList& f, const QString& path, qsizetype line) {
    const int icg = TVelkorF::Cvs2i(f[4]);
    for (int i = 0; i < 3; ++i) {
        const int d = icg - x.igc3[size_t(i)];  // both are 0 or more: no overflow
        if (d > x.iP && d < 10000) x.iP = d;
        else if (d < x.iM) x.iM = d;
    }
    x.igc3 = {icg, x.igc3[0], x.igc3[1]};

    const int h = TVelkorF::Cvs2i(f[2]);
    if (h > x.hmh) { s.shmh = f[2]; x.hmh = h; }
    if (h < x.hml) { s.shml = f[2]; x.hml = h; }
    ImportStats::into(x.ihc, h - icg);

    const int l = TVelkorF::Cvs2i(f[3]);
    if (l > x.lmh) { s.slmh = f[3]; x.lmh = l; }
    if (l < x.lml) { s.slml = f[3]; x.lml = l; }
    ImportStats::into(x.icl, icg - l);

    int cmh = TVelkorF::Cvs2i(s.scmh), cml = TVelkorF::Cvs2i(s.scml);
    if (icg > 50000) {
        if (icg > cmh) cmh = icg;
        if (icg < cml) cml = icg;
    }
    s.scmh = QString::number(cmh);
    s.scml = QString::number(cml);

    const double a = readDecimal(f[10], QStringLiteral("ATR"), path, line);
    if (a > 0) {
        if (a > x.ath) { s.sath = f[10]; x.ath = a; }
        if (a < x.atl) { s.satl = f[10]; x.atl = a; }
    }
    const double r = readDecimal(f[11], QStringLiteral("RSI"), path, line);
    if (r > 0) {
        if (r > x.rsh) { s.srsh = f[11]; x.rsh = r; }
        if (r < x.rsl) { s.srsl = f[11]; x.rsl = r; }
    }

    int lo = TVelkorF::Cvs2i(s.sbml), hi = TVelkorF::Cvs2i(s.sbmh);
    auto lower = [&](int field, std::array<int, 2>& into, bool positiveOnly) {
        const int b = TVelkorF::Cvs2i(f[field]);
        if (b < lo && (!positiveOnly || b > 0)) lo = b;
        ImportStats::into(into, icg - b);
    };
    auto upper = [&](int field, std::array<int, 2>& into) {
        const int b = TVelkorF::Cvs2i(f[field]);
        if (b > hi) hi = b;
        ImportStats::into(into, b - icg);
    };
    lower(12, x.ib0L, false);
    upper(13, x.ib0U);
    lower(14, x.ib1L, false);
    upper(15, x.ib1U);
    lower(16, x.ib4L, true);
    upper(17, x.ib4U);
    s.sbml = QString::number(lo);
    s.sbmh = QString::number(hi);
}

QString statsLine1(const VelkorState& s) {
    return QStringLiteral("高値の最高:,") + s.shmh + QStringLiteral(", 高値の最低:,") + s.shml +
           QStringLiteral(", 安値の最高:,") + s.slmh + QStringLiteral(", 安値の最低:,") + s.slml +
           QStringLiteral(", 終値の最高:,") + s.scmh + QStringLiteral(", 終値の最安:,") + s.scml +
           QStringLiteral(", ATR最大:,") + s.sath + QStringLiteral(", ATR最小:,") + s.satl +
           QStringLiteral(", RSI最大:,") + s.srsh + QStringLiteral(", RSI最小:,") + s.srsl +
           QStringLiteral(", BBL:,") + s.sbml + QStringLiteral(", BBH:,") + s.sbmh;
}

QString statsLine2(const ImportStats& x) {
    auto n = [](int v) { return QString::number(v); };
    return QStringLiteral("高値-終値 最大:,") + n(x.ihc[0]) + QStringLiteral(", 高値ｰ終値 最小:,") + n(x.ihc[1]) +
           QStringLiteral(", 終値-安値 最大:,") + n(x.icl[0]) + QStringLiteral(", 終値-安値 最小:,") + n(x.icl[1]) +
           QStringLiteral(", 0HAVG-BBLd:,") + n(x.ib0L[0]) + QStringLiteral(", 0HBBUp-AVG:,") + n(x.ib0U[0]) +
           QStringLiteral(", 1HAVG-BBLd:,") + n(x.ib1L[0]) + QStringLiteral(", 1HBBUp-AVG:,") + n(x.ib1U[0]) +
           QStringLiteral(", 4HAVG-BBLd:,") + n(x.ib4L[0]) + QStringLiteral(", 4HBBUp-AVG:,") + n(x.ib4U[0]);
}

bool isPriceField(int i) { return (i >= 2 && i <= 9) || (i >= 12 && i <= 17); }

}  // namespace

QString& TVelkorF::ErPeriod(QString& st) {
    const qsizetype dot = st.indexOf(QLatin1Char('.'));
    if (dot >= 0) st.remove(dot, 1);
    if (st < QLatin1String("0")) st = QStringLiteral("0");
    return st;
}

void TVelkorF::uq01F(int id) {
    stdb = QStringLiteral("csm");
    stnm = QStringLiteral("F01CSV");
    if (id == 1) {
        ucSql(1);
        dm.qmf.Close();
        dm.qmf.setConnection(&dm.csm);
        dm.qmf.setSql(sqw);
        dm.qmf.Open();
        dm.qmf.Last();
        applyDisplayWidths(dm.qmf, stnm);
        dm.qst.Close();
        return;
    }
    if (id != 2) return;
    const Timeframe* t = tf(iasi);
    if (!t) return;

    const QStringList config = textfile::readLines(scfn);
    sa[1] = config.isEmpty() ? QString() : config.first();
    sqw = QStringLiteral("delete from F01CSV ");
    uexSql(2);

    susj = dataFolder(*this, sa[1]) + t->quoteFile;
    const QString s10cv = path(t->sideFile);
    ityk = t->ityk;
    dialogs().message(t->importNotice);
    const int irdd = Cvs2i(page(t->index).rd1E->text());

    const QStringList sl = textfile::readLines(susj);
    const QString sdt = clock().today().addDays(-irdd).toString(QStringLiteral("yyyy/MM/dd"));
    const QString top = QStringLiteral("999999");

    // Kept on the window however the import ends, for the rows it stored.
    struct OriginScope {
        QObject& window;
        market::QuoteOrigin origin;
        ~OriginScope() { market::setQuoteOrigin(window, origin); }
    } originScope{*this, {susj, {0}}};
    market::QuoteOrigin& origin = originScope.origin;

    const CatalogTable* table = dm.catalog.find(stnm);
    std::optional<market::SlotInsert> fast;
    if (table) fast.emplace(dm.csm, *table);
    auto insertRow = [&] {
        if (fast && fast->usable()) return fast->insert(sa);
        ucSql(2);
        return uexSql(2);
    };

    ImportStats x;
    resetStats(*this);
    int icn = 1;
    {
        market::ProgressScope progress(this->progress(), t->importNotice.trimmed(), sl.size());
        for (qsizetype i = 0; i < sl.size(); ++i) {
            progress.step(i);
            const QString& line = sl[i];
            if (line.isEmpty()) continue;
            QStringList f = textfile::splitCommas(line);
            if (f[0] < sdt || f[0] > top) continue;
            if (f.size() < kBarFields)
                throw VelkorError(texts::lineError(susj, i + 1, texts::tooFewFields(f.size(), kBarFields)));
            for (int k = 0; k < kBarFields; ++k)
                if (isPriceField(k)) ErPeriod(f[k]);
            updateStats(*this, x, f, susj, i + 1);

            sa[11] = QString::number(icn);
            for (int k = 0; k < kBarFields; ++k) sa[12 + k] = f[k];
            insertRow();
            origin.lineOfCnt.push_back(int(i + 1));
            ++icn;
        }
        imcn = icn - 1;

        // The bar period from the last two lines of the file, bar lines or not.
        const qsizetype n = sl.size();
        if (n < 2) throw VelkorError(tooFewLines(susj, n, 2));
        const QStringList f2 = textfile::splitCommas(sl[n - 2]);
        const QStringList f1 = textfile::splitCommas(sl[n - 1]);
        auto at = [&](const QStringList& f, qsizetype lineIndex, int a, int b) {
            if (f.size() <= b)
                throw VelkorError(texts::lineError(susj, lineIndex + 1, texts::tooFewFields(f.size(), kBarFields)));
            const std::optional<QDateTime> v = market::readDateTime(f[a], f[b]);
            if (!v) throw VelkorError(texts::lineError(susj, lineIndex + 1, notDateTime(f[a], f[b])));
            return *v;
        };
        const QDateTime dt2 = at(f2, n - 2, 0, 1);
        QDateTime dt = at(f1, n - 1, 0, 1);
        QDateTime dtl = at(f1, n - 1, 18, 19);
        const qint64 dtp = dt2.msecsTo(dt);

        const QString dateFmt = QStringLiteral("yyyy/MM/dd"), timeFmt = QStringLiteral("HH:mm");
        for (int k = 1; k <= ityk; ++k) {
            dt = dt.addMSecs(dtp);
            dtl = dtl.addMSecs(dtp);
            sa[11] = QString::number(icn);
            sa[12] = dt.toString(dateFmt);
            sa[13] = dt.toString(timeFmt);
            for (int s = 14; s <= 29; ++s) sa[s].clear();
            sa[30] = dtl.toString(dateFmt);
            sa[31] = dtl.toString(timeFmt);
            insertRow();
            origin.lineOfCnt.push_back(0);
            ++icn;
        }

        if (n < kSideLinesFromEnd) throw VelkorError(tooFewLines(susj, n, kSideLinesFromEnd));
        QStringList side;
        for (qsizetype k = n - kSideLinesFromEnd; k <= n - kSideLinesFromEnd - 1 + ityk; ++k) side.append(sl[k]);
        side.append(statsLine1(*this));
        side.append(statsLine2(x));
        textfile::writeLines(s10cv, side);
    }

    dialogs().message(QString::number(icn) + texts::rowsRead);

    std::array<int, 3>& scale = *this->scale(iasi);
    scale[0] = x.iP;
    scale[1] = x.iM;
    scale[2] = x.iP + x.iM > 0 ? x.iP : -x.iM;
    page(t->index).cntL->setText(QString::number(imcn));
}
