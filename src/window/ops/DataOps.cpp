// Opening the databases, creating tables, running statements, catalog lookups and the
// statements of the SQL builder.
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

void TVelkorF::openDatabases() {
    data.file.close();
    const QString fileName = path(QStringLiteral("SQDB.DB"));
    data.file.setDatabase(fileName);
    data.file.open();
    // SQLite reads the file only at the first statement: a file that is no database, or one
    // that another copy of the program keeps locked past the wait, is reported by its name.
    QString why;
    if (!execOne(data.file, QStringLiteral("select count(*) from sqlite_master"), &why))
        throw VelkorError(texts::fileOpenError(fileName, why));
    refuseForeignObjects();
    data.memory.close();
    data.memory.setDatabase(QString());
    data.memory.open();
    data.catalog.invalidate();
    // A new user's first start: the file database has no catalog yet.
    if (!data.catalog.present()) loadCatalog();
    const bool exportCatalogExisted = tableExists(data.file, QStringLiteral("F04CSV"));
    // The missing tables and the rows of a new export catalog as one unit: a start that ends
    // halfway leaves no export catalog without its rows.
    Transaction tx(data.file);
    createMissingTables();
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
    auto refuse = [&](const QString& object) { throw VelkorError(texts::foreignObject(data.file.database(), object)); };
    Query objects(QStringLiteral("objects"), &data.file,
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
    if (!data.catalog.present()) return;
    Query tables(QStringLiteral("tables"), &data.file, QStringLiteral("select TNAM from AAATBN"));
    tables.Open();
    for (int r = 0; r < tables.RecordCount(); ++r)
        if (const QString n = tables.ValueAt(r, 0).asString(); !identifier.match(n).hasMatch())
            refuse(QStringLiteral("AAATBN.TNAM '%1'").arg(n));
    Query columns(QStringLiteral("columns"), &data.file, QStringLiteral("select CNAM, KT, coalesce(LN, '') from AAATST"));
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
    if (!tableExists(data.file, QStringLiteral("F04CSV"))) return;
    if (queryInt(data.file, QStringLiteral("select COUNT(*) from F04CSV")) > 0) return;
    struct Row { const char* pnm; const char* tbn; const char* csv; const char* tyo; };
    static const Row rows[] = {
        {"51:検証", "F03V05H", "F03V05H.CSV", "05分足予測検証表"},
        {"51:検証", "F03V30H", "F03V30H.CSV", "30分足予測検証表"},
        {"51:検証", "F03V4HH", "F03V4HH.CSV", "4時間足予測検証表"},
        {"51:検証", "F03VDT", "F03VDT.CSV", "予測検証明細"},
    };
    const QString table = QStringLiteral("F04CSV");
    Slots values;
    int cnt = 1;
    for (const Row& r : rows) {
        const CatalogTable* t = data.catalog.find(table);
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
            values[11 + int(k)] = v;
        }
        const SqlText insert = insertStatement(table, values);
        if (!execute(Db::File, insert)) throw VelkorError(texts::sqlError(QStringLiteral("F04CSV に行を書き込めません"), insert));
        ++cnt;
    }
}

void TVelkorF::createMissingTables() {
    static const char* fileTables[] = {"F01CSV", "F02R05M", "F02R30M", "F02R4H", "F03V05H",
                                       "F03V30H", "F03V4HH", "F03VDT", "F04CSV"};
    static const char* memoryTables[] = {"F01CSV", "F02R05M", "F02R30M", "F02R4H"};
    for (const char* t : fileTables) createTableIfMissing(Db::File, QString::fromLatin1(t));
    for (const char* t : memoryTables) createTableIfMissing(Db::Memory, QString::fromLatin1(t));
}

void TVelkorF::createTableIfMissing(Db db, const QString& table) {
    if (tableExists(data.connection(db), table)) return;
    execute(db, createStatement(db, table));
}

bool TVelkorF::execute(Db db, const SqlText& statement) {
    if (statement.bad) return false;  // a value was not a valid literal: the statement fails
    return execOne(data.connection(db), statement);
}

QString TVelkorF::newNumber(const QString& table, const QString& column) {
    data.newNumber.Close();
    data.newNumber.setSql(QStringLiteral("select Max(") + column + QStringLiteral(") as CNT from ") + table);
    data.newNumber.Open();
    const Field f = data.newNumber.FieldByName(QStringLiteral("CNT"));
    const qint64 v = f.AsString().isEmpty() ? 1 : f.value().asInt64() + 1;
    data.newNumber.Close();
    if (v > std::numeric_limits<int>::max()) throw VelkorError(texts::noNewNumber(table));
    return QString::number(v);
}

const CatalogTable* TVelkorF::catalogTable(const QString& table) {
    const CatalogTable* t = data.catalog.find(table);
    if (!t) dialogs_->message(table + texts::tableNotFound);
    return t;
}

namespace {
// No statement: a table the catalog does not know.
SqlText noStatement() {
    SqlText s;
    s.bad = true;
    return s;
}
}  // namespace

SqlText TVelkorF::selectStatement(const QString& table, const QString& tail) {
    const CatalogTable* t = catalogTable(table);
    return t ? SqlText(sqlb::select(*t, tail)) : noStatement();
}

SqlText TVelkorF::insertStatement(const QString& table, Slots& values) {
    const CatalogTable* t = catalogTable(table);
    if (!t) return noStatement();
    SqlText s;
    s.text = sqlb::insert(*t, values, s.bad);
    return s;
}

SqlText TVelkorF::createStatement(Db db, const QString& table) {
    const CatalogTable* t = catalogTable(table);
    Slots scratch;
    return t ? SqlText(sqlb::create(*t, connectionKey(db), scratch)) : noStatement();
}

void TVelkorF::applyDisplayWidths(Query& q, const QString& table) {
    const CatalogTable* t = data.catalog.find(table);
    if (!t) return;
    for (size_t k = 0; k < t->columns.size() && int(k) < q.FieldCount(); ++k)
        q.SetDisplayWidth(int(k), t->columns[k].displayWidth);
}

bool TVelkorF::insertRow(market::SlotInsert& prepared, const QString& table, Slots& values) {
    if (prepared.usable()) return prepared.insert(values);
    return execute(Db::Memory, insertStatement(table, values));
}

void TVelkorF::openOnTable(Query& q, Db db, const QString& table, const QString& tail, bool widths) {
    q.Close();
    q.setConnection(&data.connection(db));
    q.setSql(selectStatement(table, tail));
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
        Transaction tx(data.file);
        execOrThrow(data.file, QStringLiteral(" drop table if exists AAATBN  "));
        execOrThrow(data.file, QStringLiteral(" create table AAATBN ( CNT Integer, BID Integer,  TBID Integer, "
                                           "SKB nchar(4), TNAM nchar(14), TYO nchar(40) ); "));
        execOrThrow(data.file, QStringLiteral(" drop table if exists AAATST "));
        execOrThrow(data.file, QStringLiteral(" create table AAATST ( CNT Integer,  BID Integer, TBID Integer, "
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
                        v = sqlb::textLiteral(v, s.cut[q]);
                    } else {
                        v = v.trimmed();
                        v = sqlb::numberLiteral(v);
                        if (v != QLatin1String("NULL") && !sqlb::isNumericLiteral(v)) bad = true;
                    }
                    values.append(v);
                }
                if (!bad) execOne(data.file, s.head + values.join(QLatin1Char(',')) + QLatin1Char(')'));
            }
        }
        tx.commit();
    }
    data.catalog.invalidate();
}
