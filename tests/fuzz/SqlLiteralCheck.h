#pragma once
// Fuzzes the literal path of the SQL builder: a value for a column of each catalog kind
// becomes a literal (quoted text, number or NULL) or is refused. Checks:
// - an accepted literal is one SQL value: "select <literal>" runs as one statement with one
//   column and one row, and nothing else happens;
// - a character literal reads back as the value cut to the column's length;
// - a number literal reads back as an integer or a real, and what the numeric check
//   accepts SQLite reads as a number;
// - the insert built from the values adds exactly one row to its table and nothing else.
#include <sqlite3.h>

#include <cstdint>

#include "FuzzSupport.h"
#include "app/VelkorError.h"
#include "db/Database.h"
#include "db/SqlBuilder.h"

namespace fuzz::literal {

inline CatalogColumn column(const char* name, const char* type, const QString& length) {
    CatalogColumn c;
    c.name = QString::fromLatin1(name);
    c.type = QString::fromLatin1(type);
    c.length = length;
    return c;
}

struct World {
    Connection db{QStringLiteral("csq")};
    World() {
        db.open();
        fuzz::check(execOne(db, QStringLiteral("create table KEEP (V text)")), "create KEEP");
        fuzz::check(execOne(db, QStringLiteral("insert into KEEP values ('kept')")), "fill KEEP");
    }
    qint64 count(const QString& sql) {
        Query q(QStringLiteral("n"), &db, sql);
        q.Open();
        return q.ValueAt(0, 0).asInt64();
    }
};

inline World& world() {
    static World w;
    return w;
}

// What a text becomes after a trip through UTF-8 (a lone surrogate does not survive).
inline QString utf8Trip(const QString& s) { return QString::fromUtf8(s.toUtf8()); }

}  // namespace fuzz::literal

namespace fuzz {

inline void checkSqlLiteral(const uint8_t* data, size_t size) {
    using namespace literal;
    if (size < 2 || size > 4096) return;
    World& w = world();
    static const char* kinds[] = {"Integer", "Real", "nchar", "varchar", "Numeric", "Float"};
    const char* kind = kinds[data[0] % 6];
    const int len = int(data[1] % 48) - 4;  // negative, empty and short lengths included
    const QString lengthText = len < 0 ? QString() : QString::number(len);
    // The rest: one or more values separated by 0xFF bytes.
    const QByteArray rest(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    QList<QByteArray> parts = rest.split('\xff');
    if (parts.size() > 8) parts.resize(8);

    CatalogTable t;
    t.name = QStringLiteral("TF");
    t.tbid = QStringLiteral("99");
    t.columns.push_back(column("CNT", "Integer", {}));
    Slots sa;
    sa[11] = QStringLiteral("1");
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString value = QString::fromUtf8(parts[i]);
        CatalogColumn c = column("V", kind, lengthText);
        c.name = QStringLiteral("V%1").arg(i);
        t.columns.push_back(c);
        sa[12 + int(i)] = value;

        bool bad = false;
        const QString lit = sqlb::literal(c, value, bad);
        if (!c.isCharacter()) {
            // The word NULL is the NULL literal; every other text that is no number is refused.
            const bool null = value.isEmpty() || value == QLatin1String("NULL");
            fuzz::check(bad == !(null || sqlb::isNumericLiteral(value)), "refused exactly the non-numbers", value);
        } else {
            const bool nul = value.left(c.lengthLimit() < 0 ? 0 : c.lengthLimit()).contains(QChar(0));
            fuzz::check(bad == nul, "a text is refused only for a NUL character", value);
        }
        if (bad) continue;
        Query q(QStringLiteral("lit"), &w.db, QStringLiteral(" select ") + lit + QStringLiteral(" as V"));
        try {
            q.Open();
        } catch (const VelkorError& e) {
            fuzz::fail("literal does not run as one value", lit + QStringLiteral("\n") + e.text());
        }
        fuzz::check(q.RecordCount() == 1 && q.FieldCount() == 1, "one value", lit);
        const DbValue v = q.ValueAt(0, 0);
        if (value.isEmpty() || (!c.isCharacter() && value == QLatin1String("NULL"))) {
            fuzz::check(v.isNull(), "empty is NULL", lit);
        } else if (c.isCharacter()) {
            const QString want = utf8Trip(value.left(c.lengthLimit() < 0 ? 0 : c.lengthLimit()));
            fuzz::check(v.type == DbValue::Text && v.s == want, "text reads back cut", lit + QStringLiteral(" / ") + v.s);
        } else {
            fuzz::check(v.type == DbValue::Int || v.type == DbValue::Real, "number reads back as a number", lit);
        }
    }

    // The whole row through the builder's insert.
    Slots create;
    const QString made = sqlb::create(t, QStringLiteral("csq"), create);
    if (!execOne(w.db, made)) fuzz::fail("create", made);
    bool bad = false;
    const QString ins = sqlb::insert(t, sa, bad);
    const int before = sqlite3_total_changes(w.db.handle());
    const bool ok = !bad && execOne(w.db, ins);
    fuzz::check(sqlite3_total_changes(w.db.handle()) - before == (ok ? 1 : 0), "one row or none", ins);
    fuzz::check(!ok || w.count(QStringLiteral("select count(*) from TF")) == 1, "the row is there", ins);
    fuzz::check(execOne(w.db, QStringLiteral("drop table TF")), "drop");
    fuzz::check(w.count(QStringLiteral("select count(*) from KEEP")) == 1, "other table untouched");
    fuzz::check(w.count(QStringLiteral("select count(*) from sqlite_master")) == 1, "no table left");
}

}  // namespace fuzz
