// Opening the databases, creating tables, running statements, catalog lookups and the
// SQL builder of the window.
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <limits>

#include "app/Texts.h"
#include "app/TextFile.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "db/Transaction.h"
#include "market/MarketCommon.h"
#include "window/VelkorU.h"

void TVelkorF::uqCdb() {
    dm.csq.close();
    stdb = path(QStringLiteral("SQDB.DB"));
    dm.csq.setDatabase(stdb);
    dm.csq.open();
    // SQLite reads the file only at the first statement: a file that is no database, or one
    // that another copy of the program keeps locked past the wait, is reported by its name.
    QString why;
    if (!execOne(dm.csq, QStringLiteral("select count(*) from sqlite_master"), &why))
        throw VelkorError(texts::fileOpenError(stdb, why));
    refuseForeignObjects();
    dm.csm.close();
    dm.csm.setDatabase(QString());
    dm.csm.open();
    dm.catalog.invalidate();
    curTable_ = nullptr;
    // A new user's first start: the file database has no catalog yet.
    if (!dm.catalog.present()) uqTst(3);
    const bool exportCatalogExisted = tableExists(dm.csq, QStringLiteral("F04CSV"));
    // The missing tables and the rows of a new export catalog as one unit: a start that ends
    // halfway leaves no export catalog without its rows.
    Transaction tx(dm.csq);
    uqCtbl(1);
    if (!exportCatalogExisted) addDefaultExports();
    tx.commit();
}

// A file database that would run code of its own in the program's statements is refused
// before anything is written: a trigger or a view on one of the program's tables, and a
// catalog row whose table or column name is not a plain identifier, whose type is not a
// plain type name or whose length is not a number (they are put into statements as text).
void TVelkorF::refuseForeignObjects() {
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    static const QRegularExpression typeName(QStringLiteral("^[A-Za-z]+$"));
    static const QRegularExpression length(QStringLiteral("^[0-9]*$"));
    static const QStringList ownTables = {QStringLiteral("AAATBN"), QStringLiteral("AAATST"), QStringLiteral("F01CSV"),
                                          QStringLiteral("F02R05M"), QStringLiteral("F02R30M"), QStringLiteral("F02R4H"),
                                          QStringLiteral("F03V05H"), QStringLiteral("F03V30H"), QStringLiteral("F03V4HH"),
                                          QStringLiteral("F03VDT"), QStringLiteral("F04CSV")};
    auto refuse = [&](const QString& object) { throw VelkorError(texts::foreignObject(dm.csq.database(), object)); };
    Query objects(QStringLiteral("objects"), &dm.csq,
                  QStringLiteral("select type, name, tbl_name, coalesce(sql, '') from sqlite_master "
                                 "where type in ('trigger', 'view')"));
    objects.Open();
    for (int r = 0; r < objects.RecordCount(); ++r) {
        const QString type = objects.ValueAt(r, 0).asString(), name = objects.ValueAt(r, 1).asString();
        const QString on = objects.ValueAt(r, 2).asString(), sql = objects.ValueAt(r, 3).asString();
        for (const QString& t : ownTables) {
            const QRegularExpression word(QStringLiteral("\\b%1\\b").arg(t), QRegularExpression::CaseInsensitiveOption);
            if (on.compare(t, Qt::CaseInsensitive) == 0 || name.compare(t, Qt::CaseInsensitive) == 0 ||
                (type == QLatin1String("view") && word.match(sql).hasMatch()))
                refuse(type + QLatin1Char(' ') + name);
        }
    }
    if (!dm.catalog.present()) return;
    Query tables(QStringLiteral("tables"), &dm.csq, QStringLiteral("select TNAM from AAATBN"));
    tables.Open();
    for (int r = 0; r < tables.RecordCount(); ++r)
        if (const QString n = tables.ValueAt(r, 0).asString(); !identifier.match(n).hasMatch())
            refuse(QStringLiteral("AAATBN.TNAM '%1'").arg(n));
    Query columns(QStringLiteral("columns"), &dm.csq, QStringLiteral("select CNAM, KT, coalesce(LN, '') from AAATST"));
    columns.Open();
    for (int r = 0; r < columns.RecordCount(); ++r) {
        const QString n = columns.ValueAt(r, 0).asString(), kt = columns.ValueAt(r, 1).asString();
        const QString ln = columns.ValueAt(r, 2).asString();
        if (!identifier.match(n).hasMatch()) refuse(QStringLiteral("AAATST.CNAM '%1'").arg(n));
        if (!typeName.match(kt).hasMatch()) refuse(QStringLiteral("AAATST.KT '%1'").arg(kt));
        if (!length.match(ln).hasMatch()) refuse(QStringLiteral("AAATST.LN '%1'").arg(ln));
    }
}

bool TVelkorF::tableExists(Connection& c, const QString& name) {
    return queryInt(c, QStringLiteral("select COUNT(*) from sqlite_master where type = 'table' and name = ") +
                           sqlb::quoted(name)) > 0;
}

void TVelkorF::addDefaultExports() {
    // A new export catalog offers the stored forecasts, so that "書出" is useful at once.
    if (!tableExists(dm.csq, QStringLiteral("F04CSV"))) return;
    if (queryInt(dm.csq, QStringLiteral("select COUNT(*) from F04CSV")) > 0) return;
    struct Row { const char* pnm; const char* tbn; const char* csv; const char* tyo; };
    static const Row rows[] = {
        {"51:検証", "F03V05H", "F03V05H.CSV", "05分足予測検証表"},
        {"51:検証", "F03V30H", "F03V30H.CSV", "30分足予測検証表"},
        {"51:検証", "F03V4HH", "F03V4HH.CSV", "4時間足予測検証表"},
        {"51:検証", "F03VDT", "F03VDT.CSV", "予測検証明細"},
    };
    stdb = QStringLiteral("csq");
    stnm = QStringLiteral("F04CSV");
    int cnt = 1;
    for (const Row& r : rows) {
        const CatalogTable* t = dm.catalog.find(stnm);
        if (!t) return;
        for (size_t k = 0; k < t->columns.size(); ++k) {
            const QString& name = t->columns[k].name;
            QString v;
            if (name == QLatin1String("CNT")) v = QString::number(cnt);
            else if (name == QLatin1String("PNO")) v = QStringLiteral("5");
            else if (name == QLatin1String("PNM")) v = QString::fromUtf8(r.pnm);
            else if (name == QLatin1String("TBN")) v = QString::fromUtf8(r.tbn);
            else if (name == QLatin1String("PAS")) v = QStringLiteral("DATA/CSV/");
            else if (name == QLatin1String("CSV")) v = QString::fromUtf8(r.csv);
            else if (name == QLatin1String("TYO")) v = QString::fromUtf8(r.tyo);
            sa[11 + int(k)] = v;
        }
        ucSql(2);
        if (!uexSql(1)) throw VelkorError(texts::sqlError(QStringLiteral("F04CSV に行を書き込めません"), sqw));
        ++cnt;
    }
}

void TVelkorF::uqCtbl(int id) {
    if (id == 1) {
        static const char* fileTables[] = {"F01CSV", "F02R05M", "F02R30M", "F02R4H", "F03V05H",
                                           "F03V30H", "F03V4HH", "F03VDT", "F04CSV"};
        static const char* memoryTables[] = {"F01CSV", "F02R05M", "F02R30M", "F02R4H"};
        for (const char* t : fileTables) {
            stdb = QStringLiteral("csq");
            stnm = QString::fromLatin1(t);
            swh.clear();
            uqCtbl(2);
        }
        for (const char* t : memoryTables) {
            stdb = QStringLiteral("csm");
            stnm = QString::fromLatin1(t);
            swh.clear();
            uqCtbl(2);
        }
        return;
    }
    if (id != 2) return;
    sqw = QStringLiteral("select COUNT(*) as CNT from sqlite_master  where type = 'table' and name = ") +
          sqlb::quoted(stnm) + QStringLiteral(" ");
    dm.qw.Close();
    if (stdb == QLatin1String("csq")) dm.qw.setConnection(&dm.csq);
    else if (stdb == QLatin1String("csm")) dm.qw.setConnection(&dm.csm);
    dm.qw.setSql(sqw);
    dm.qw.Open();
    if (dm.qw.FieldByName(QStringLiteral("CNT")).AsInteger() > 0) return;
    dm.qw.Close();
    dm.qw.setConnection(&dm.csq);
    ucSql(6);
    if (stdb == QLatin1String("csq")) uexSql(1);
    else if (stdb == QLatin1String("csm")) uexSql(2);
}

bool TVelkorF::uexSql(int id) {
    if (id != 1 && id != 2) return false;
    if (sqw.bad) return false;  // a value was not a valid literal: the statement fails
    return execOne(id == 1 ? dm.csq : dm.csm, sqw);
}

QString TVelkorF::GetNewId(const QString& scnm) {
    dm.qx.Close();
    sqw = QStringLiteral("select Max(") + scnm + QStringLiteral(") as CNT from ") + stnm;
    dm.qx.setSql(sqw);
    dm.qx.Open();
    const Field f = dm.qx.FieldByName(QStringLiteral("CNT"));
    const qint64 v = f.AsString().isEmpty() ? 1 : f.value().asInt64() + 1;
    dm.qx.Close();
    if (v > std::numeric_limits<int>::max()) throw VelkorError(texts::noNewNumber(stnm));
    return QString::number(v);
}

void TVelkorF::uqTst(int id) {
    if (id == 3) { loadCatalog(); return; }
    if (id != 1 && id != 2) return;
    if (const CatalogTable* t = dm.catalog.find(stnm)) {
        curTable_ = t;
        stid = t->tbid;
    } else {
        dialogs_->message(stnm + texts::tableNotFound);  // the builder goes on with the table before
    }
    if (id == 2 || !curTable_) return;
    if (dm.qst.rowsKey() != curTable_->name || !dm.qst.Active()) {
        std::vector<std::vector<DbValue>> rows;
        rows.reserve(curTable_->columns.size());
        for (const CatalogColumn& c : curTable_->columns) rows.push_back(c.row);
        dm.qst.OpenRows(Catalog::columnFieldNames(), std::move(rows), curTable_->name);
    }
    dm.qst.First();
}

void TVelkorF::ucNul(QString& st, int id, int il) { sqlb::ucNul(st, id, il); }

void TVelkorF::ucSql(int id) {
    switch (id) {
    case 1: case 2: case 3: case 4: case 5: case 6: {
        uqTst(1);
        if (!curTable_) return;
        const CatalogTable& t = *curTable_;
        bool bad = false;
        switch (id) {
        case 1: sqw = sqlb::select(t, swh); break;
        case 2: sqw = sqlb::insert(t, sa, bad); break;
        case 3: sqw = sqlb::update(t, sa, swh, bad); break;
        case 4: sqw = sqlb::insertParams(t, sa); break;
        case 5: sqw = sqlb::updateParams(t, swh); break;
        case 6: sqw = sqlb::create(t, stdb, sa); break;
        }
        sqw.bad = bad;
        if (id != 6) { dm.qst.Last(); dm.qst.Next(); }
        return;
    }
    case 7: {
        if (!curTable_) return;
        const int row = dm.qst.RecNo();
        if (row < 0 || row >= int(curTable_->columns.size())) return;
        bool bad = false;
        sa[7] = curTable_->columns[size_t(row)].type;
        sa[9] = sqlb::literal(curTable_->columns[size_t(row)], sa[9], bad);
        if (bad) sqw.bad = true;
        return;
    }
    default:
        return;
    }
}

void TVelkorF::applyDisplayWidths(Query& q, const QString& table) {
    const CatalogTable* t = dm.catalog.find(table);
    if (!t) return;
    for (size_t k = 0; k < t->columns.size() && int(k) < q.FieldCount(); ++k)
        q.SetDisplayWidth(int(k), t->columns[k].displayWidth);
}

bool TVelkorF::insertRow(market::SlotInsert& prepared) {
    if (prepared.usable()) return prepared.insert(sa);
    ucSql(2);
    return uexSql(2);
}

void TVelkorF::openOnTable(Query& q, const QString& db, const QString& table, const QString& tail, bool widths) {
    stdb = db;
    stnm = table;
    swh = tail;
    ucSql(1);
    q.Close();
    q.setConnection(&dm.byKey(db));
    q.setSql(sqw);
    q.Open();
    q.Last();
    if (widths) applyDisplayWidths(q, table);
}

void TVelkorF::loadCatalog() {
    dialogs_->message(texts::catalogLoad);
    const QString tblPath = QDir(catalogDir_).filePath(QStringLiteral("tbl.csv"));
    const QString strcPath = QDir(catalogDir_).filePath(QStringLiteral("tblstrc.csv"));
    // Both files are read before anything is dropped, so a bad file leaves the catalog as it was.
    const QStringList tbl = textfile::readLines(tblPath);
    const QStringList strc = textfile::readLines(strcPath);

    struct CatalogFile { const QStringList* lines; QString file; int fields; QList<int> quoted; QList<int> cut; QString head; };
    const CatalogFile files[] = {
        {&tbl, tblPath, 6, {3, 4, 5}, {4, 14, 40},
         QStringLiteral(" Insert into AAATBN (CNT, BID, TBID, SKB, TNAM, TYO) Values  (")},
        {&strc, strcPath, 9, {4, 5, 8}, {14, 10, 40},
         QStringLiteral(" Insert into AAATST (CNT, BID, TBID, CID, CNAM, KT, LN, DPW, TYO)  Values  (")},
    };
    // Checks every line first: a short line names its file and line and changes nothing.
    for (const CatalogFile& s : files)
        for (int i = 0; i < s.lines->size(); ++i) {
            if ((*s.lines)[i].trimmed().isEmpty()) continue;
            const qsizetype n = textfile::splitCommas((*s.lines)[i]).size();
            if (n < s.fields) throw VelkorError(texts::lineError(s.file, i + 1, texts::tooFewFields(n, s.fields)));
        }

    {
        Transaction tx(dm.csq);
        execOrThrow(dm.csq, QStringLiteral(" drop table if exists AAATBN  "));
        execOrThrow(dm.csq, QStringLiteral(" create table AAATBN ( CNT Integer, BID Integer,  TBID Integer, "
                                           "SKB nchar(4), TNAM nchar(14), TYO nchar(40) ); "));
        execOrThrow(dm.csq, QStringLiteral(" drop table if exists AAATST "));
        execOrThrow(dm.csq, QStringLiteral(" create table AAATST ( CNT Integer,  BID Integer, TBID Integer, "
                                           "CID Integer, CNAM nchar(14),  KT nchar(10), LN Integer , "
                                           "DPW Integer, TYO nchar(40) ); "));
        for (const CatalogFile& s : files) {
            for (const QString& line : *s.lines) {
                if (line.trimmed().isEmpty()) continue;
                const QStringList f = textfile::splitCommas(line);
                QStringList values;
                bool bad = false;
                for (int j = 0; j < s.fields; ++j) {
                    QString v = f[j];
                    const int q = int(s.quoted.indexOf(j));
                    if (q >= 0) {
                        sqlb::ucNul(v, 2, s.cut[q]);
                    } else {
                        v = v.trimmed();
                        sqlb::ucNul(v, 1, 0);
                        if (v != QLatin1String("NULL") && !sqlb::isNumericLiteral(v)) bad = true;
                    }
                    sa[11 + j] = v;
                    values.append(v);
                }
                if (!bad) execOne(dm.csq, s.head + values.join(QLatin1Char(',')) + QLatin1Char(')'));
            }
        }
        tx.commit();
    }
    dm.catalog.invalidate();
    curTable_ = nullptr;
}
