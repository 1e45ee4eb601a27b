#pragma once
#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "db/Database.h"

// One column as the catalog table AAATST describes it.
struct CatalogColumn {
    std::vector<DbValue> row;  // CNT, BID, TBID, CID, CNAM, KT, LN, DPW, TYO as stored
    QString name;              // CNAM
    QString type;              // KT
    QString length;            // LN as text, empty when NULL
    int displayWidth = 0;      // DPW
    bool isCharacter() const { return type == QLatin1String("varchar") || type == QLatin1String("nchar"); }
    int lengthLimit() const { return length.isEmpty() ? 0 : length.toInt(); }
};

struct CatalogTable {
    QString name;  // TNAM
    QString tbid;  // TBID as text
    std::vector<CatalogColumn> columns;
};

// Reads the catalog tables of the file database, once per table: the cache is dropped
// when the catalog is reloaded.
class Catalog {
public:
    explicit Catalog(Connection& csq) : csq_(csq) {}
    // The table named `name`, or nullptr when AAATBN does not list it. SQL errors (a
    // missing catalog table, for instance) throw VelkorError.
    const CatalogTable* find(const QString& name);
    void invalidate() { tables_.clear(); }
    // True when both catalog tables exist in the file database.
    bool present();

    static const QStringList& columnFieldNames();  // the AAATST columns, in order

private:
    Connection& csq_;
    QHash<QString, std::shared_ptr<CatalogTable>> tables_;  // stable addresses
};
