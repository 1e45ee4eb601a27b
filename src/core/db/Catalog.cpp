#include "db/Catalog.h"

#include <sqlite3.h>

#include "app/Texts.h"
#include "app/VelkorError.h"

namespace {
[[noreturn]] void fail(Connection& c, const char* sql) {
    throw VelkorError(texts::sqlError(QString::fromUtf8(sqlite3_errmsg(c.handle())), QString::fromUtf8(sql)));
}
}  // namespace

const QStringList& Catalog::columnFieldNames() {
    static const QStringList names{"CNT", "BID", "TBID", "CID", "CNAM", "KT", "LN", "DPW", "TYO"};
    return names;
}

bool Catalog::present() {
    static const char* sql =
        "select COUNT(*) from sqlite_master where type = 'table' and name in ('AAATBN', 'AAATST')";
    sqlite3_stmt* st = csq_.cached(QString::fromLatin1(sql));
    if (sqlite3_step(st) != SQLITE_ROW) fail(csq_, sql);
    const int n = sqlite3_column_int(st, 0);
    sqlite3_reset(st);
    return n == 2;
}

const CatalogTable* Catalog::find(const QString& name) {
    auto it = tables_.find(name);
    if (it != tables_.end()) return it->get();

    static const char* tsql = "select TBID from AAATBN where TNAM = ?";
    sqlite3_stmt* st = csq_.cached(QString::fromLatin1(tsql));
    const QByteArray n8 = name.toUtf8();
    sqlite3_bind_text(st, 1, n8.constData(), int(n8.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE) { sqlite3_reset(st); return nullptr; }
    if (rc != SQLITE_ROW) fail(csq_, tsql);
    auto tp = std::make_shared<CatalogTable>();
    CatalogTable& t = *tp;
    t.name = name;
    t.tbid = columnValue(st, 0).asString();
    sqlite3_reset(st);

    static const char* csql =
        "select CNT, BID, TBID, CID, CNAM, KT, LN, DPW, TYO from AAATST where TBID = ? order by CNT";
    sqlite3_stmt* cs = csq_.cached(QString::fromLatin1(csql));
    bool ok = false;
    const qint64 tbid = t.tbid.toLongLong(&ok);
    if (ok) sqlite3_bind_int64(cs, 1, tbid);
    else sqlite3_bind_null(cs, 1);
    int r;
    while ((r = sqlite3_step(cs)) == SQLITE_ROW) {
        CatalogColumn c;
        for (int i = 0; i < 9; ++i) c.row.push_back(columnValue(cs, i));
        c.name = c.row[4].asString().trimmed();
        c.type = c.row[5].asString().trimmed();
        c.length = c.row[6].asString().trimmed();
        c.displayWidth = c.row[7].type == DbValue::Int ? int(c.row[7].i) : c.row[7].asString().toInt();
        t.columns.push_back(std::move(c));
    }
    if (r != SQLITE_DONE) fail(csq_, csql);
    sqlite3_reset(cs);
    tables_.insert(name, tp);
    return tp.get();
}
