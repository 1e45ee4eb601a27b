// The training-table browser (page "6:Fx予測") and the export catalog (page "7:CSV").
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QTableView>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <cmath>

#include "app/Paths.h"
#include "app/Texts.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "db/Transaction.h"
#include "window/VelkorU.h"
#include "ui_VelkorU.h"

void TVelkorF::browseTrainingTable(const Timeframe& t) {
    ui->f12stbE->setText(t.browserCaption);
    ui->f13tidL->setText(QString::number(t.trainingTbid));
    DataSource* ds = data.trainingSource(t.index);
    // The grid shows the query as it is. The view (and each of its headers) makes a selection
    // model per model it is given; the replaced ones go, and with them only the program's own
    // connections.
    QTableView* grid = ui->fDG;
    QObject::disconnect(browseCursor_[0]);
    QObject::disconnect(browseCursor_[1]);
    if (grid->model() != ds) grid->setModel(ds);
    for (QAbstractItemView* v : std::initializer_list<QAbstractItemView*>{grid, grid->horizontalHeader(), grid->verticalHeader()})
        for (QItemSelectionModel* m : v->findChildren<QItemSelectionModel*>(Qt::FindDirectChildrenOnly))
            if (m != grid->selectionModel()) m->deleteLater();
    browseCursor_ = bindCursor(grid, ds);
    emit ds->widthsChanged();
}

void TVelkorF::browserKey(int key) {
    // The shown table is named by its id.
    int shown = 2;
    for (const Timeframe& t : timeframes())
        if (ui->f13tidL->text() == QString::number(t.trainingTbid)) shown = t.index;
    if (key == Qt::Key_Up) browseTrainingTable(timeframes()[size_t((shown + 2) % 3)]);
    else if (key == Qt::Key_Down) browseTrainingTable(timeframes()[size_t((shown + 1) % 3)]);
}

QStringList TVelkorF::ownFiles() const {
    QStringList files;
    for (const char* name : {"SQDB.DB", "SQDB.DB-journal", "SQDB.DB-wal", "SQDB.DB-shm", "cini.txt", "config.txt",
                             "velkor.lock"})
        files << path(QString::fromLatin1(name));
    files << QDir(catalogDir_).filePath(QStringLiteral("tbl.csv")) << QDir(catalogDir_).filePath(QStringLiteral("tblstrc.csv"));
    QString folder;
    try {
        const QStringList config = QFileInfo::exists(path(QStringLiteral("config.txt")))
                                       ? textfile::readLines(path(QStringLiteral("config.txt")))
                                       : QStringList();
        if (!config.isEmpty() && !config.first().trimmed().isEmpty()) folder = dataFolder(config.first());
    } catch (const VelkorError&) {
        // an unreadable "config.txt" names no quote files
    }
    for (const Timeframe& t : timeframes()) {
        files << path(t.networkFile);
        if (!folder.isEmpty()) files << folder + t.quoteFile;
    }
    return files;
}

void TVelkorF::openExportCatalog() {
    openOnTable(data.exportCatalog, Db::File, QStringLiteral("F04CSV"), QString());
    data.exportCatalog.First();
}

// The table of the export catalog's current row and its CSV file (relative to the working
// directory); only a table the catalog knows is read or written.
struct TVelkorF::CatalogExport {
    const CatalogTable* table;
    QString file;
};

std::optional<TVelkorF::CatalogExport> TVelkorF::currentExport() {
    const Query& q = data.exportCatalog;
    if (q.IsEmpty()) return std::nullopt;
    const QString name = q.FieldByName(QStringLiteral("TBN")).AsString().trimmed();
    QString file = q.FieldByName(QStringLiteral("PAS")).AsString() + q.FieldByName(QStringLiteral("CSV")).AsString();
    if (QDir::isRelativePath(file)) file = path(file);
    const CatalogTable* table = catalogTable(name);
    if (!table) return std::nullopt;
    return CatalogExport{table, file};
}

void TVelkorF::exportCurrentRow() {
    const std::optional<CatalogExport> e = currentExport();
    if (!e) return;
    if (isOneOf(e->file, ownFiles())) throw VelkorError(texts::ownFileTarget(e->file));
    exportTable(*e->table, e->file);
}

void TVelkorF::reimportCurrentRow() {
    if (const std::optional<CatalogExport> e = currentExport()) reimportTable(*e->table, e->file);
}

// Writes every row of the table, in CNT order, as a line of comma-separated values.
void TVelkorF::exportTable(const CatalogTable& table, const QString& file) {
    dialogs_->message(table.name + texts::exportStart);
    const bool memory = std::any_of(timeframes().begin(), timeframes().end(),
                                    [&](const Timeframe& t) { return t.trainingTable == table.name; });
    Query rows(QStringLiteral("export"), memory ? &data.memory : &data.file, sqlb::select(table, QStringLiteral(" order by CNT ")));
    rows.Open();
    QStringList lines;
    lines.reserve(rows.RecordCount());
    for (int r = 0; r < rows.RecordCount(); ++r) {
        QStringList fields;
        for (const DbValue& v : rows.Row(r)) fields.append(v.asString());
        lines.append(fields.join(QLatin1Char(',')));
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    textfile::writeLines(file, lines);
    dialogs_->message(texts::exportEnd, texts::exportWritten(QDir::toNativeSeparators(file), lines.size()));
}

namespace {
// What is wrong with one re-import line's fields for `table`, or nothing: a field per column,
// a 32-bit integer or nothing in an integer column (always one in CNT), a finite number or
// nothing in a real column.
QString reimportFieldError(const CatalogTable& table, const QStringList& f) {
    const qsizetype ncols = std::min(qsizetype(table.columns.size()), qsizetype(70));
    if (f.size() < ncols) return texts::tooFewFields(f.size(), ncols);
    if (f.size() > ncols) return texts::fieldCount(f.size(), ncols);
    static const QRegularExpression integer(QStringLiteral("^-?[0-9]+$"));
    for (qsizetype j = 0; j < ncols; ++j) {
        const CatalogColumn& c = table.columns[size_t(j)];
        const QString& v = f[j];
        if (v.isEmpty()) {
            if (c.name == QLatin1String("CNT")) return texts::missingKey(c.name);
            continue;
        }
        if (c.type.compare(QLatin1String("Integer"), Qt::CaseInsensitive) == 0) {
            bool ok = false;
            v.toInt(&ok);
            if (!integer.match(v).hasMatch()) return c.name + QStringLiteral(": ") + texts::notInteger(v);
            if (!ok) return c.name + QStringLiteral(": ") + texts::integerOverflow(v);
        } else if (c.type.compare(QLatin1String("Real"), Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const double d = v.toDouble(&ok);
            if (!ok || !std::isfinite(d)) return c.name + QStringLiteral(": ") + texts::notNumber(v);
        }
    }
    return {};
}
}  // namespace

// The header a re-imported detail row names, or why it is missing; nothing for other tables.
QString TVelkorF::reimportHeaderError(const CatalogTable& table, const QStringList& f) {
    if (table.name != QLatin1String("F03VDT")) return {};
    auto field = [&](const char* name) {
        for (size_t j = 0; j < table.columns.size() && j < size_t(f.size()); ++j)
            if (table.columns[j].name == QLatin1String(name)) return f[qsizetype(j)];
        return QString();
    };
    const QString htnm = field("HTNM"), hcnt = field("HCNT"), tbid = field("TBID");
    const auto t = std::find_if(timeframes().begin(), timeframes().end(),
                                [&](const Timeframe& x) { return x.headerTable == htnm && x.tbidText() == tbid; });
    if (t == timeframes().end() || hcnt.isEmpty()) return texts::missingHeader(htnm + QLatin1Char('/') + tbid, hcnt);
    const QString count =
        QStringLiteral("select count(*) from ") + t->headerTable + QStringLiteral(" where CNT = ") + sqlb::keyLiteral(hcnt);
    return queryInt(data.file, count) > 0 ? QString() : texts::missingHeader(t->headerTable, hcnt);
}

// Replaces the rows of the table by the lines of its CSV file, after a Yes (a file of no bytes
// is refused before the question); a line that does not fit the table's columns and types,
// repeats a CNT or names a missing header undoes the whole re-import.
void TVelkorF::reimportTable(const CatalogTable& table, const QString& file) {
    const Db db = table.name == QLatin1String("F01YSK") ? Db::Memory : Db::File;
    dialogs_->message(file + texts::reimportStart);
    const QStringList lines = textfile::readLines(file);
    // An export holds at least its byte-order mark: a file of no bytes is none.
    if (QFileInfo(file).size() == 0) throw VelkorError(texts::emptyReimportFile(file));
    if (!dialogs_->confirmYesNo(texts::reimportAsk)) return;
    {
        Transaction tx(data.connection(db));
        const SqlText remove = QStringLiteral(" delete from ") + table.name;
        if (!execute(db, remove)) throw VelkorError(texts::sqlError(QStringLiteral("delete failed"), remove));
        Slots values;
        static const QRegularExpression sep(QStringLiteral("[, ]"));
        const int ncols = std::min(int(table.columns.size()), 70);
        QSet<QString> keys;
        for (qsizetype n = 0; n < lines.size(); ++n) {
            if (lines[n].trimmed().isEmpty()) continue;
            const QStringList f = lines[n].split(sep);
            QString wrong = reimportFieldError(table, f);
            const QString key = wrong.isEmpty() ? QString::number(f[0].toLongLong()) : QString();
            if (wrong.isEmpty() && keys.contains(key)) wrong = texts::duplicateKey(table.columns[0].name, f[0]);
            if (wrong.isEmpty()) wrong = reimportHeaderError(table, f);
            if (!wrong.isEmpty()) throw VelkorError(texts::lineError(file, n + 1, wrong));
            keys.insert(key);
            values.clear(11, 10 + ncols);
            for (int j = 0; j < f.size() && j < ncols; ++j) values[11 + j] = f[j];
            if (!execute(db, insertStatement(table.name, values))) throw VelkorError(texts::lineError(file, n + 1, QStringLiteral("行を読み込めません")));
        }
        tx.commit();
    }
    dialogs_->message(texts::reimportEnd);
}
