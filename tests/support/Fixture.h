#pragma once
// Test support: a window over its own temporary working directory, with scripted
// dialogs, a fixed clock and no progress dialog.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "app/Clock.h"
#include "app/TextFile.h"
#include "db/Database.h"
#include "app/Timeframe.h"
#include "support/ScriptedDialogs.h"
#include "window/QtDialogs.h"
#include "window/QtProgress.h"
#include "window/VelkorU.h"

// The rows `sql` gives on `c`, each as its fields' texts joined by `sep`.
inline QStringList queryRows(Connection* c, const QString& sql, QChar sep = QLatin1Char('|')) {
    Query q(QStringLiteral("rows"), c, sql);
    q.Open();
    QStringList out;
    for (int r = 0; r < q.RecordCount(); ++r) {
        QStringList row;
        for (int k = 0; k < q.FieldCount(); ++k) row << q.ValueAt(r, k).asString();
        out << row.join(sep);
    }
    return out;
}

struct WindowFixture {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FixedClock clock{QDate(2024, 1, 10)};
    NullProgress progress;
    std::unique_ptr<TVelkorF> w;

    explicit WindowFixture(std::optional<unsigned> seed = 1u) { make(seed); }

    void make(std::optional<unsigned> seed = 1u) {
        w.reset();
        TVelkorF::Options o;
        o.workDir = dir.path();
        o.catalogDir = QStringLiteral(VELKOR_SOURCE_DIR "/data/catalog");
        o.dialogs = &dialogs;
        o.clock = &clock;
        o.progress = &progress;
        o.seed = seed;
        w = std::make_unique<TVelkorF>(o);
    }

    QString wd() const { return dir.path(); }
    QString file(const QString& rel) const { return QDir(dir.path()).filePath(rel); }

    // Opens both databases and creates every table, as the start-up's first step does.
    void openDatabases() {
        QDir(dir.path()).mkpath(QStringLiteral("DATA/CSV"));
        w->openDatabases();
    }

    void writeBytes(const QString& rel, const QByteArray& bytes) const {
        const QString p = file(rel);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
    QByteArray readBytes(const QString& rel) const {
        QFile f(file(rel));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    // Runs one statement on the memory ("csm") or file ("csq") database; false on error.
    bool exec(const QString& key, const QString& sql) { return execOne(w->data.connection(key == QLatin1String("csm") ? Db::Memory : Db::File), sql); }
    // The first column of the first row of a query, as text.
    QString scalar(const QString& key, const QString& sql) {
        Query q(QStringLiteral("t"), &w->data.connection(key == QLatin1String("csm") ? Db::Memory : Db::File), sql);
        q.Open();
        return q.IsEmpty() ? QString() : q.ValueAt(0, 0).asString();
    }
};
