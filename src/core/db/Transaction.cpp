#include "db/Transaction.h"

#include <sqlite3.h>

#include "app/Texts.h"
#include "app/VelkorError.h"
#include "db/Database.h"

Transaction::Transaction(Connection& c, Kind kind) : c_(c) {
    if (kind == Immediate) {
        // SQLite opens a file it may not write read-only and only refuses the first change.
        if (c.isOpen() && sqlite3_db_readonly(c.handle(), "main") == 1)
            throw VelkorError(texts::fileWriteError(c.database(), QStringLiteral("読み取り専用です")));
        QString why;
        if (!execOne(c, QStringLiteral("begin immediate"), &why))
            throw VelkorError(texts::fileWriteError(c.database(), why));
    } else {
        execOrThrow(c, QStringLiteral("begin"));
    }
    open_ = true;
}

Transaction::~Transaction() { rollback(); }

void Transaction::commit() {
    QString why;
    if (!execOne(c_, QStringLiteral("commit"), &why)) {
        // The file the commit could not write, and the system's reason.
        if (!c_.database().isEmpty() && c_.database() != QLatin1String(":memory:"))
            throw VelkorError(texts::fileWriteError(c_.database(), failureReason(c_)));
        throw VelkorError(texts::sqlError(why, QStringLiteral("commit")));
    }
    open_ = false;
}

void Transaction::rollback() {
    if (!open_) return;
    open_ = false;
    execOne(c_, QStringLiteral("rollback"));
}
