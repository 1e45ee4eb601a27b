#pragma once
// Fuzzes the path of one quote file line into the quote table: reading the file, splitting,
// the bar-line test, ErPeriod, textToInt and the statistics, the value slots, and both ways a
// row is written (the statement the SQL builder writes, run by the executor, and the
// prepared insert of the import). Checks:
// - the bar-line test on the first field decides as the split line does;
// - a bad line ends in a VelkorError that names the file and the line, nothing else;
// - the built statement adds exactly one row or nothing, and touches no other table;
// - both ways store the same row (or both refuse it) and leave the same slots.
#include <sqlite3.h>

#include <QFile>
#include <unistd.h>

#include <cstdint>
#include <optional>

#include "FuzzSupport.h"
#include "app/VelkorError.h"
#include "db/Slots.h"
#include "db/Database.h"
#include "db/SqlBuilder.h"
#include "market/MarketCommon.h"
#include "market/QuoteLine.h"

namespace fuzz::quoteline {

struct World {
    Connection db{QStringLiteral("csm")};
    CatalogTable built, prepared;
    std::optional<market::SlotInsert> insert;
    QString path;
    qint64 objects = 0;

    World() {
        db.open();
        built = fuzz::catalogTable(QStringLiteral("F01CSV"), 11);
        prepared = built;
        prepared.name = QStringLiteral("F01CSVP");
        fuzz::check(built.columns.size() == 21, "catalog of F01CSV");
        Slots sa;
        fuzz::check(execOne(db, sqlb::create(built, QStringLiteral("csm"), sa)), "create F01CSV");
        fuzz::check(execOne(db, sqlb::create(prepared, QStringLiteral("csm"), sa)), "create F01CSVP");
        fuzz::check(execOne(db, QStringLiteral("create table KEEP (V text)")), "create KEEP");
        fuzz::check(execOne(db, QStringLiteral("insert into KEEP values ('kept')")), "fill KEEP");
        insert.emplace(db, prepared);
        fuzz::check(insert->usable(), "prepared insert");
        path = QDir::temp().filePath(QStringLiteral("velkor-fuzz-quote-%1.csv").arg(getpid()));
        objects = count(QStringLiteral("select count(*) from sqlite_master"));
    }

    qint64 count(const QString& sql) {
        Query q(QStringLiteral("n"), &db, sql);
        q.Open();
        return q.ValueAt(0, 0).asInt64();
    }
    QString row(const QString& table, int cnt) {
        Query q(QStringLiteral("row"), &db,
                QStringLiteral("select *, typeof(HV), typeof(ATR), typeof(RSI), typeof(B4U) from %1 where CNT = %2")
                    .arg(table)
                    .arg(cnt));
        q.Open();
        QStringList out;
        for (int r = 0; r < q.RecordCount(); ++r)
            for (int c = 0; c < q.FieldCount(); ++c) {
                const DbValue v = q.ValueAt(r, c);
                out << QString::number(int(v.type)) + QLatin1Char(':') + v.asString();
            }
        return out.join(QLatin1Char('|'));
    }
};

inline World& world() {
    static World w;
    return w;
}

}  // namespace fuzz::quoteline

namespace fuzz {

inline void checkQuoteLine(const uint8_t* data, size_t size) {
    using namespace quoteline;
    if (size > 1 << 16) return;
    World& w = world();
    {
        QFile f(w.path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fuzz::fail("temp file", w.path);
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const QStringList lines = textfile::readLines(w.path);
    fuzz::check(execOne(w.db, QStringLiteral("delete from F01CSV")), "empty F01CSV");
    fuzz::check(execOne(w.db, QStringLiteral("delete from F01CSVP")), "empty F01CSVP");

    Slots s;
    market::ImportStats x;
    const QString sdt = QStringLiteral("2000/01/01");
    int icn = 1;
    for (qsizetype i = 0; i < lines.size() && i < 64; ++i) {
        bool taken = false;
        const QString first = textfile::splitCommas(lines[i]).first();
        const bool barLine = !lines[i].isEmpty() && first >= sdt && first <= QLatin1String("999999");
        fuzz::check(market::isBarLine(lines[i], sdt) == barLine, "the bar-line test decides as the split line", lines[i]);
        try {
            taken = market::takeQuoteLine(s, x, lines[i], sdt, w.path, i + 1, icn);
            fuzz::check(taken == barLine, "a bar line is taken, any other line passed over", lines[i]);
        } catch (const VelkorError& e) {
            fuzz::check(barLine, "only a bar line can end the import", lines[i]);
            const QString where = QStringLiteral("%1 の %2 行目").arg(w.path).arg(i + 1);
            fuzz::check(e.text().startsWith(where), "error names file and line", e.text());
            break;  // the import ends at this line
        }
        if (!taken) continue;

        Slots viaBuilder = s;
        bool bad = false;
        const QString sql = sqlb::insert(w.built, viaBuilder, bad);
        const int before = sqlite3_total_changes(w.db.handle());
        QString why;
        const bool builtOk = !bad && execOne(w.db, sql, &why);
        const int changed = sqlite3_total_changes(w.db.handle()) - before;
        fuzz::check(changed == (builtOk ? 1 : 0), "built insert changes one row or none", sql);
        if (!bad && !builtOk)
            fuzz::check(!why.contains(QLatin1String("more than one statement")), "one statement", sql);

        const bool preparedOk = w.insert->insert(s);
        fuzz::check(builtOk == preparedOk, "both ways store the row or refuse it",
                    sql + QStringLiteral("\nbuilder: ") + why);
        for (int k = 12; k <= 31; ++k)
            fuzz::check(viaBuilder[k] == s[k], "both ways leave the same slots",
                        QStringLiteral("slot %1: %2 / %3").arg(k).arg(viaBuilder[k], s[k]));
        if (builtOk) {
            const QString a = w.row(QStringLiteral("F01CSV"), icn), b = w.row(QStringLiteral("F01CSVP"), icn);
            fuzz::check(a == b, "both ways store the same values", sql + QStringLiteral("\n") + a + QStringLiteral("\n") + b);
        }
        ++icn;
    }
    // The rows of the coming bars: the period of the last two lines, advanced four times.
    if (lines.size() >= 2) {
        const QStringList f2 = textfile::splitCommas(lines[lines.size() - 2]);
        const QStringList f1 = textfile::splitCommas(lines[lines.size() - 1]);
        if (f2.size() >= 2 && f1.size() >= 20) {
            const auto dt2 = market::readDateTime(f2[0], f2[1]);
            auto dt = market::readDateTime(f1[0], f1[1]);
            auto dtl = market::readDateTime(f1[18], f1[19]);
            if (dt2 && dt && dtl) {
                const qint64 dtp = dt2->msecsTo(*dt);
                for (int k = 0; k < 4; ++k) {
                    *dt = dt->addMSecs(dtp);
                    *dtl = dtl->addMSecs(dtp);
                    fuzz::check(dt->isValid() && dtl->isValid(), "coming bars have a date");
                    const QString d = dt->toString(QStringLiteral("yyyy/MM/dd")) + dtl->toString(QStringLiteral("HH:mm"));
                    fuzz::check(!d.isEmpty(), "coming bars have a date text");
                }
            }
        }
    }
    // Statistics texts keep numbers the import can compare.
    fuzz::check(x.iP >= 0 && x.iP < 10000 && x.iM <= 0, "close moves", QString::number(x.iP));
    fuzz::check(w.count(QStringLiteral("select count(*) from KEEP")) == 1, "other table untouched");
    fuzz::check(w.count(QStringLiteral("select count(*) from sqlite_master")) == w.objects, "no table made or dropped");
    fuzz::check(w.count(QStringLiteral("select count(*) from F01CSV")) == w.count(QStringLiteral("select count(*) from F01CSVP")),
                "same row count");
}

}  // namespace fuzz
