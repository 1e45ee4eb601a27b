// Helpers of the quote import and the training table builder: dates, the prepared insert
// from the value slots, and where the quote rows came from.
#include <sqlite3.h>

#include <cmath>

#include "app/Texts.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "market/MarketCommon.h"

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

SlotInsert::SlotInsert(Connection& c, const CatalogTable* table) : c_(c) {
    if (!table || !c.isOpen() || table->columns.empty() || table->columns.size() > size_t(Slots::count - 10)) return;
    const CatalogTable& t = *table;
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

bool SlotInsert::insert(Slots& values) {
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
        const QString& value = std::as_const(values)[slot];
        int rc = SQLITE_OK;
        if (value.isEmpty()) {
            rc = sqlite3_bind_null(st_, p);
            if (k > 0) values[slot] = null;
        } else if (col.character) {
            const QString cut = value.left(col.length);
            if (cut.contains(QChar(0))) bad = true;  // no literal can hold it: the row is refused
            bound[k] = cut.toUtf8();
            rc = sqlite3_bind_text(st_, p, bound[k].constData(), int(bound[k].size()), SQLITE_STATIC);
            if (k > 0) values[slot] = sqlb::quoted(cut);
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

}  // namespace market

