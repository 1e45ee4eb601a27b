#pragma once
#include <array>
#include <memory>

#include "db/Catalog.h"
#include "db/DataSource.h"
#include "db/Database.h"

// The two databases of the program: the file database "SQDB.DB", which keeps the catalog and
// every forecast, and the memory database, rebuilt from the quote files at every start.
enum class Db { File, Memory };
// The key the SQL builder knows a database by: "csq" for the file, "csm" for memory.
inline QString connectionKey(Db db) { return db == Db::Memory ? QStringLiteral("csm") : QStringLiteral("csq"); }

// The data module: both connections, every named query and the data sources that bind
// queries to the grids of the window.
class DataModule {
public:
    DataModule();
    ~DataModule();

    Connection file{QStringLiteral("csq")};    // the file database "SQDB.DB"
    Connection memory{QStringLiteral("csm")};  // the memory database

    // The largest row number of a table.
    Query newNumber{QStringLiteral("qx"), &file, QStringLiteral("select * from AAATST")};
    // Short-lived reads: a table's existence, a run's details for its page, a count.
    Query scratch{QStringLiteral("qw"), &file, QStringLiteral("select * from AAATST")};
    // The forecast headers of each timeframe (grids e1G, e2G, e3G).
    Query headers05{QStringLiteral("q1"), &file, QStringLiteral("select * from F03V05H")};
    Query headers30{QStringLiteral("q2"), &file, QStringLiteral("select * from F03V30H")};
    Query headers4h{QStringLiteral("q3"), &file, QStringLiteral("select * from F03V4HH")};
    // The details of the run highlighted in a run list (grid e4G).
    Query runDetails{QStringLiteral("q4"), &file, QStringLiteral("select * from F03VDT")};
    // The details of a page's current run for its verification chart.
    Query chartDetails{QStringLiteral("q4c"), &file, QStringLiteral("select * from F03VDT")};
    // The detail rows verification works on.
    Query pendingDetails{QStringLiteral("qvd"), &file, QStringLiteral("select * from F03VDT")};
    // The export catalog (grid gDG).
    Query exportCatalog{QStringLiteral("qg"), &file, QStringLiteral("select * from F04CSV")};
    // The quote table (grid hDG), walked by the training table builder.
    Query quoteRows{QStringLiteral("qmf"), &memory, QStringLiteral("select * from F01CSV")};
    // The training tables as the browser (grid fDG) and the forecast run see them.
    Query training05{QStringLiteral("qm1"), &memory, QStringLiteral("select * from F02R05M")};
    Query training30{QStringLiteral("qm2"), &memory, QStringLiteral("select * from F02R30M")};
    Query training4h{QStringLiteral("qm3"), &memory, QStringLiteral("select * from F02R4H")};
    // The rows of a run's periods: the placeholder rows it stores, the bars it is verified on.
    Query periodRows{QStringLiteral("qmc"), &memory, QStringLiteral("select * from F02R05M")};
    // A training table read whole by the forecast run, or averaged for its CSV file.
    Query trainingRead{QStringLiteral("qm"), &memory, QStringLiteral("select * from F01CSV")};
    // The value ranges of a window of a training table.
    Query windowRanges{QStringLiteral("qmt"), &memory, QStringLiteral("select * from R01CSV")};

    Catalog catalog{file};

    std::unique_ptr<DataSource> headerSource05, headerSource30, headerSource4h, detailSource, quoteSource,
        exportSource, trainingSource05, trainingSource30, trainingSource4h;

    // Header query, training-table query and their data sources by timeframe index 0..2.
    Query& headerQuery(int index) { return *std::array{&headers05, &headers30, &headers4h}.at(size_t(index)); }
    Query& trainingQuery(int index) { return *std::array{&training05, &training30, &training4h}.at(size_t(index)); }
    DataSource* headerSource(int index) {
        return std::array{headerSource05.get(), headerSource30.get(), headerSource4h.get()}.at(size_t(index));
    }
    DataSource* trainingSource(int index) {
        return std::array{trainingSource05.get(), trainingSource30.get(), trainingSource4h.get()}.at(size_t(index));
    }
    Connection& connection(Db db) { return db == Db::Memory ? memory : file; }
};
