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
            if (cut.contains(QChar(0))) bad = true;  // no literal can hold it: the row is refused
            bound[k] = cut.toUtf8();
            rc = sqlite3_bind_text(st_, p, bound[k].constData(), int(bound[k].size()), SQLITE_STATIC);
            if (k > 0) sa[slot] = sqlb::quoted(cut);
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

using market::kBarFields;
constexpr int kSideLinesFromEnd = 10;



}  // namespace

QString& TVelkorF::ErPeriod(QString& st) { return market::erPeriod(st); }

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

    susj = dataFolder(sa[1]) + t->quoteFile;
    const QString s10cv = path(t->sideFile);
    ityk = t->ityk;
    dialogs().message(t->importNotice);
    const int irdd = Cvs2i(page(t->index).rd1E->text());

    const QStringList sl = textfile::readLines(susj);
    const QString sdt = clock().today().addDays(-irdd).toString(QStringLiteral("yyyy/MM/dd"));

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

    market::ImportStats x;
    market::resetStats(*this);
    int icn = 1;
    {
        market::ProgressScope progress(this->progress(), t->importNotice.trimmed(), sl.size());
        for (qsizetype i = 0; i < sl.size(); ++i) {
            progress.step(i);
            if (!market::takeQuoteLine(*this, x, sl[i], sdt, susj, i + 1, icn)) continue;
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
        side.append(market::statsLine1(*this));
        side.append(market::statsLine2(x));
        textfile::writeLines(s10cv, side);
    }

    dialogs().message(QString::number(icn) + texts::rowsRead);

    std::array<int, 3>& scale = this->*t->scale;
    scale[0] = x.iP;
    scale[1] = x.iM;
    scale[2] = x.iP + x.iM > 0 ? x.iP : -x.iM;
    page(t->index).cntL->setText(QString::number(imcn));
}
