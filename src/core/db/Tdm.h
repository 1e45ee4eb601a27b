#pragma once
#include <array>
#include <memory>

#include "db/Catalog.h"
#include "db/DataSource.h"
#include "db/Database.h"

// The data module: both connections, every named query and the data sources that bind
// queries to the grids of the window.
class Tdm {
public:
    Tdm();
    ~Tdm();

    Connection csq{QStringLiteral("csq")};  // the file database "SQDB.DB"
    Connection csm{QStringLiteral("csm")};  // the memory database

    Query qst{QStringLiteral("qst"), &csq, QStringLiteral("select * from AAATST")};
    Query qx{QStringLiteral("qx"), &csq, QStringLiteral("select * from AAATST")};
    Query qw{QStringLiteral("qw"), &csq, QStringLiteral("select * from AAATST")};
    Query q1{QStringLiteral("q1"), &csq, QStringLiteral("select * from F03V05H")};
    Query q2{QStringLiteral("q2"), &csq, QStringLiteral("select * from F03V30H")};
    Query q3{QStringLiteral("q3"), &csq, QStringLiteral("select * from F03V4HH")};
    Query q4{QStringLiteral("q4"), &csq, QStringLiteral("select * from F03VDT")};
    Query qvd{QStringLiteral("qvd"), &csq, QStringLiteral("select * from F03VDT")};
    Query qg{QStringLiteral("qg"), &csq, QStringLiteral("select * from F04CSV")};
    Query qmf{QStringLiteral("qmf"), &csm, QStringLiteral("select * from F01CSV")};
    Query qm1{QStringLiteral("qm1"), &csm, QStringLiteral("select * from F02R05M")};
    Query qm2{QStringLiteral("qm2"), &csm, QStringLiteral("select * from F02R30M")};
    Query qm3{QStringLiteral("qm3"), &csm, QStringLiteral("select * from F02R4H")};
    Query qmc{QStringLiteral("qmc"), &csm, QStringLiteral("select * from F02R05M")};
    Query qm{QStringLiteral("qm"), &csm, QStringLiteral("select * from F01CSV")};
    Query qmt{QStringLiteral("qmt"), &csm, QStringLiteral("select * from R01CSV")};

    Catalog catalog{csq};

    std::unique_ptr<DataSource> ds1, ds2, ds3, ds4, dsf, dsg, dsm1, dsm2, dsm3;

    // Header query, training-table query and their data sources by timeframe index 0..2.
    Query& headerQuery(int index) { return *std::array{&q1, &q2, &q3}.at(size_t(index)); }
    Query& trainingQuery(int index) { return *std::array{&qm1, &qm2, &qm3}.at(size_t(index)); }
    DataSource* headerSource(int index) { return std::array{ds1.get(), ds2.get(), ds3.get()}.at(size_t(index)); }
    DataSource* trainingSource(int index) { return std::array{dsm1.get(), dsm2.get(), dsm3.get()}.at(size_t(index)); }
    Connection& byKey(const QString& key) { return key == QLatin1String("csm") ? csm : csq; }
};
