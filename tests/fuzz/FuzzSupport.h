#pragma once
// Shared pieces of the fuzz checks: the catalog rows of a table and a failing check. The
// checks run under libFuzzer (tests/fuzz/fuzz_*.cpp) and, for the inputs kept in
// tests/fuzz/corpus and tests/fuzz/regressions, in the ordinary test suite.
#include <QDir>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "app/TextFile.h"
#include "db/Catalog.h"

namespace fuzz {

struct CheckFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail(const char* what, const QString& detail = {}) {
    throw CheckFailed(std::string(what) + "\n" + detail.toStdString());
}
inline void check(bool ok, const char* what, const QString& detail = {}) {
    if (!ok) fail(what, detail);
}

// The columns of catalog table `tbid` as the program's catalog files describe them.
inline CatalogTable catalogTable(const QString& name, int tbid) {
    CatalogTable t;
    t.name = name;
    t.tbid = QString::number(tbid);
    const QStringList lines = textfile::readLines(QStringLiteral(VELKOR_SOURCE_DIR "/data/catalog/tblstrc.csv"));
    for (const QString& line : lines) {
        const QStringList f = textfile::splitCommas(line);
        if (f.size() < 9 || f[2].toInt() != tbid) continue;
        CatalogColumn c;
        c.name = f[4];
        c.type = f[5];
        c.length = f[6].trimmed();
        c.displayWidth = f[7].toInt();
        t.columns.push_back(c);
    }
    return t;
}

// Runs a check as a libFuzzer target does: a failed check prints and aborts.
template <typename Check>
int runTarget(Check check, const uint8_t* data, size_t size) {
    try {
        check(data, size);
    } catch (const CheckFailed& e) {
        std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", e.what());
        std::abort();
    }
    return 0;
}

}  // namespace fuzz
